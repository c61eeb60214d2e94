// Audio track objects on the null audio backend, with playback driven by hand: when the player
// starts (at once, by timer, not at all), where, and with which internal end; effects, settings,
// undo, archives and copies.

#include "AudioTrackSupport.h"
#include "audio/AudioEffectDictionary.h"
#include "audio/AudioTrackPlayer.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/support/UndoRoundTrip.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "tracks/CompositionAudioTrackMutePhase.h"

#include <cmath>

namespace vtl {
namespace {

using test::AudioTrackFixture;

class AudioTrackTest : public AudioTrackFixture {
protected:
    AudioTrackTest() { AudioHardware::setShared(std::make_shared<NullAudioHardware>()); }
    ~AudioTrackTest() override { AudioHardware::setShared(nullptr); }
};

EffectEntry audioEffectEntry(const char* name, const char (&subtype)[5]) {
    PropertyList made =
        audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode(subtype), name, name);
    return *made.dictionaryValue();
}

TEST_F(AudioTrackTest, PlaybackStartsThePlayerAtOnceByTimerOrNotAtAll) {
    struct Case {
        const char* name;
        double startTime;  // global time of media time 0
        double movieStart; // trim window (media seconds)
        double playAt;     // global playhead at the start of playback
        bool runningAtOnce;
        bool timer;
        double offset; // media time the player starts at
    };
    // The tone lasts 3 s: snap window [startTime + movieStart, startTime + 3).
    const Case cases[] = {
        {"playhead inside", 1.0, 0.0, 1.5, true, false, 0.5},
        {"playhead inside a trimmed track", 1.0, 0.5, 2.0, true, false, 1.0},
        {"start lies ahead: by timer at offset 0", 0.3, 0.0, 0.1, false, true, 0.0},
        {"trimmed start ahead: by timer at the trim", 0.0, 0.25, 0.1, false, true, 0.25},
        {"ends within 50 ms: nothing", 0.0, 0.0, 2.97, false, false, 0.0},
        {"ended: nothing", 0.0, 0.0, 3.5, false, false, 0.0},
        {"just over 50 ms before the end: plays", 0.0, 0.0, 2.94, true, false, 2.94},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = audioTrack(tone());
        track->setStartTime(c.startTime);
        if (c.movieStart > 0) track->setMovieStartTime(c.movieStart);
        ASSERT_TRUE(track->player());
        play(c.playAt);
        EXPECT_EQ(track->player()->playerRunning(), c.runningAtOnce);
        EXPECT_EQ(track->playerShouldPlay(), c.runningAtOnce);
        EXPECT_EQ(track->hasScheduledPlay(), c.timer);
        if (c.timer) {
            // The document's playhead reaches the start when the timer fires.
            document_.playhead = c.startTime + c.movieStart;
            EXPECT_TRUE(test::waitOnMainLoopFor([&] { return track->player()->playerRunning(); }, 2.0));
            EXPECT_FALSE(track->hasScheduledPlay());
        }
        if (c.runningAtOnce || c.timer) {
            EXPECT_NEAR(track->player()->currentTime(), c.offset, 1e-3);
        }
        document_.stopPlay();
        EXPECT_FALSE(track->player()->playerRunning());
        EXPECT_FALSE(track->hasScheduledPlay());
        EXPECT_FALSE(track->playerShouldPlay());
    }
}

TEST_F(AudioTrackTest, StoppingBeforeTheTimerFiresStartsNothing) {
    auto track = audioTrack(tone());
    track->setStartTime(0.2);
    play(0.0);
    ASSERT_TRUE(track->hasScheduledPlay());
    document_.stopPlay();
    runMainLoopUntil([] { return false; }, 0.4);
    EXPECT_FALSE(track->player()->playerRunning());
}

TEST_F(AudioTrackTest, MutedDisabledAndOtherLanguageTracksStaySilent) {
    auto muted = audioTrack(tone());
    muted->setMuted(true);
    auto disabled = audioTrack(tone());
    container()->setTrackDisabled(disabled->containerTrack()->trackNumber(), true);
    play(0.5);
    EXPECT_FALSE(muted->player()->playerRunning());
    EXPECT_FALSE(disabled->player()->playerRunning());
    document_.stopPlay();
}

TEST_F(AudioTrackTest, InternalEndFollowsTheDistanceOfTheClipFromTheMediaEnd) {
    struct Case {
        const char* name;
        double clipLength; // endTime − startTime
        double movieEnd;
        double internalEnd;
    };
    const Case cases[] = {
        {"same length: media end", 3.0, 3.0, 0.0},
        {"0.05 s apart: media end", 2.95, 3.0, 0.0},
        {"0.1 s apart: trim end", 2.9, 3.0, 3.0},
        {"a second apart: trim end", 2.0, 3.0, 3.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto track = audioTrack(tone(), false);
        track->setMovieStartTimeMovieEndTimeForPlayer(0.0, c.movieEnd);
        track->setStartTimeEndTime(0.0, c.clipLength);
        track->verifyPlayerInternalEndTime();
        EXPECT_EQ(track->player()->trackInternalEndTime(), c.internalEnd);
    }
}

TEST_F(AudioTrackTest, MovingThePlayheadDuringPlaybackRestartsAtTheNewMediaTime) {
    auto track = audioTrack(tone());
    track->setStartTime(1.0);
    track->setMovieStartTime(0.5);
    play(2.0);
    ASSERT_TRUE(track->player()->playerRunning());
    track->setCurrentMovieTime(3.0);
    EXPECT_TRUE(track->player()->playerRunning());
    EXPECT_NEAR(track->player()->currentTime(), 2.0, 1e-3) << "media time, whatever the trim";
    track->setCurrentMovieTime(0.5);
    EXPECT_FALSE(track->player()->playerRunning());
    EXPECT_TRUE(track->hasScheduledPlay()) << "the trimmed start lies 1 s ahead";
    document_.stopPlay();
}

TEST_F(AudioTrackTest, EffectsAreRefusedUnlessAudioAndInterruptPlayback) {
    auto track = audioTrack(tone());
    EffectEntry notAudio = audioEffectEntry("Delay", "dely");
    notAudio.set("audio", PropertyList(false));
    EXPECT_FALSE(track->canAddEffectAtTime(notAudio, 0.5));
    EXPECT_FALSE(track->canAddEffectAtTime(notAudio, 0.5, 0.1).accepted);
    track->addEffectAtTime(notAudio, 0.5);
    EXPECT_EQ(track->player()->unitCount(), 0u);

    const EffectEntry delay = audioEffectEntry("Delay", "dely");
    const auto placement = track->canAddEffectAtTime(delay, 0.5, 0.1);
    EXPECT_TRUE(placement.accepted);
    EXPECT_EQ(placement.toTime, track->endTime() + track->startTime());

    play(0.5);
    track->addEffectAtTime(delay, 0.5);
    EXPECT_EQ(document_.stops, 1) << "paused for the new chain";
    EXPECT_EQ(document_.starts, 2) << "and resumed";
    EXPECT_TRUE(track->player()->playerRunning());
    EXPECT_EQ(track->player()->unitCount(), 1u);
    EXPECT_EQ(track->namesOfAllUsedEffects(), (std::vector<std::string>{"effect_Delay"}));
    EXPECT_FALSE(track->canAddEffectAtTime(delay, 0.5)) << "one of a kind";

    track->removeEffect("effect_Delay");
    EXPECT_EQ(track->player()->unitCount(), 0u);
    EXPECT_TRUE(track->namesOfAllUsedEffects().empty());
    EXPECT_TRUE(track->player()->playerRunning());
    document_.stopPlay();
}

TEST_F(AudioTrackTest, TwoUnitsOfOneSubtypeShareOneSettingsEntryAppliedToTheFirst) {
    auto track = audioTrack(tone());
    EffectEntry second = audioEffectEntry("GraphicEQ", "greq");
    second.set("name", PropertyList(std::string("GraphicEQ2")));
    track->setEffects({audioEffectEntry("GraphicEQ", "greq"), second});
    ASSERT_EQ(track->player()->unitCount(), 2u);
    const UnitConfigurations settings = track->player()->unitConfigurations();
    EXPECT_EQ(settings.size(), 1u);
    ASSERT_TRUE(track->player()->presetsOfUnitAtIndex(0));
    track->player()->setPreset(1, 1);
    const UnitConfigurations changed = track->player()->unitConfigurations();
    track->setEffectSettings(changed);
    EXPECT_EQ(track->player()->indexOfCurrentlySelectedPresetForUnitAtIndex(0), 1)
        << "the shared entry, taken from the second unit, went to the first";
}

TEST_F(AudioTrackTest, VolumeAndMappingReachThePlayerOnlyWhenChanged) {
    auto track = audioTrack(tone());
    track->setVolumeDelta(0.25f);
    EXPECT_EQ(track->player()->volumeDelta(), 0.25f);
    track->player()->setVolumeDelta(0.5f);
    track->setVolumeDelta(0.25f);
    EXPECT_EQ(track->player()->volumeDelta(), 0.5f) << "the same value again does not reach the player";
    track->setChannelMapping(1);
    EXPECT_EQ(track->player()->channelMapping(), ChannelMapping::BothLeft);
}

TEST_F(AudioTrackTest, MutingDuringPlaybackRestartsIt) {
    auto track = audioTrack(tone());
    play(0.5);
    track->setMuted(true);
    EXPECT_EQ(document_.stops, 1);
    EXPECT_EQ(document_.starts, 2);
    EXPECT_FALSE(track->player()->playerRunning()) << "a muted track does not start again";
    track->setMuted(false);
    EXPECT_TRUE(track->player()->playerRunning());
    document_.stopPlay();
}

TEST_F(AudioTrackTest, MutePhasesReachThePlayer) {
    auto track = audioTrack(tone());
    auto phase = track->addNewTriggeredStateAtGlobalTimes(1.0, 1.5);
    ASSERT_TRUE(phase);
    EXPECT_TRUE(std::dynamic_pointer_cast<CompositionAudioTrackMutePhase>(phase));
    EXPECT_EQ(track->player()->mutePhases(), (std::vector<MutePhase>{{1.0, 1.5}}));
    phase->setEndTime(2.0);
    EXPECT_EQ(track->player()->mutePhases(), (std::vector<MutePhase>{{1.0, 2.0}}));
    auto copied = std::dynamic_pointer_cast<CompositionAudioTrackMutePhase>(phase->copy());
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->startTime(), 1.0);
    EXPECT_EQ(copied->object(), track.get());
}

TEST_F(AudioTrackTest, SettingsUndo) {
    auto track = audioTrack(tone());
    track->setEffects({audioEffectEntry("GraphicEQ", "greq")});
    runMainLoopOnce(0);
    test::UndoRoundTrip roundTrip(*document_.undoManager(), document_.objectsContainer());
    roundTrip.check("muted", [&] { track->setMuted(true); });
    roundTrip.check("volume", [&] { track->setVolumeDelta(-0.5f); });
    UnitConfigurations changed = track->player()->unitConfigurations();
    ASSERT_EQ(changed.size(), 1u);
    changed.begin()->second.set("presetData", PropertyList(unitconfig::encodePresetData(2)));
    roundTrip.check("effect settings", [&] { track->setEffectSettings(changed); });
}

TEST_F(AudioTrackTest, AUnitEditRegistersUndoOfTheWholeConfiguration) {
    auto track = audioTrack(tone());
    track->setEffects({audioEffectEntry("GraphicEQ", "greq")});
    runMainLoopOnce(0);
    const UnitConfigurations before = track->player()->unitConfigurations();
    track->player()->setPreset(1, 0);
    track->registerForUndoWithPreviousConfiguration(before);
    ASSERT_TRUE(track->effectSettings());
    EXPECT_EQ(*track->effectSettings(), track->player()->unitConfigurations());
    runMainLoopOnce(0);
    document_.undoManager()->undo();
    ASSERT_TRUE(track->effectSettings());
    EXPECT_EQ(*track->effectSettings(), before);
    EXPECT_EQ(track->player()->unitConfigurations(), before);

    // Outside a document there is no undo manager: reported, nothing breaks.
    auto loose = makeModelObject<CompositionAudioTrackObject>(nullptr);
    loose->registerForUndoWithPreviousConfiguration(before);
    EXPECT_FALSE(loose->effectSettings());
}

TEST_F(AudioTrackTest, ArchiveRoundTrip) {
    auto track = audioTrack(tone());
    track->setEffects({audioEffectEntry("GraphicEQ", "greq")});
    track->player()->setPreset(1, 0);
    track->setMuted(true);
    track->setVolumeDelta(0.3f);
    track->setSamples({0.2f, -0.6f, 0.4f});
    track->addNewTriggeredStateAtGlobalTimes(0.5, 1.0);
    auto bytes = KeyedArchiver::archivedData(track);
    ASSERT_TRUE(bytes) << bytes.error();
    auto decoded = KeyedUnarchiver::unarchive<CompositionAudioTrackObject>(bytes.value());
    ASSERT_TRUE(decoded) << decoded.error();
    auto& read = **decoded;
    EXPECT_TRUE(read.muted());
    EXPECT_EQ(read.volumeDelta(), 0.3f);
    ASSERT_TRUE(read.effectSettings());
    EXPECT_EQ(*read.effectSettings(), track->player()->unitConfigurations());
    EXPECT_TRUE(read.waveformExtractionDone());
    EXPECT_EQ(
        std::vector<float>(read.originalWaveformExtents().begin(), read.originalWaveformExtents().end()),
        (std::vector<float>{0.2f, -0.6f, 0.4f}));
    EXPECT_EQ(std::vector<float>(read.waveformExtents().begin(), read.waveformExtents().end()),
              std::vector<float>(track->waveformExtents().begin(), track->waveformExtents().end()));
    EXPECT_EQ(read.propertyNames(), CompositionAudioTrackObject::defaultPropertyNames());
    EXPECT_EQ(read.namesOfAllUsedEffects(), (std::vector<std::string>{"effect_GraphicEQ"}));
    read.setObjectsContainer(container());
    ASSERT_TRUE(read.loadResources());
    ASSERT_TRUE(read.player());
    EXPECT_EQ(read.player()->unitConfigurations(), track->player()->unitConfigurations());
    EXPECT_EQ(read.player()->mutePhases(), (std::vector<MutePhase>{{0.5, 1.0}}));
    EXPECT_EQ(read.player()->volumeDelta(), 0.3f);
    read.prepareForDeletion();
}

TEST_F(AudioTrackTest, ACopyHasTheSameSettingsWaveformTrimAndVolumeAndItsOwnPlayer) {
    auto track = audioTrack(tone());
    track->setEffects({audioEffectEntry("GraphicEQ", "greq")});
    track->player()->setPreset(1, 0);
    track->setSamples({0.1f, 0.5f});
    track->setMovieStartTime(0.5);
    track->setMovieEndTime(2.5);
    track->setVolumeDelta(-0.25f);
    auto copy = std::dynamic_pointer_cast<CompositionAudioTrackObject>(track->copy());
    ASSERT_TRUE(copy);
    tracks_.push_back(copy);
    ASSERT_TRUE(copy->player());
    EXPECT_NE(copy->player(), track->player());
    EXPECT_EQ(copy->player()->unitConfigurations(), track->player()->unitConfigurations());
    EXPECT_EQ(copy->numberSamples(), 2u);
    EXPECT_EQ(copy->maxWaveExtent(), track->maxWaveExtent());
    EXPECT_EQ(copy->movieStartTime(), 0.5);
    EXPECT_EQ(copy->movieEndTime(), 2.5);
    EXPECT_EQ(copy->player()->trackInternalEndTime(), 2.5);
    EXPECT_EQ(copy->volumeDelta(), -0.25f);
    EXPECT_EQ(copy->player()->volumeDelta(), -0.25f);
}

TEST_F(AudioTrackTest, FixedAnswersOfASound) {
    auto track = audioTrack(tone());
    EXPECT_TRUE(track->isAudioObject());
    EXPECT_FALSE(track->isVideoTrack());
    EXPECT_FALSE(track->canEnableAnimations());
    EXPECT_TRUE(track->allowsAddingTriggeredStates());
    EXPECT_EQ(track->numberOfChannels(), 1u);
    EXPECT_EQ(track->propertyNames(), CompositionAudioTrackObject::defaultPropertyNames());
    track->setAnimationEnabled(true);
    EXPECT_FALSE(track->isAnimationEnabled());
}

TEST_F(AudioTrackTest, DeletingAPlayingTrackSilencesIt) {
    auto track = audioTrack(tone());
    play(0.5);
    ASSERT_TRUE(track->player()->playerRunning());
    track->prepareForDeletion();
    EXPECT_FALSE(track->player()->playerRunning());
    document_.stopPlay();
}

} // namespace
} // namespace vtl
