// SpeechSynthesizer: the one speech thread that owns the engine, the voice list, and the hand-over
// of each finished synthesis to the main queue.

#include "platform/speech/SpeechSynthesizer.h"

#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/media/MovieWriter.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <espeak-ng/speak_lib.h>
#include <mutex>
#include <utility>

namespace vtl {

namespace detail {

// One synthesis, shared by the synthesizer (main thread) and the speech thread.
struct SpeechJob {
    std::string text;
    std::string voice;
    std::string path;
    std::atomic<bool> stopped{false};

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    SpeechOutcome outcome;

    void complete(SpeechOutcome result) {
        std::lock_guard lock(mutex);
        outcome = std::move(result);
        done = true;
        finished.notify_all();
    }
    SpeechOutcome waitForOutcome() {
        std::unique_lock lock(mutex);
        finished.wait(lock, [this] { return done; });
        return outcome;
    }
};

// Links a posted completion to its synthesizer; cleared (main thread) when the synthesizer goes.
struct SpeechDelivery {
    SpeechSynthesizer* synthesizer = nullptr;
};

} // namespace detail

namespace {

using detail::SpeechJob;

// State of the synthesis running on the speech thread, for the engine's callback.
struct RunningSynthesis {
    SpeechJob* job = nullptr;
    MovieWriter* writer = nullptr;
    std::int64_t samples = 0;
    std::string error;
};
RunningSynthesis* runningSynthesis = nullptr;

int receiveSamples(short* wav, int sampleCount, espeak_EVENT*) {
    RunningSynthesis* running = runningSynthesis;
    if (!running) return 1;
    if (running->job->stopped.load()) return 1;
    if (wav && sampleCount > 0) {
        const void* buffers[1] = {wav};
        if (Status status = running->writer->appendAudio(0, buffers, static_cast<std::size_t>(sampleCount));
            !status) {
            running->error = status.error();
            return 1;
        }
        running->samples += sampleCount;
    }
    return 0;
}

// The codes that name the same language as a code the engine lists.
constexpr std::pair<const char*, const char*> languageAliases[] = {
    {"cmn", "zh"}, {"yue", "zh-yue"}, {"nb", "no"},  {"he", "iw"},
    {"id", "in"},  {"yi", "ji"},      {"fil", "tl"}, {"ms", "zsm"},
};

// The engine's list: a priority byte and a code, again and again, ended by a zero byte. Each code
// is lowercased; aliases follow the codes they stand for, with the same priority.
std::vector<SpeechVoice::Language> spokenLanguages(const char* list) {
    std::vector<SpeechVoice::Language> languages;
    auto add = [&languages](std::string code, int priority) {
        for (SpeechVoice::Language& known : languages)
            if (known.code == code) {
                known.priority = std::min(known.priority, priority);
                return;
            }
        languages.push_back({std::move(code), priority});
    };
    // Bounded: a damaged voice file cannot make this walk on.
    for (int entries = 0; list && *list && entries < 64; ++entries) {
        const int priority = static_cast<unsigned char>(*list++);
        std::string code = list;
        list += code.size() + 1;
        std::transform(code.begin(), code.end(), code.begin(),
                       [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
        if (code.empty() || code == "variant") continue;
        add(code, priority);
        for (const auto& [from, to] : languageAliases) {
            if (code == from) add(to, priority);
            if (code == to) add(from, priority);
        }
    }
    return languages;
}

constexpr std::pair<espeak_PARAMETER, int> defaultParameters[] = {
    {espeakRATE, espeakRATE_NORMAL},       {espeakVOLUME, 100}, {espeakPITCH, 50},  {espeakRANGE, 50},
    {espeakPUNCTUATION, espeakPUNCT_NONE}, {espeakCAPITALS, 0}, {espeakWORDGAP, 0},
};

// The engine: made on the speech thread on first use and used only there.
class SpeechEngine {
public:
    static SpeechEngine& shared() {
        static SpeechEngine engine;
        return engine;
    }

    std::shared_ptr<DispatchQueue> queue() const { return queue_; }

    // Speech thread.
    SpeechOutcome run(SpeechJob& job) {
        SpeechOutcome outcome;
        outcome.sampleRate = SpeechSynthesizer::sampleRate;
        if (Status status = initialize(); !status) {
            outcome.error = status.error();
            return outcome;
        }
        if (job.stopped.load()) return outcome;
        if (espeak_SetVoiceByName(job.voice.c_str()) != EE_OK) {
            outcome.error = "The voice \"" + job.voice + "\" cannot speak here.";
            return outcome;
        }
        // The engine keeps the pace and pitch that the previous voice left behind: every voice
        // starts from the defaults, so a text sounds the same whatever was spoken before it.
        for (const auto& [parameter, value] : defaultParameters)
            espeak_SetParameter(parameter, value, 0);
        MovieWriterOptions options;
        options.container = MovieContainer::Aiff;
        options.threadCount = 1;
        Result<std::unique_ptr<MovieWriter>> created = MovieWriter::create(job.path, options);
        if (!created) {
            outcome.error = created.error();
            return outcome;
        }
        MovieWriter& writer = **created;
        AudioTrackSettings settings;
        settings.codec = AudioCodec::PcmInt16BigEndian;
        settings.sampleRate = engineRate_;
        settings.channelCount = 1;
        settings.inputSampleType = PcmSampleType::Int16;
        settings.inputLayout = PcmLayout::Interleaved;
        if (Result<std::size_t> track = writer.addAudioTrack(settings); !track) {
            outcome.error = track.error();
            return outcome;
        }
        if (Status started = writer.start(); !started) {
            outcome.error = started.error();
            return outcome;
        }
        RunningSynthesis running{&job, &writer, 0, {}};
        runningSynthesis = &running;
        const espeak_ERROR spoken = espeak_Synth(job.text.c_str(), job.text.size() + 1, 0, POS_CHARACTER, 0,
                                                 espeakCHARS_UTF8 | espeakENDPAUSE, nullptr, nullptr);
        runningSynthesis = nullptr;
        if (job.stopped.load()) {
            writer.cancel();
            return outcome;
        }
        if (!running.error.empty()) {
            writer.cancel();
            outcome.error = "The speech could not be written: " + running.error;
            return outcome;
        }
        if (spoken != EE_OK) {
            writer.cancel();
            outcome.error = "The speech synthesizer failed on the text.";
            return outcome;
        }
        if (Status finished = writer.finish(); !finished) {
            outcome.error = finished.error();
            return outcome;
        }
        outcome.success = true;
        outcome.sampleCount = running.samples;
        outcome.sampleRate = engineRate_;
        return outcome;
    }

    // Speech thread.
    std::vector<SpeechVoice> listVoices() {
        std::vector<SpeechVoice> voices;
        if (!initialize()) return voices;
        struct Ranked {
            SpeechVoice voice;
            std::string family;
            int priority;
        };
        std::vector<Ranked> ranked;
        for (const espeak_VOICE** entry = espeak_ListVoices(nullptr); entry && *entry; ++entry) {
            const espeak_VOICE& voice = **entry;
            if (!voice.name || !voice.identifier || !voice.languages || voice.languages[0] == 0) continue;
            const std::string identifier = voice.identifier;
            // Voices of the external diphone engine need a program this system does not bring;
            // variants are no voices of their own.
            if (identifier.rfind("mb/", 0) == 0 || identifier.rfind("!v/", 0) == 0) continue;
            const int priority = static_cast<unsigned char>(voice.languages[0]);
            const std::string language = voice.languages + 1;
            if (language.empty() || language == "variant") continue;
            const std::string family = language.substr(0, language.find('-'));
            ranked.push_back({SpeechVoice{voice.name, voice.name, language, spokenLanguages(voice.languages)},
                              family, priority});
        }
        std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
            if (a.family != b.family) return a.family < b.family;
            return a.priority < b.priority;
        });
        for (Ranked& item : ranked)
            voices.push_back(std::move(item.voice));
        return voices;
    }

private:
    SpeechEngine()
        : queue_(DispatchQueue::createSerial("vistrel.speech")) {}

    Status initialize() {
        if (initialized_) return initializationStatus_;
        initialized_ = true;
        const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (rate <= 0) {
            initializationStatus_ =
                fail("The speech synthesizer could not start: its voice data is missing.");
            logMessage(initializationStatus_.error());
            return initializationStatus_;
        }
        engineRate_ = rate;
        espeak_SetSynthCallback(receiveSamples);
        return initializationStatus_;
    }

    std::shared_ptr<DispatchQueue> queue_;
    bool initialized_ = false;
    Status initializationStatus_;
    std::int32_t engineRate_ = SpeechSynthesizer::sampleRate;
};

const std::vector<SpeechVoice>& cachedVoices() {
    static const std::vector<SpeechVoice> voices = [] {
        std::vector<SpeechVoice> list;
        SpeechEngine& engine = SpeechEngine::shared();
        engine.queue()->sync([&] { list = engine.listVoices(); });
        return list;
    }();
    return voices;
}

std::shared_ptr<SpeechJob> queueJob(const std::string& text, const std::string& voice,
                                    const std::string& path) {
    auto job = std::make_shared<SpeechJob>();
    job->text = text;
    job->voice = voice;
    job->path = path;
    return job;
}

} // namespace

std::vector<SpeechVoice> SpeechSynthesizer::availableVoices() {
    return cachedVoices();
}

std::string SpeechSynthesizer::defaultVoice() {
    const std::vector<SpeechVoice>& voices = cachedVoices();
    for (const SpeechVoice& voice : voices) {
        if (voice.language == "en-gb" || voice.language == "en") return voice.identifier;
    }
    return voices.empty() ? std::string() : voices.front().identifier;
}

std::optional<std::string> SpeechSynthesizer::voiceForLanguage(const std::string& code) {
    std::string wanted = code;
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), [](unsigned char c) {
        return char(c == '_' ? '-' : (c >= 'A' && c <= 'Z' ? c + 32 : c));
    });
    if (wanted.empty()) return std::nullopt;
    const std::string family = wanted.substr(0, wanted.find('-'));
    // An exact code beats its family ("pt-br" before "pt"); then the engine's priority; then the
    // list's order.
    const SpeechVoice* best = nullptr;
    int bestRank = 0;
    for (const SpeechVoice& voice : cachedVoices()) {
        for (const SpeechVoice::Language& language : voice.languages) {
            int rank = 0;
            if (language.code == wanted)
                rank = language.priority;
            else if (language.code == family)
                rank = 1000 + language.priority;
            else if (language.code.rfind(family + "-", 0) == 0)
                rank = 2000 + language.priority;
            else
                continue;
            if (!best || rank < bestRank) {
                best = &voice;
                bestRank = rank;
            }
        }
    }
    if (!best) return std::nullopt;
    return best->identifier;
}

std::optional<SpeechVoice> SpeechSynthesizer::voiceWithIdentifier(const std::string& identifier) {
    for (const SpeechVoice& voice : cachedVoices()) {
        if (voice.identifier == identifier) return voice;
    }
    return std::nullopt;
}

Result<SpeechOutcome> SpeechSynthesizer::speakToFileAndWait(const std::string& text, const std::string& voice,
                                                            const std::string& path) {
    const std::string chosen = voice.empty() ? defaultVoice() : voice;
    if (!voiceWithIdentifier(chosen)) return fail("The voice \"" + chosen + "\" is not available.");
    std::shared_ptr<SpeechJob> job = queueJob(text, chosen, path);
    SpeechEngine::shared().queue()->async([job] { job->complete(SpeechEngine::shared().run(*job)); });
    SpeechOutcome outcome = job->waitForOutcome();
    if (!outcome.success) return fail(outcome.error.empty() ? "The speech was stopped." : outcome.error);
    return outcome;
}

SpeechSynthesizer::SpeechSynthesizer(std::string voiceIdentifier)
    : voice_(voiceIdentifier.empty() ? defaultVoice() : std::move(voiceIdentifier))
    , delivery_(std::make_shared<detail::SpeechDelivery>()) {
    delivery_->synthesizer = this;
}

SpeechSynthesizer::~SpeechSynthesizer() {
    delivery_->synthesizer = nullptr;
    if (job_) job_->stopped.store(true);
}

Status SpeechSynthesizer::startSpeakingToFile(const std::string& text, const std::string& path) {
    if (job_) return fail("The speech synthesizer is already speaking.");
    if (!voiceWithIdentifier(voice_)) return fail("The voice \"" + voice_ + "\" is not available.");
    std::shared_ptr<detail::SpeechJob> job = queueJob(text, voice_, path);
    job_ = job;
    std::weak_ptr<detail::SpeechDelivery> delivery = delivery_;
    SpeechEngine::shared().queue()->async([job, delivery] {
        job->complete(SpeechEngine::shared().run(*job));
        DispatchQueue::mainQueue()->async([job, delivery] {
            std::shared_ptr<detail::SpeechDelivery> link = delivery.lock();
            if (link && link->synthesizer) link->synthesizer->deliver(job);
        });
    });
    return {};
}

void SpeechSynthesizer::stopSpeaking() {
    if (!job_) return;
    job_->stopped.store(true);
    job_.reset();
}

void SpeechSynthesizer::waitUntilDone() {
    if (!job_) return;
    std::shared_ptr<detail::SpeechJob> job = job_;
    job->waitForOutcome();
    deliver(job);
}

void SpeechSynthesizer::deliver(const std::shared_ptr<detail::SpeechJob>& job) {
    // A stopped job, or one already told by waitUntilDone, is no longer this synthesizer's.
    if (job != job_) return;
    job_.reset();
    outcome_ = job->waitForOutcome();
    SpeechSynthesizerDelegate* delegate = delegate_;
    const bool success = outcome_.success;
    // Last: the delegate may destroy this synthesizer.
    if (delegate) delegate->speechSynthesizerDidFinishSpeaking(*this, success);
}

} // namespace vtl
