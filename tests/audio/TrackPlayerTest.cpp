#include "audio/AudioEffectDictionary.h"
#include "audio/AudioTrackPlayer.h"
#include "audio/MemoryPcmSource.h"
#include "audio/StereoMixerUnit.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace vtl;

namespace {

constexpr std::size_t mediaFrames = 2 * 44100;

// Every frame of the test media is told apart by its value.
float leftValue(std::int64_t frame) {
    return static_cast<float>(frame) * 1e-6f;
}
float rightValue(std::int64_t frame) {
    return -static_cast<float>(frame) * 2e-6f;
}

std::unique_ptr<PcmSource> media(std::uint32_t channels = 2) {
    std::vector<std::vector<float>> planar(channels, std::vector<float>(mediaFrames));
    for (std::size_t i = 0; i < mediaFrames; ++i) {
        planar[0][i] = leftValue(static_cast<std::int64_t>(i));
        if (channels > 1) planar[1][i] = rightValue(static_cast<std::int64_t>(i));
    }
    return std::make_unique<MemoryPcmSource>(std::move(planar));
}

std::int64_t frameOf(double seconds) {
    return static_cast<std::int64_t>(seconds * 44100);
}

class TrackPlayerTest : public ::testing::Test {
protected:
    std::shared_ptr<NullAudioHardware> hardware = std::make_shared<NullAudioHardware>();

    std::unique_ptr<AudioTrackPlayer> player(std::uint32_t channels = 2) {
        return std::make_unique<AudioTrackPlayer>(media(channels), true, hardware);
    }

    // Renders like the device would, giving the feeder time to keep ahead.
    NullAudioHardware::RenderedAudio render(AudioTrackPlayer& p, std::size_t frames) {
        NullAudioHardware::RenderedAudio all;
        for (std::size_t done = 0; done < frames;) {
            const std::size_t n = std::min<std::size_t>(4096, frames - done);
            p.waitForFeeder(n, 2.0);
            auto part = hardware->render(n);
            all.left.insert(all.left.end(), part.left.begin(), part.left.end());
            all.right.insert(all.right.end(), part.right.begin(), part.right.end());
            done += n;
        }
        return all;
    }
};

} // namespace

TEST_F(TrackPlayerTest, StartInsideABufferBeginsWithTheSampleAtTheStartTime) {
    for (double start : {0.0, 0.0113378, 1.2345678}) {
        SCOPED_TRACE(start);
        auto p = player();
        p->doStartMoviePreview(start);
        const auto out = render(*p, 10000);
        const std::int64_t first = frameOf(start);
        for (std::size_t k = 0; k < out.left.size(); ++k) {
            ASSERT_EQ(out.left[k], leftValue(first + static_cast<std::int64_t>(k))) << k;
            ASSERT_EQ(out.right[k], rightValue(first + static_cast<std::int64_t>(k))) << k;
        }
        EXPECT_EQ(p->underrunCount(), 0u);
    }
}

TEST_F(TrackPlayerTest, MonoIsHeardOnBothChannels) {
    auto p = player(1);
    p->doStartMoviePreview(0.5);
    const auto out = render(*p, 5000);
    for (std::size_t k = 0; k < out.left.size(); ++k) {
        ASSERT_EQ(out.left[k], leftValue(frameOf(0.5) + static_cast<std::int64_t>(k)));
        ASSERT_EQ(out.right[k], out.left[k]);
    }
}

TEST_F(TrackPlayerTest, EndTimeAndEndOfMediaSilenceTheRest) {
    struct Case {
        const char* name;
        double start;
        double internalEnd;
        std::int64_t lastHeardFrame;
    };
    const Case cases[] = {
        {"internal end", 0.4, 0.5, frameOf(0.5) - 1},
        {"end of media", 1.9, 0, static_cast<std::int64_t>(mediaFrames) - 1},
        {"no end", 0.1, 0, frameOf(0.1) + 20000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = player();
        p->setTrackInternalEndTime(c.internalEnd);
        p->doStartMoviePreview(c.start);
        const auto out = render(*p, 20001);
        for (std::size_t k = 0; k < out.left.size(); ++k) {
            const std::int64_t frame = frameOf(c.start) + static_cast<std::int64_t>(k);
            ASSERT_EQ(out.left[k], frame <= c.lastHeardFrame ? leftValue(frame) : 0.0f) << k;
        }
        // Running out of media is not running dry.
        EXPECT_EQ(p->underrunCount(), 0u);
    }
}

TEST_F(TrackPlayerTest, MutePhasesSilenceExactlyTheirFrames) {
    struct Case {
        const char* name;
        std::vector<MutePhase> phases;
        double start;
    };
    const Case cases[] = {
        {"a later phase", {{0.3, 0.35}}, 0.2},
        {"starting inside a phase", {{0.1, 0.3}}, 0.25},
        {"several, unsorted", {{0.6, 0.62}, {0.25, 0.26}, {0.4, 0.45}}, 0.2},
        {"an empty phase is ignored", {{0.3, 0.3}}, 0.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = player();
        p->setMutePhases(c.phases);
        p->doStartMoviePreview(c.start);
        const auto out = render(*p, 20000);
        for (std::size_t k = 0; k < out.left.size(); ++k) {
            const std::int64_t frame = frameOf(c.start) + static_cast<std::int64_t>(k);
            bool muted = false;
            for (const auto& phase : c.phases)
                muted = muted || (frame >= frameOf(phase.startTime) && frame < frameOf(phase.endTime));
            ASSERT_EQ(out.left[k], muted ? 0.0f : leftValue(frame)) << k;
        }
    }
}

TEST_F(TrackPlayerTest, EnteringAMutePhaseReachesTheDelegateOnTheMainThread) {
    struct Delegate : AudioTrackPlayerDelegate {
        std::vector<MutePhase> entered;
        void mutePhaseEntered(AudioTrackPlayer&, const MutePhase& phase) override {
            entered.push_back(phase);
        }
    } delegate;
    auto p = player();
    p->setDelegate(&delegate);
    p->setMutePhases({{0.05, 0.06}});
    p->doStartMoviePreview(0.0);
    render(*p, 4096);
    EXPECT_TRUE(delegate.entered.empty()); // not before the phase
    render(*p, 4096);
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.entered.empty(); }, 2.0));
    EXPECT_EQ(delegate.entered.front(), (MutePhase{0.05, 0.06}));
}

TEST_F(TrackPlayerTest, GainAndItsClamp) {
    struct Case {
        float delta;
        float gain;
    };
    for (const auto& c : {Case{0, 1}, Case{1, 2.5f}, Case{-0.5f, 0.25f}, Case{-1, 0}, Case{-3, 0}}) {
        SCOPED_TRACE(c.delta);
        auto p = player();
        p->setVolumeDelta(c.delta);
        p->doStartMoviePreview(0.3);
        const auto out = render(*p, 3000);
        for (std::size_t k = 0; k < out.left.size(); ++k)
            ASSERT_EQ(out.left[k], leftValue(frameOf(0.3) + static_cast<std::int64_t>(k)) * c.gain) << k;
    }
}

TEST_F(TrackPlayerTest, ChannelMappings) {
    struct Case {
        std::uint32_t stored;
        bool leftFromLeft;
        bool rightFromLeft;
    };
    for (const auto& c :
         {Case{0, true, false}, Case{1, true, true}, Case{2, false, false}, Case{7, false, false}}) {
        SCOPED_TRACE(c.stored);
        auto p = player();
        p->setChannelMapping(c.stored);
        p->doStartMoviePreview(0.0);
        const auto out = render(*p, 2000);
        for (std::size_t k = 0; k < out.left.size(); ++k) {
            const auto f = static_cast<std::int64_t>(k);
            ASSERT_EQ(out.left[k], c.leftFromLeft ? leftValue(f) : rightValue(f));
            ASSERT_EQ(out.right[k], c.rightFromLeft ? leftValue(f) : rightValue(f));
        }
    }
}

TEST_F(TrackPlayerTest, RepeatedStartAndStop) {
    auto p = player();
    p->doStopMoviePreview(); // stopping a stopped player does nothing
    EXPECT_FALSE(p->playerRunning());
    p->doStartMoviePreview(0.5);
    render(*p, 1000);
    p->doStartMoviePreview(0.0); // already running: ignored
    auto out = render(*p, 10);
    EXPECT_EQ(out.left[0], leftValue(frameOf(0.5) + 1000));
    p->doStopMoviePreview();
    p->doStopMoviePreview();
    EXPECT_FALSE(p->playerRunning());
    EXPECT_EQ(render(*p, 100).left, std::vector<float>(100, 0.0f)); // silent while stopped
    // Without a time it goes on where it stopped.
    p->doStartMoviePreview();
    out = render(*p, 10);
    EXPECT_EQ(out.left[0], leftValue(frameOf(0.5) + 1010));
    p->doStopMoviePreview();
    p->doStartMoviePreview(1.0);
    EXPECT_EQ(render(*p, 1).left[0], leftValue(frameOf(1.0)));
}

TEST_F(TrackPlayerTest, NewChainOrSeekWhilePlayingResumesInPlace) {
    auto p = player();
    p->doStartMoviePreview(0.2);
    render(*p, 3000);
    auto mixer = audioeffect::stereoMixerDictionary();
    p->setEffectDictionaries({mixer});
    EXPECT_TRUE(p->playerRunning());
    ASSERT_EQ(p->unitCount(), 1u);
    EXPECT_EQ(render(*p, 1).left[0], leftValue(frameOf(0.2) + 3000));
    p->unitAtIndex(0)->setParameter(StereoMixerUnit::Volume, 0.5f);
    p->setEffectDictionaries({mixer}); // an equal list changes nothing
    EXPECT_EQ(p->unitAtIndex(0)->parameter(StereoMixerUnit::Volume), 0.5f);
    p->setTime(1.5);
    EXPECT_TRUE(p->playerRunning());
    EXPECT_EQ(render(*p, 1).left[0], leftValue(frameOf(1.5)) * 0.5f);
}

TEST_F(TrackPlayerTest, ChangedParametersReachTheDelegateForUndo) {
    struct Delegate : AudioTrackPlayerDelegate {
        std::vector<UnitConfigurations> previous;
        void registerForUndoWithPreviousConfiguration(const UnitConfigurations& p) override {
            previous.push_back(p);
        }
    } delegate;
    auto p = player();
    p->setDelegate(&delegate);
    p->setEffectDictionaries({audioeffect::stereoMixerDictionary()});
    const UnitConfigurations before = p->unitConfigurations();
    p->unitAtIndex(0)->setParameter(StereoMixerUnit::Volume, 0.25f);
    p->unitAtIndex(0)->setParameter(StereoMixerUnit::Pan, 0.5f);
    ASSERT_TRUE(runMainLoopUntil([&] { return !delegate.previous.empty(); }, 2.0));
    runMainLoopOnce();
    // Both changes made before the main queue ran are one undo step.
    ASSERT_EQ(delegate.previous.size(), 1u);
    EXPECT_EQ(delegate.previous.front(), before);

    // Configurations carry over a chain change by subtype.
    p->setEffectDictionaries(
        {audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("lpas")),
         audioeffect::stereoMixerDictionary()});
    EXPECT_EQ(p->unitAtIndex(1)->parameter(StereoMixerUnit::Volume), 0.25f);
}

TEST_F(TrackPlayerTest, PresetsOfUnits) {
    auto p = player();
    p->setEffectDictionaries(
        {audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("mrev")),
         audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("lpas"))});
    ASSERT_TRUE(p->presetsOfUnitAtIndex(0));
    EXPECT_EQ(p->presetsOfUnitAtIndex(0)->at(2).presetName, "Large Hall");
    EXPECT_FALSE(p->presetsOfUnitAtIndex(1)); // a unit without factory presets
    EXPECT_FALSE(p->presetsOfUnitAtIndex(5));
    EXPECT_EQ(p->indexOfCurrentlySelectedPresetForUnitAtIndex(0), -1);
    p->setPreset(2, 0);
    EXPECT_EQ(p->indexOfCurrentlySelectedPresetForUnitAtIndex(0), 2);
    EXPECT_EQ(p->presetDataForUnitAtIndex(0), unitconfig::encodePresetData(2));
    p->setPresetData(unitconfig::encodePresetData(1), 0);
    EXPECT_EQ(p->indexOfCurrentlySelectedPresetForUnitAtIndex(0), 1);
}

namespace {

// A source whose reads wait until the test opens it, as a slow decoder would.
class GatedSource : public PcmSource {
public:
    explicit GatedSource(std::unique_ptr<PcmSource> inner)
        : inner_(std::move(inner)) {}
    std::uint32_t channelCount() const override { return inner_->channelCount(); }
    std::int64_t durationFrames() const override { return inner_->durationFrames(); }
    Status seek(std::int64_t frame) override { return inner_->seek(frame); }
    Result<std::size_t> read(float* const* channels, std::size_t frames) override {
        while (!open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return inner_->read(channels, frames);
    }
    static inline std::atomic<bool> open{false};

private:
    std::unique_ptr<PcmSource> inner_;
};

} // namespace

TEST_F(TrackPlayerTest, UnderrunPlaysSilenceAndSkipsToStayInTime) {
    GatedSource::open = false;
    AudioTrackPlayer p(std::make_unique<GatedSource>(media()), true, hardware);
    p.doStartMoviePreview(0.1);
    const auto dry = hardware->render(2048);
    EXPECT_EQ(dry.left, std::vector<float>(2048, 0.0f));
    EXPECT_GE(p.underrunCount(), 1u);
    EXPECT_EQ(p.skippedFrames(), 2048u);
    GatedSource::open = true;
    ASSERT_TRUE(p.waitForFeeder(8192, 2.0));
    const auto out = hardware->render(100);
    for (std::size_t k = 0; k < out.left.size(); ++k)
        ASSERT_EQ(out.left[k], leftValue(frameOf(0.1) + 2048 + static_cast<std::int64_t>(k)));
}
