// The speech synthesizer: voices, files in the expected format and length (measured against the
// espeak-ng tool on the same text), completion on the main queue, and what failures and stops leave.

#include "platform/speech/SpeechSynthesizer.h"

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/media/MediaAsset.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace vtl;
namespace fs = std::filesystem;

namespace {

class SpeechFolder {
public:
    SpeechFolder() {
        path_ = fs::temp_directory_path() /
                ("vistrel-speech-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        fs::create_directories(path_);
    }
    ~SpeechFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::size_t entryCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
    }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

struct RecordingDelegate : SpeechSynthesizerDelegate {
    void speechSynthesizerDidFinishSpeaking(SpeechSynthesizer&, bool success) override {
        ++calls;
        lastSuccess = success;
        onMainThread = isMainThread();
    }
    int calls = 0;
    bool lastSuccess = false;
    bool onMainThread = false;
};

double referenceDurationSeconds(const std::string& voice, const std::string& text,
                                const std::string& wavPath) {
    const std::string command = "espeak-ng -v '" + voice + "' -w '" + wavPath + "' '" + text + "'";
    if (std::system(command.c_str()) != 0) return -1;
    Result<std::shared_ptr<const MediaAsset>> asset = MediaAsset::open(wavPath);
    if (!asset) return -1;
    return (*asset)->duration().seconds();
}

struct VoiceCase {
    const char* languagePrefix;
    const char* text;
};

} // namespace

TEST(SpeechSynthesizerTest, VoicesNameTheirLanguageAndEnglishIsTheDefault) {
    const std::vector<SpeechVoice> voices = SpeechSynthesizer::availableVoices();
    ASSERT_FALSE(voices.empty());
    for (const SpeechVoice& voice : voices) {
        EXPECT_FALSE(voice.identifier.empty());
        EXPECT_FALSE(voice.language.empty()) << voice.identifier;
    }
    const std::optional<SpeechVoice> fallback =
        SpeechSynthesizer::voiceWithIdentifier(SpeechSynthesizer::defaultVoice());
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->language.substr(0, 2), "en");
    EXPECT_FALSE(SpeechSynthesizer::voiceWithIdentifier("no such voice").has_value());
}

TEST(SpeechSynthesizerTest, FilesAreMonoBigEndianAiffAsLongAsTheToolSaysOnTheMainQueue) {
    const VoiceCase cases[] = {
        {"en", "The quick brown fox jumps over the lazy dog, and then it rests for a while."},
        {"de", "Zwölf Boxkämpfer jagen Viktor quer über den großen Sylter Deich."},
    };
    SpeechFolder folder;
    for (const VoiceCase& c : cases) {
        SCOPED_TRACE(c.languagePrefix);
        std::string voiceName;
        for (const SpeechVoice& voice : SpeechSynthesizer::availableVoices()) {
            if (voice.language.rfind(c.languagePrefix, 0) == 0) {
                voiceName = voice.identifier;
                break;
            }
        }
        ASSERT_FALSE(voiceName.empty());
        const std::string path = folder.file(std::string(c.languagePrefix) + ".aiff");
        SpeechSynthesizer synthesizer(voiceName);
        RecordingDelegate delegate;
        synthesizer.setDelegate(&delegate);
        ASSERT_TRUE(synthesizer.startSpeakingToFile(c.text, path).ok());
        EXPECT_TRUE(synthesizer.isSpeaking());
        ASSERT_TRUE(runMainLoopUntil([&] { return delegate.calls > 0; }, 60));
        EXPECT_EQ(delegate.calls, 1);
        EXPECT_TRUE(delegate.lastSuccess) << synthesizer.lastOutcome().error;
        EXPECT_TRUE(delegate.onMainThread);
        EXPECT_FALSE(synthesizer.isSpeaking());

        Result<std::shared_ptr<const MediaAsset>> asset = MediaAsset::open(path);
        ASSERT_TRUE(asset.ok()) << asset.error();
        EXPECT_EQ((*asset)->formatName(), "aiff");
        ASSERT_EQ((*asset)->trackCount(), 1u);
        const MediaTrack& track = *(*asset)->track(0);
        EXPECT_EQ(track.codecName, "pcm_s16be");
        EXPECT_EQ(track.sampleRate, 22050);
        EXPECT_EQ(track.channelCount, 1);
        const double seconds = synthesizer.lastOutcome().durationSeconds();
        EXPECT_NEAR((*asset)->duration().seconds(), seconds, 0.01);

        const double reference = referenceDurationSeconds(voiceName, c.text, folder.file("reference.wav"));
        ASSERT_GT(reference, 0);
        EXPECT_NEAR(seconds, reference, reference * 0.05);
    }
}

TEST(SpeechSynthesizerTest, FailuresAndStopsLeaveNoFile) {
    SpeechFolder folder;
    SpeechSynthesizer unknown("no such voice");
    EXPECT_FALSE(unknown.startSpeakingToFile("Hello.", folder.file("unknown.aiff")).ok());
    EXPECT_FALSE(unknown.isSpeaking());

    // A folder that does not exist: told as a failure, with a reason.
    SpeechSynthesizer unwritable;
    RecordingDelegate delegate;
    unwritable.setDelegate(&delegate);
    ASSERT_TRUE(unwritable.startSpeakingToFile("Hello.", folder.file("missing/speech.aiff")).ok());
    ASSERT_TRUE(runMainLoopUntil([&] { return delegate.calls > 0; }, 60));
    EXPECT_FALSE(delegate.lastSuccess);
    EXPECT_FALSE(unwritable.lastOutcome().error.empty());
    ASSERT_TRUE(unwritable.startSpeakingToFile("Again.", folder.file("second.aiff")).ok());
    unwritable.waitUntilDone();
    EXPECT_TRUE(fs::exists(folder.file("second.aiff")));

    // Stopped at once, and destroyed while speaking: no delegate call, nothing left behind.
    const std::string longText(2000, 'a');
    SpeechSynthesizer stopped;
    RecordingDelegate stoppedDelegate;
    stopped.setDelegate(&stoppedDelegate);
    ASSERT_TRUE(stopped.startSpeakingToFile(longText, folder.file("stopped.aiff")).ok());
    stopped.stopSpeaking();
    EXPECT_FALSE(stopped.isSpeaking());
    {
        SpeechSynthesizer destroyed;
        destroyed.setDelegate(&stoppedDelegate);
        ASSERT_TRUE(destroyed.startSpeakingToFile(longText, folder.file("destroyed.aiff")).ok());
    }
    // Something queued after them runs once they are gone.
    ASSERT_TRUE(SpeechSynthesizer::speakToFileAndWait("Done.", "", folder.file("after.aiff")).ok());
    runMainLoopOnce(0.05);
    EXPECT_EQ(stoppedDelegate.calls, 0);
    EXPECT_FALSE(fs::exists(folder.file("stopped.aiff")));
    EXPECT_FALSE(fs::exists(folder.file("destroyed.aiff")));
    EXPECT_EQ(folder.entryCount(), 2u) << "only the second and the last file, no temporary leftovers";
}

TEST(SpeechSynthesizerTest, AnEmptyTextGivesAFileWithoutSound) {
    SpeechFolder folder;
    Result<SpeechOutcome> outcome = SpeechSynthesizer::speakToFileAndWait("", "", folder.file("empty.aiff"));
    ASSERT_TRUE(outcome.ok()) << outcome.error();
    EXPECT_LT(outcome->durationSeconds(), 1.0);
    EXPECT_TRUE(fs::exists(folder.file("empty.aiff")));
}

TEST(SpeechSynthesizerTest, ALanguageFindsTheVoiceThatSpeaksItAmongAllItsLanguagesAndAliases) {
    struct Case {
        const char* code;
        const char* spoken; // a language the chosen voice must list; empty for no voice
    };
    const Case cases[] = {
        {"zh", "cmn"}, {"ZH-cn", "cmn"}, {"zh-yue", "yue"}, {"no", "nb"}, {"nb", "no"}, {"pt-BR", "pt-br"},
        {"pt", "pt"},  {"en", "en"},     {"de", "de"},      {"xx", ""},   {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        const std::optional<std::string> identifier = SpeechSynthesizer::voiceForLanguage(c.code);
        if (!*c.spoken) {
            EXPECT_FALSE(identifier.has_value()) << *identifier;
            continue;
        }
        ASSERT_TRUE(identifier.has_value());
        const std::optional<SpeechVoice> voice = SpeechSynthesizer::voiceWithIdentifier(*identifier);
        ASSERT_TRUE(voice.has_value());
        bool listed = false;
        for (const SpeechVoice::Language& language : voice->languages)
            listed = listed || language.code == c.spoken;
        EXPECT_TRUE(listed) << voice->identifier << " does not speak " << c.spoken;
    }
    // The Mandarin voice, not the Cantonese one, which lists "zh" at a lower priority.
    const std::optional<SpeechVoice> chinese =
        SpeechSynthesizer::voiceWithIdentifier(SpeechSynthesizer::voiceForLanguage("zh").value_or(""));
    ASSERT_TRUE(chinese.has_value());
    EXPECT_EQ(chinese->language.substr(0, 3), "cmn");
}

TEST(SpeechSynthesizerTest, ATextTakesAsLongWhateverVoiceSpokeBeforeIt) {
    const std::string dutch = "Dit is een test van de spraak in het Nederlands.";
    const std::string russian = "Это проверка синтеза речи на русском языке.";
    const std::optional<std::string> dutchVoice = SpeechSynthesizer::voiceForLanguage("nl");
    const std::optional<std::string> russianVoice = SpeechSynthesizer::voiceForLanguage("ru");
    ASSERT_TRUE(dutchVoice && russianVoice);
    SpeechFolder folder;
    auto samplesOf = [&](const std::string& text, const std::string& voice, const std::string& name) {
        Result<SpeechOutcome> outcome = SpeechSynthesizer::speakToFileAndWait(text, voice, folder.file(name));
        EXPECT_TRUE(outcome.ok()) << outcome.error();
        return outcome.ok() ? outcome->sampleCount : 0;
    };
    const std::int64_t first = samplesOf(dutch, *dutchVoice, "first.aiff");
    ASSERT_GT(samplesOf(russian, *russianVoice, "russian.aiff"), 0);
    const std::int64_t afterRussian = samplesOf(dutch, *dutchVoice, "second.aiff");
    ASSERT_GT(first, 0);
    // The engine keeps a little state of its own between texts (well under 1 %); the pace another
    // voice leaves behind is about 6 %.
    EXPECT_NEAR(double(afterRussian), double(first), double(first) * 0.01);
    const double reference = referenceDurationSeconds(*dutchVoice, dutch, folder.file("reference.wav"));
    ASSERT_GT(reference, 0);
    EXPECT_NEAR(double(afterRussian) / SpeechSynthesizer::sampleRate, reference, reference * 0.01);
}
