#include "recorder/FrameScheduler.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

std::uint64_t ns(double seconds) {
    return static_cast<std::uint64_t>(std::llround(seconds * 1e9));
}

std::shared_ptr<const DisplayStreamUpdate> changed(std::vector<Rect> rects) {
    return std::make_shared<const DisplayStreamUpdate>(std::move(rects));
}

bool covers(const DisplayStreamUpdate& update, const Rect& r) {
    const auto& rects = update.refreshedRects();
    return std::any_of(rects.begin(), rects.end(), [&](const Rect& held) { return held.containsRect(r); });
}

std::unique_ptr<FrameScheduler> scheduler(std::uint64_t frameRate) {
    auto s = FrameScheduler::create(frameRate);
    EXPECT_TRUE(s) << s.error();
    return s ? std::move(s).value() : nullptr;
}

TEST(ScreenGrabberScheduling, RefusesFrameRatesBelowTwo) {
    for (std::uint64_t rate : {0u, 1u}) {
        auto refused = FrameScheduler::create(rate);
        EXPECT_FALSE(refused);
        EXPECT_NE(refused.error().find("at least 2 frames per second"), std::string::npos) << refused.error();
    }
    EXPECT_TRUE(FrameScheduler::create(2));
}

TEST(ScreenGrabberScheduling, FrameTimesCountFromTheFirstUpdateWithoutPauses) {
    auto s = scheduler(30);
    EXPECT_EQ(s->stopFrameTime(500.0), 0.0) << "no update yet";
    auto p0 = s->planUpdate(ns(100.0), changed({{0, 0, 4, 4}}));
    EXPECT_DOUBLE_EQ(p0.frameTimeSeconds, 0.0);
    EXPECT_EQ(p0.frameIndex, 0);
    s->acceptFrame(p0);
    auto p1 = s->planUpdate(ns(100.5), changed({{0, 0, 4, 4}}));
    EXPECT_DOUBLE_EQ(p1.frameTimeSeconds, 0.5);
    EXPECT_EQ(p1.frameIndex, 1);
    s->acceptFrame(p1);

    // A ten-second pause: the next frame follows on from the last one, not from the wall clock.
    EXPECT_TRUE(s->setPaused(true, 100.6));
    EXPECT_FALSE(s->setPaused(true, 105.0));
    EXPECT_NEAR(s->stopFrameTime(109.0), 0.6, 1e-9) << "stopped while paused ends where the pause began";
    EXPECT_TRUE(s->setPaused(false, 110.6));
    EXPECT_FALSE(s->setPaused(false, 111.0));
    EXPECT_DOUBLE_EQ(s->accumulatedPauseSeconds(), 10.0);
    auto p2 = s->planUpdate(ns(110.7), changed({{0, 0, 4, 4}}));
    EXPECT_NEAR(p2.frameTimeSeconds, 0.7, 1e-9);
    s->acceptFrame(p2);
    EXPECT_NEAR(s->stopFrameTime(111.0), 1.0, 1e-9);
    // The stop frame never comes before the last kept frame.
    EXPECT_NEAR(s->stopFrameTime(105.0), 0.7, 1e-9);
}

TEST(ScreenGrabberScheduling, TheRecordingsStartAndStopSetTheTimesNotTheFirstUpdateOrTheFinish) {
    auto s = scheduler(10);
    // The recording started at 100; the capture thread took 0.3 s to deliver its first picture.
    s->setStartTime(100.0);
    auto p0 = s->planUpdate(ns(100.3), changed({{0, 0, 4, 4}}));
    EXPECT_DOUBLE_EQ(p0.frameTimeSeconds, 0.0) << "the first picture opens the recording";
    s->acceptFrame(p0);
    auto p1 = s->planUpdate(ns(100.5), changed({{0, 0, 4, 4}}));
    EXPECT_NEAR(p1.frameTimeSeconds, 0.5, 1e-9) << "later frames count from the start";
    s->acceptFrame(p1);
    // Stopped at 106; the files were finished a second later.
    s->setStopTime(106.0);
    s->setStopTime(106.5);
    EXPECT_NEAR(s->stopFrameTime(107.0), 6.0, 1e-9);
}

TEST(ScreenGrabberScheduling, SkipsAbovePressureFiveAndMergesTheChangesIntoTheNextFrame) {
    auto s = scheduler(30);
    s->acceptFrame(s->planUpdate(ns(1.0), changed({{0, 0, 100, 100}})));
    s->setEncodeQueuePressure(5.5);
    auto skipped = s->planUpdate(ns(1.1), changed({{10, 10, 5, 5}}));
    EXPECT_TRUE(skipped.skip);
    EXPECT_TRUE(s->hasHeldBackUpdate());
    s->setEncodeQueuePressure(0);
    auto next = s->planUpdate(ns(1.2), changed({{50, 50, 5, 5}}));
    EXPECT_FALSE(next.skip);
    EXPECT_EQ(next.frameIndex, 1) << "a skipped update takes no frame index";
    EXPECT_TRUE(covers(*next.update, {10, 10, 5, 5}));
    EXPECT_TRUE(covers(*next.update, {50, 50, 5, 5}));
    EXPECT_FALSE(s->hasHeldBackUpdate());
    EXPECT_FALSE(s->dropFrame(next, KeyFrameDecision::NotNeeded, 1.0)) << "no pressure, no drop";
}

TEST(ScreenGrabberScheduling, DropsCostlyFramesUnderPressureButNeverScheduledKeyFrames) {
    struct Case {
        const char* what;
        double pressure, cost, secondsSinceLastFrame;
        KeyFrameDecision decision;
        bool dropped;
    };
    const Case cases[] = {
        {"cost x pressure above the budget", 4.0, 1.0, 0.125, KeyFrameDecision::NotNeeded, true},
        {"cost x pressure at the budget", 3.75, 1.0, 0.125, KeyFrameDecision::NotNeeded, false},
        {"enough time since the last frame", 2.0, 0.5, 0.1, KeyFrameDecision::NotNeeded, false},
        {"a mostly-changed key frame can be dropped", 3.0, 1.0, 0.05, KeyFrameDecision::MostlyChanged, true},
        {"a scheduled key frame is never dropped", 5.0, 1.0, 0.0, KeyFrameDecision::Scheduled, false},
        {"no pressure", 0.0, 1.0, 0.0, KeyFrameDecision::NotNeeded, false},
    };
    for (const Case& c : cases) {
        auto s = scheduler(30);
        s->acceptFrame(s->planUpdate(ns(10.0), changed({{0, 0, 8, 8}})));
        s->setEncodeQueuePressure(c.pressure);
        auto plan = s->planUpdate(ns(10.0 + c.secondsSinceLastFrame), changed({{1, 2, 3, 4}}));
        ASSERT_FALSE(plan.skip) << c.what;
        EXPECT_EQ(s->dropFrame(plan, c.decision, c.cost), c.dropped) << c.what;
        EXPECT_EQ(s->hasHeldBackUpdate(), c.dropped) << c.what;
        if (c.dropped) {
            s->setEncodeQueuePressure(0);
            auto next = s->planUpdate(ns(11.0), changed({{90, 90, 2, 2}}));
            EXPECT_EQ(next.frameIndex, 1) << c.what;
            EXPECT_TRUE(covers(*next.update, {1, 2, 3, 4}))
                << c.what << ": the dropped frame's changes come along";
        }
    }
}

TEST(ScreenGrabberScheduling, ThumbnailsEveryHalfSecondOfFramesWithoutBurstsWhenFramesAreHeldBack) {
    auto s = scheduler(30);
    std::vector<std::int64_t> thumbnailsAt;
    double t = 0;
    auto step = [&](bool keep) {
        auto plan = s->planUpdate(ns(50.0 + t), changed({{0, 0, 1, 1}}));
        if (plan.makeThumbnail) thumbnailsAt.push_back(plan.frameIndex);
        if (keep && !plan.skip) s->acceptFrame(plan);
        t += 1.0 / 30;
    };
    for (int i = 0; i < 31; ++i)
        step(true);
    EXPECT_EQ(thumbnailsAt, (std::vector<std::int64_t>{0, 15, 30}));

    // Under heavy pressure the frame count stands still; updates still arrive at 30 per second
    // for half a second. That count already had its thumbnail, and the time rule waits a second.
    thumbnailsAt.clear();
    s->setEncodeQueuePressure(9.0);
    for (int i = 0; i < 15; ++i)
        step(true);
    EXPECT_TRUE(thumbnailsAt.empty());
    // After more than a second without one, the time rule gives exactly one.
    for (int i = 0; i < 30; ++i)
        step(true);
    EXPECT_EQ(thumbnailsAt.size(), 1u);
}

} // namespace
} // namespace vtl
