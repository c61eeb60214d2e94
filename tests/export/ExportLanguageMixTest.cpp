// The export mix of one language: audio tracks in place (start, trim, mute phases, volume, effects
// and their settings), speech of the language only, click sounds in every language that keeps
// audio, the pruning of languages without tracks or speech, the length, and decode failures.

#include "export/ExportLanguageMix.h"

#include "ExportLanguageMixSupport.h"
#include "audio/AudioEffectChain.h"
#include "audio/AudioEffectDictionary.h"
#include "audio/LowPassFilterUnit.h"
#include "audio/MemoryPcmSource.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vtl {
namespace {

using test::ExportMixFixture;

constexpr double mixRate = ExportLanguageMix::kSampleRate;
// −60 dBFS.
constexpr float mixSilence = 0.001f;

struct MixedSound {
    std::vector<float> left, right;

    std::size_t frameAt(double seconds) const {
        return std::min(left.size(), static_cast<std::size_t>(std::llround(seconds * mixRate)));
    }
    float peak(double from, double to) const {
        float most = 0;
        for (std::size_t i = frameAt(from); i < frameAt(to); ++i)
            most = std::max({most, std::fabs(left[i]), std::fabs(right[i])});
        return most;
    }
    // Largest difference of both channels from a sine of that amplitude whose phase 0 lies at
    // `zeroSeconds`.
    double sineError(double from, double to, double frequency, double amplitude, double zeroSeconds) const {
        double worst = 0;
        for (std::size_t i = frameAt(from); i < frameAt(to); ++i) {
            const double t = static_cast<double>(i) / mixRate - zeroSeconds;
            const double expected = amplitude * std::sin(2 * std::numbers::pi * frequency * t);
            worst = std::max({worst, std::fabs(left[i] - expected), std::fabs(right[i] - expected)});
        }
        return worst;
    }
};

// The whole mix in chunks of `chunk` frames (not a multiple of the mix's blocks).
MixedSound renderWholeMix(ExportLanguageMix& mix, std::size_t chunk = 1000) {
    MixedSound sound;
    std::vector<float> left(chunk), right(chunk);
    for (;;) {
        Result<std::size_t> got = mix.render(left.data(), right.data(), chunk);
        EXPECT_TRUE(got) << got.error();
        if (!got || *got == 0) break;
        sound.left.insert(sound.left.end(), left.begin(), left.begin() + static_cast<std::ptrdiff_t>(*got));
        sound.right.insert(sound.right.end(), right.begin(),
                           right.begin() + static_cast<std::ptrdiff_t>(*got));
        if (*got < chunk) {
            Result<std::size_t> after = mix.render(left.data(), right.data(), chunk);
            EXPECT_TRUE(after && *after == 0) << "nothing after the end";
            break;
        }
    }
    EXPECT_EQ(static_cast<std::int64_t>(sound.left.size()), mix.totalFrames());
    return sound;
}

MixedSound mixOf(const CompositionObjectsContainer& container, int32_t languageCode) {
    auto mix =
        ExportLanguageMix::create(container, *VistrelLanguage::languageWithLanguageScript(languageCode));
    EXPECT_TRUE(mix) << mix.error();
    if (!mix) return {};
    return renderWholeMix(**mix);
}

// Reads a fixed number of good frames, then fails.
class FailingPcmSource : public PcmSource {
public:
    explicit FailingPcmSource(std::int64_t goodFrames)
        : goodFrames_(goodFrames) {}
    std::uint32_t channelCount() const override { return 1; }
    std::int64_t durationFrames() const override { return 10 * 44100; }
    Status seek(std::int64_t frame) override {
        position_ = frame;
        return {};
    }
    Result<std::size_t> read(float* const* channels, std::size_t frames) override {
        if (position_ >= goodFrames_) return fail("The test stream broke off.");
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(goodFrames_ - position_, frames));
        std::fill_n(channels[0], count, 0.25f);
        position_ += static_cast<std::int64_t>(count);
        return count;
    }

private:
    std::int64_t goodFrames_;
    std::int64_t position_ = 0;
};

class ExportLanguageMixTest : public ExportMixFixture {};

TEST_F(ExportLanguageMixTest, EachLanguageHearsItsTracksAndSpeechAndEveryLanguageTheClicks) {
    // English: 440 Hz from 0 s. German: 880 Hz from 2 s, muted from 3 to 3.5 s, volume delta 0.5.
    audioTrack(toneFile(440, 3.0), 0, 0.0);
    auto german = audioTrack(toneFile(880, 3.0), 2, 2.0);
    ASSERT_TRUE(german->addNewTriggeredStateAtGlobalTimes(3.0, 3.5));
    german->setVolumeDelta(0.5f);
    // A movie whose one click at 5.3 s sounds; its language (French) has nothing else.
    clickTrack({0.3}, 5.0, 1);
    auto spoken = speechObject(
        {{"English", "Hello there. This is the export."}, {"German", "Guten Tag. Das ist der Export."}},
        SpeechRole::SpokenAndSubtitle, 6.0);
    auto shownOnly = speechObject({{"English", "Only shown."}}, SpeechRole::SubtitleOnly, 9.0);
    const double englishSpeechEnd = 6.0 + spoken->durationForLanguage("English");
    const double germanSpeechEnd = 6.0 + spoken->durationForLanguage("German");
    const double shownEnd = 9.0 + shownOnly->durationForLanguage("English");
    ASSERT_GT(spoken->durationForLanguage("English"), 0.5);
    ASSERT_LT(std::max(englishSpeechEnd, germanSpeechEnd), 9.0) << "the speech must end before the next";
    ASSERT_LT(shownEnd, container()->maximumTime());

    const std::vector<std::shared_ptr<VistrelLanguage>> languages = {language(0), language(1), language(2)};
    const auto kept = languagesWithExportAudio(*container(), languages);
    ASSERT_EQ(kept.size(), 2u) << "the clicks alone keep no language";
    EXPECT_EQ(kept[0]->languageScript(), 0);
    EXPECT_EQ(kept[1]->languageScript(), 2);

    const MixedSound english = mixOf(*container(), 0);
    ASSERT_EQ(english.left.size(),
              static_cast<std::size_t>(std::ceil(container()->maximumTime() * mixRate - 1e-6)));
    EXPECT_LT(english.sineError(0.0, 3.0, 440, 0.5, 0.0), 1e-4) << "the sine in place";
    EXPECT_LT(english.peak(3.0, 5.3), mixSilence);
    EXPECT_GT(english.peak(5.3, 5.4), 0.01) << "the click";
    EXPECT_LT(english.peak(5.45, 6.0), mixSilence);
    EXPECT_GT(english.peak(6.0, englishSpeechEnd), 0.05) << "the speech";
    EXPECT_LT(english.peak(englishSpeechEnd + 0.01, container()->maximumTime()), mixSilence)
        << "speech shown only as subtitles is not heard";

    const MixedSound germanMix = mixOf(*container(), 2);
    EXPECT_LT(germanMix.peak(0.0, 2.0), mixSilence) << "nothing before 2 s";
    EXPECT_LT(germanMix.sineError(2.0, 3.0, 880, 0.5 * 1.75, 2.0), 2e-4) << "1.75 times the sine";
    EXPECT_LT(germanMix.peak(3.0, 3.5), mixSilence) << "the mute phase";
    EXPECT_LT(germanMix.sineError(3.5, 5.0, 880, 0.5 * 1.75, 2.0), 2e-4);
    EXPECT_LT(germanMix.peak(5.0, 5.3), mixSilence);
    EXPECT_GT(germanMix.peak(5.3, 5.4), 0.01) << "the click";
    EXPECT_GT(germanMix.peak(6.0, germanSpeechEnd), 0.05) << "the speech";
    EXPECT_LT(germanMix.peak(germanSpeechEnd + 0.01, container()->maximumTime()), mixSilence);

    // The click is the same in both.
    const std::size_t click = english.frameAt(5.3);
    for (std::size_t i = click; i < english.frameAt(5.4); ++i)
        ASSERT_EQ(english.left[i], germanMix.left[i]) << i;
}

TEST_F(ExportLanguageMixTest, TracksSoundSampleExactlyWhereTheyArePlacedTrimmedAndMuted) {
    struct Case {
        const char* name;
        double startTime;            // of media time 0
        double movieStart, movieEnd; // trim window, media seconds
        double muteFrom, muteTo;     // global; equal: none
        float volumeDelta;
        double amplitude;
    };
    const Case cases[] = {
        {"at 2 s, untrimmed", 2.0, 0.0, 3.0, 0, 0, 0.0f, 0.5},
        {"trimmed at both ends", 1.0, 0.5, 2.0, 0, 0, 0.0f, 0.5},
        {"mute phase of a trimmed track", 1.0, 0.5, 3.0, 2.0, 2.25, 0.0f, 0.5},
        {"volume down", 0.25, 0.0, 3.0, 0, 0, -0.5f, 0.125},
        {"volume far down: silence", 0.0, 0.0, 3.0, 0, 0, -1.0f, 0.0},
        {"start off the sample grid", 0.123456, 0.0, 1.0, 0, 0, 0.0f, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = audioTrack(toneFile(440, 3.0), 0, c.startTime);
        track->setMovieStartTimeMovieEndTime(c.movieStart, c.movieEnd);
        if (c.muteTo > c.muteFrom) {
            ASSERT_TRUE(track->addNewTriggeredStateAtGlobalTimes(c.muteFrom, c.muteTo));
        }
        track->setVolumeDelta(c.volumeDelta);
        const double start = c.startTime + c.movieStart;
        const double end = c.startTime + c.movieEnd;
        const MixedSound sound = mixOf(*container(), 0);
        ASSERT_FALSE(sound.left.empty());
        const double zero = std::llround(start * mixRate) / mixRate - c.movieStart;
        EXPECT_LT(sound.peak(0.0, start - 0.5 / mixRate), 1e-7) << "silent before";
        if (c.muteTo > c.muteFrom) {
            EXPECT_LT(sound.sineError(start, c.muteFrom, 440, c.amplitude, zero), 1e-4);
            EXPECT_LT(sound.peak(c.muteFrom, c.muteTo), 1e-7) << "muted";
            EXPECT_LT(sound.sineError(c.muteTo, end, 440, c.amplitude, zero), 1e-4);
        } else {
            EXPECT_LT(sound.sineError(start, end, 440, c.amplitude, zero), 1e-4);
        }
        EXPECT_LT(sound.peak(end + 0.5 / mixRate, 10.0), 1e-7) << "silent after";
        container()->removeObject(track.get());
    }
}

TEST_F(ExportLanguageMixTest, EffectsAndTheirSettingsShapeTheSound) {
    const PropertyList lowPass = audioeffect::makeEffectDictionary(
        audioeffect::effectType, fourCharCode("lpas"), "LowPassFilter", "LowPassFilter");
    // The settings a track keeps after its cutoff was turned down to 100 Hz.
    AudioEffectChain tuned({lowPass});
    ASSERT_TRUE(tuned.unit(0));
    ASSERT_TRUE(tuned.unit(0)->setParameter(LowPassFilterUnit::CutoffFrequency, 100.0f));
    const UnitConfigurations lowCutoff = tuned.saveConfigurations();

    struct Case {
        const char* name;
        bool withLowPass;
        bool withSettings;
        double minimumPeak, maximumPeak;
    };
    const Case cases[] = {
        {"no effects: the sine as it is", false, false, 0.499, 0.501},
        {"low pass at its default cutoff: 440 Hz passes", true, false, 0.45, 0.56},
        {"low pass turned down to 100 Hz: 440 Hz is damped", true, true, 0.0, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = audioTrack(toneFile(440, 3.0), 0, 0.0);
        if (c.withLowPass) track->setEffects({*lowPass.dictionaryValue()});
        if (c.withSettings) track->setEffectSettings(lowCutoff);
        const MixedSound sound = mixOf(*container(), 0);
        const float peak = sound.peak(1.0, 2.0);
        EXPECT_GE(peak, c.minimumPeak);
        EXPECT_LE(peak, c.maximumPeak);
        container()->removeObject(track.get());
    }
}

TEST_F(ExportLanguageMixTest, OnlyAudibleTracksOfTheLanguageOrOfAllLanguagesKeepALanguage) {
    auto everywhere = audioTrack(toneFile(440, 1.0), VistrelLanguage::kAllLanguages, 0.0);
    // Only "all languages": one track, in the language of code 0.
    const auto proposed = container()->languagesToExport();
    ASSERT_EQ(proposed.size(), 1u);
    EXPECT_EQ(languagesWithExportAudio(*container(), proposed).size(), 1u);
    EXPECT_EQ(proposed[0]->languageScript(), 0);
    auto english = audioTrack(toneFile(880, 1.0), 0, 0.0);
    const std::vector<std::shared_ptr<VistrelLanguage>> languages = {language(0), language(2)};
    auto codes = [&] {
        std::vector<int32_t> kept;
        for (const auto& l : languagesWithExportAudio(*container(), languages))
            kept.push_back(l->languageScript());
        return kept;
    };
    EXPECT_EQ(codes(), (std::vector<int32_t>{0, 2}));
    everywhere->setMuted(true);
    EXPECT_EQ(codes(), (std::vector<int32_t>{0})) << "muted";
    container()->setTrackDisabled(english->containerTrack()->trackNumber(), true);
    EXPECT_TRUE(codes().empty()) << "on a disabled track";
    EXPECT_TRUE(languagesWithExportAudio(*container(), {}).empty());

    // A muted track is not heard in the language that is kept for another reason.
    everywhere->setMuted(false);
    const MixedSound sound = mixOf(*container(), 0);
    EXPECT_LT(sound.sineError(0.0, 1.0, 440, 0.5, 0.0), 1e-4) << "only the track of all languages";
}

TEST_F(ExportLanguageMixTest, AMixWithoutSourcesIsSilenceOfTheCompositionsLength) {
    clickTrack({}, 0.0, 0);
    const MixedSound sound = mixOf(*container(), 0);
    EXPECT_NEAR(static_cast<double>(sound.left.size()) / mixRate, container()->maximumTime(), 1.0 / mixRate);
    EXPECT_EQ(sound.peak(0.0, 100.0), 0.0f);
}

TEST_F(ExportLanguageMixTest, UndecodableSourcesFailWithTheReason) {
    speechObject({{"English", "One sentence to speak."}}, SpeechRole::Spoken, 0.0);

    // The file cannot be opened: no mix.
    setPcmFileOpener([](const std::string&) -> Result<std::unique_ptr<PcmSource>> {
        return fail("The test file is damaged.");
    });
    auto unopened = ExportLanguageMix::create(*container(), *language(0));
    ASSERT_FALSE(unopened);
    EXPECT_NE(unopened.error().find("The test file is damaged."), std::string::npos) << unopened.error();

    // It breaks off while mixing: a render fails before any frame past the break is delivered,
    // and so does every later one.
    static constexpr std::size_t breakFrame = 20000;
    setPcmFileOpener([](const std::string&) -> Result<std::unique_ptr<PcmSource>> {
        return std::unique_ptr<PcmSource>(std::make_unique<FailingPcmSource>(breakFrame));
    });
    auto mix = ExportLanguageMix::create(*container(), *language(0));
    ASSERT_TRUE(mix) << mix.error();
    std::vector<float> left(2048), right(2048);
    Result<std::size_t> first = (*mix)->render(left.data(), right.data(), 2048);
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(*first, 2048u);
    EXPECT_FLOAT_EQ(left[100], 0.25f);
    std::size_t delivered = *first;
    Result<std::size_t> broken = std::size_t(0);
    while (delivered <= breakFrame) {
        broken = (*mix)->render(left.data(), right.data(), 2048);
        if (!broken || *broken == 0) break;
        delivered += *broken;
    }
    ASSERT_FALSE(broken) << "delivered " << delivered;
    EXPECT_LE(delivered, breakFrame);
    EXPECT_NE(broken.error().find("The test stream broke off."), std::string::npos) << broken.error();
    EXPECT_FALSE((*mix)->render(left.data(), right.data(), 2048));

    // A track whose sound file went missing.
    setPcmFileOpener({});
    auto track = audioTrack(toneFile(440, 1.0), 0, 0.0);
    track->setMediaEntry(nullptr);
    auto missing = ExportLanguageMix::create(*container(), *language(0));
    EXPECT_FALSE(missing);
}

} // namespace
} // namespace vtl
