// The sounds of recorded clicks on the null audio backend: which click is next, the one pending
// timer during playback, and the export entries.

#include "AudioTrackSupport.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "objects/MouseVisualization.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <filesystem>

namespace vtl {
namespace {

using ClickSoundTrack = test::ClickTrack;

class ClickSoundTest : public test::AudioTrackFixture {
protected:
    ClickSoundTest() {
        AudioHardware::setShared(std::make_shared<NullAudioHardware>());
        // The playhead runs on the tracks' own clock.
        document_.keepsPlayhead = false;
    }
    ~ClickSoundTest() override { AudioHardware::setShared(nullptr); }

    // Clicks at media 0.1 (before the trim), 0.5 twice, 1.2, 2.0 and 5.5 (after the trim); trim
    // window [0.3, 5.0], the clip at 2 s.
    std::shared_ptr<ClickSoundTrack> clickTrack() {
        auto track = makeModelObject<ClickSoundTrack>(container());
        track->setMediaEntry(entry(test::mediaFixture("h264-360p")));
        track->setTrackIndex(0);
        track->setClicks({0.1, 0.5, 0.5, 1.2, 2.0, 5.5});
        track->setStartTime(2.0);
        track->setMovieStartTimeMovieEndTime(0.3, 5.0);
        track->setAudiblizesMouseClicks(false);
        container()->addObject(track);
        return track;
    }
};

TEST_F(ClickSoundTest, TheNextClickLiesInsideTheTrimWindow) {
    auto track = clickTrack();
    struct Case {
        double time;
        std::optional<double> next;
    };
    const Case cases[] = {{0.0, 0.5}, {0.5, 0.5}, {0.6, 1.2}, {2.1, std::nullopt}, {5.2, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        const auto next = track->firstMouseClickToAudiblizeAfterTime(c.time);
        EXPECT_EQ(next ? std::optional<double>(next->time) : std::nullopt, c.next);
    }
}

TEST_F(ClickSoundTest, ExportGetsOneEntryPerVisibleClickOrNoneWhileOff) {
    auto track = clickTrack();
    EXPECT_FALSE(track->mouseClickAudiblizationDictionariesForExport()) << "nil, not an empty list";
    track->setAudiblizesMouseClicks(true);
    const auto entries = track->mouseClickAudiblizationDictionariesForExport();
    ASSERT_TRUE(entries);
    std::vector<double> times;
    for (const PlistDictionary& entry : *entries) {
        times.push_back(*entry.find("time")->numberValue());
        EXPECT_EQ(*entry.find("path")->stringValue(), CompositionTrackObject::mouseClickSoundPath());
        EXPECT_GT(*entry.find("duration")->numberValue(), 0.02);
        EXPECT_LT(*entry.find("duration")->numberValue(), 0.2);
    }
    EXPECT_EQ(times, (std::vector<double>{2.5, 2.5, 3.2, 4.0}));
    EXPECT_TRUE(std::filesystem::exists(CompositionTrackObject::mouseClickSoundPath()));

    track->setClicks({0.1, 6.0});
    const auto none = track->mouseClickAudiblizationDictionariesForExport();
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
}

TEST_F(ClickSoundTest, OneTimerAtATimeWalksTheClicksDuringPlayback) {
    auto track = clickTrack();
    track->setAudiblizesMouseClicks(true);
    // Starting in the middle: the first click at or after the playhead, not earlier ones.
    play(2.0 + 0.45);
    ASSERT_TRUE(track->hasMouseClickTimer());
    EXPECT_EQ(track->nextMouseClickToAudiblize()->time, 0.5);
    // Both clicks at 0.5 play (the second at once), then 1.2 is next.
    ASSERT_TRUE(test::waitOnMainLoopFor(
        [&] { return track->nextMouseClickToAudiblize() && track->nextMouseClickToAudiblize()->time == 1.2; },
        2));
    EXPECT_TRUE(track->hasMouseClickTimer());
    document_.stopPlay();
    EXPECT_FALSE(track->hasMouseClickTimer());

    play(2.0 + 1.5);
    EXPECT_EQ(track->nextMouseClickToAudiblize()->time, 2.0);
    // A jump of the playhead reschedules.
    track->setCurrentMovieTime(0.2);
    EXPECT_EQ(track->nextMouseClickToAudiblize()->time, 0.5);
    document_.stopPlay();

    play(2.0 + 2.5);
    EXPECT_FALSE(track->hasMouseClickTimer()) << "the click after the trim is never played";
    document_.stopPlay();
}

TEST_F(ClickSoundTest, NoTimerWhileOffOrOnADisabledTrack) {
    auto off = clickTrack();
    auto disabled = clickTrack();
    disabled->setAudiblizesMouseClicks(true);
    container()->setTrackDisabled(disabled->containerTrack()->trackNumber(), true);
    play(2.0);
    EXPECT_FALSE(off->hasMouseClickTimer());
    EXPECT_FALSE(disabled->hasMouseClickTimer());
    document_.stopPlay();
}

TEST_F(ClickSoundTest, ClicksFollowPlaybackAfterTheMouseStyleIsTakenAway) {
    auto track = clickTrack();
    track->setAudiblizesMouseClicks(true);
    track->setMouseVisualization(makeModelObject<MouseVisualization>());
    track->setMouseVisualization(nullptr);
    play(2.0);
    EXPECT_TRUE(track->hasMouseClickTimer());
    document_.stopPlay();
}

} // namespace
} // namespace vtl
