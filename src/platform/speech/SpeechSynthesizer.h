#pragma once
// Speaks a text with one voice into a sound file (AIFF, 16-bit big-endian mono at 22050 Hz). The
// engine behind it is process-global, so one speech thread runs every synthesis of the process in
// turn; the file is written under a temporary name and put in place only when complete, so a
// failed or stopped synthesis leaves nothing. The end is told to the delegate on the main queue.
// Owned by whoever asked for the speech; main thread only (except the static voice queries and
// speakToFileAndWait, which are thread-safe).

#include "platform/foundation/Result.h"
#include "platform/speech/SpeechSynthesizerDelegate.h"
#include "platform/speech/SpeechVoice.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

// What one synthesis came to.
struct SpeechOutcome {
    bool success = false;
    std::int64_t sampleCount = 0;
    std::int32_t sampleRate = 0;
    // Why it failed; empty on success and when stopped.
    std::string error;

    double durationSeconds() const {
        return sampleRate > 0 ? static_cast<double>(sampleCount) / sampleRate : 0.0;
    }
};

namespace detail {
struct SpeechJob;
struct SpeechDelivery;
} // namespace detail

class SpeechSynthesizer {
public:
    static constexpr std::int32_t sampleRate = 22050;

    // Every voice that can speak here, in the engine's order of preference for each language.
    static std::vector<SpeechVoice> availableVoices();
    // The voice used when none is given; empty when the engine has no voice.
    static std::string defaultVoice();
    static std::optional<SpeechVoice> voiceWithIdentifier(const std::string& identifier);
    // The voice that speaks a language ("zh", "pt-BR", "nb") best: one listing the code itself, else
    // its language family, among all the languages and usual aliases of every voice; none when no
    // voice speaks it.
    static std::optional<std::string> voiceForLanguage(const std::string& code);

    // Speaks the text into the file on the speech thread and waits for the end. Never call it from
    // the speech thread (a delegate runs on the main thread, which is fine).
    static Result<SpeechOutcome> speakToFileAndWait(const std::string& text, const std::string& voice,
                                                    const std::string& path);

    // An empty identifier stands for the default voice.
    explicit SpeechSynthesizer(std::string voiceIdentifier = {});
    // Stops a synthesis still running; its delegate is not called.
    ~SpeechSynthesizer();
    SpeechSynthesizer(const SpeechSynthesizer&) = delete;
    SpeechSynthesizer& operator=(const SpeechSynthesizer&) = delete;

    const std::string& voice() const { return voice_; }
    void setDelegate(SpeechSynthesizerDelegate* delegate) { delegate_ = delegate; }

    // Queues the synthesis and returns at once. Refused while one is running and for a voice that
    // does not exist.
    Status startSpeakingToFile(const std::string& text, const std::string& path);
    // Stops the running synthesis; no file is left and the delegate is not called.
    void stopSpeaking();
    bool isSpeaking() const { return job_ != nullptr; }
    // Waits for the running synthesis and tells the delegate now instead of on a later pass.
    void waitUntilDone();
    const SpeechOutcome& lastOutcome() const { return outcome_; }

private:
    friend struct detail::SpeechDelivery;
    void deliver(const std::shared_ptr<detail::SpeechJob>& job);

    std::string voice_;
    SpeechSynthesizerDelegate* delegate_ = nullptr;
    std::shared_ptr<detail::SpeechJob> job_;
    std::shared_ptr<detail::SpeechDelivery> delivery_;
    SpeechOutcome outcome_;
};

} // namespace vtl
