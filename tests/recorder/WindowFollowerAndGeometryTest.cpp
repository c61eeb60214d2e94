// The window follower with a stand-in front window, the stop hot key's controller, the desktop
// colour text and the recorder's geometry rules.

#include "recorder/HotKeysController.h"
#include "recorder/RecorderGeometry.h"
#include "recorder/RecorderWindows.h"
#include "recorder/WindowFrameReader.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace vtl {
namespace {

struct Observer final : FrontWindowObserver {
    void rectOfFrontWindowChangedTo(Rect rect) override {
        std::lock_guard lock(mutex);
        rects.push_back(rect);
    }
    std::vector<Rect> seen() {
        std::lock_guard lock(mutex);
        return rects;
    }
    std::mutex mutex;
    std::vector<Rect> rects;
};

struct Source {
    std::optional<Rect> get() {
        std::lock_guard lock(mutex);
        return frame;
    }
    void set(std::optional<Rect> f) {
        std::lock_guard lock(mutex);
        frame = f;
    }
    std::mutex mutex;
    std::optional<Rect> frame;
};

bool waitFor(const std::function<bool()>& predicate) {
    for (int i = 0; i < 300; ++i) {
        if (predicate()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return predicate();
}

TEST(WindowFrameReader, ReportsChangesOnTheRecordedScreenAndTheWholeScreenWhenNoWindowWasFound) {
    Source source;
    Observer observer;
    // The recorded screen is the second one, right of a 1280-point primary.
    WindowFrameReader reader(Rect(1280, 0, 1024, 768), [&] { return source.get(); });
    reader.setFrameRate(60);
    reader.setFrontWindowObserver(&observer);
    reader.startObserving();
    // Nothing found yet: no report until the real start asks for one, which gives the whole screen.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(observer.seen().empty());
    reader.readWindowFrameOnce();
    ASSERT_TRUE(waitFor([&] { return observer.seen().size() == 1; }));
    EXPECT_EQ(observer.seen()[0], Rect(0, 0, 1024, 768));

    source.set(Rect(1300, 100, 400, 300));
    ASSERT_TRUE(waitFor([&] { return observer.seen().size() == 2; }));
    EXPECT_EQ(observer.seen()[1], Rect(20, 100, 400, 300));
    // Unchanged: no report; the window going away keeps the last rectangle.
    source.set(std::nullopt);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(observer.seen().size(), 2u);
    EXPECT_EQ(reader.currentFrontWindowRect(), Rect(20, 100, 400, 300));
    // Partly off the screen: clipped to it.
    source.set(Rect(1200, 600, 400, 300));
    ASSERT_TRUE(waitFor([&] { return observer.seen().size() == 3; }));
    EXPECT_EQ(observer.seen()[2], Rect(0, 600, 320, 168));
    reader.stopObserving();
    EXPECT_FALSE(reader.isRunning());
    source.set(Rect(1400, 100, 400, 300));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(observer.seen().size(), 3u);
}

TEST(HotKeysController, DefaultKeysAndOnlyTheStopKeyActs) {
    int stops = 0, pauses = 0;
    RecordingHotKeys presets;
    presets.pauseResume = HotKeyRecord{35, 6144};
    HotKeysController controller(
        presets, [&] { ++stops; }, [&] { ++pauses; });
    EXPECT_EQ(controller.stopHotKey().keyCode(), 8u);
    EXPECT_EQ(controller.stopHotKey().modifiers(), 6144u);
    EXPECT_EQ(controller.stopHotKey().name(), "StopCapture");
    EXPECT_EQ(controller.pauseResumeHotKey().keyCode(), 35u);
    EXPECT_EQ(controller.pauseResumeHotKey().name(), "PauseResumeCapture");
    controller.performActionForHotKeyWithId(controller.pauseResumeHotKey().hotKeyID());
    EXPECT_EQ(pauses, 0);
    controller.performActionForHotKeyWithId(controller.stopHotKey().hotKeyID());
    EXPECT_EQ(stops, 1);
    controller.stopHotKey().target()();
    EXPECT_EQ(stops, 2);
}

TEST(DesktopFillColor, TheColourTextReadsOnlyFourComponentsFromZeroToOne) {
    struct Case {
        const char* text;
        std::optional<DesktopFillColor> expected;
    };
    const Case cases[] = {
        {"0;0.5;1;1", DesktopFillColor{0, 0.5, 1, 1}},
        {"1;0;0;0.25", DesktopFillColor{1, 0, 0, 0.25}},
        {"1;0;0", std::nullopt},
        {"1;0;0;1;1", std::nullopt},
        {"255;0;0;255", std::nullopt},
        {"a;b;c;d", std::nullopt},
        {"", std::nullopt},
        {"1;;0;1", std::nullopt},
        {"nan;0;0;1", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseDesktopFillColor(c.text), c.expected) << c.text;
    EXPECT_EQ(parseDesktopFillColor(desktopFillColorText({0.25, 0.5, 0.75, 1})),
              (DesktopFillColor{0.25, 0.5, 0.75, 1}));
}

TEST(RecorderGeometry, PicturesFittedIntoTheScreenByStretchMode) {
    const Rect screen(0, 0, 1920, 1080);
    struct Case {
        int option;
        Size picture;
        Rect expected;
    };
    const Case cases[] = {
        {0, {960, 960}, Rect(0, -420, 1920, 1920)}, // fill
        {1, {960, 960}, Rect(420, 0, 1080, 1080)},  // fit
        {2, {960, 960}, screen},                    // stretch fills the screen exactly
        {3, {960, 960}, Rect(480, 60, 960, 960)},   // centre keeps the size
        {3, {2000, 100}, Rect(-40, 490, 2000, 100)},
        {4, {960, 960}, Rect()},
        {-1, {960, 960}, Rect()},
        {0, {0, 960}, Rect()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rectInRectWithOptionsForRecorder(c.option, c.picture, screen), c.expected) << c.option;
}

TEST(RecorderGeometry, ScalingRectanglesPointsAndTransforms) {
    ScreenDescription retina;
    retina.backingScaleFactor = 2.0;
    EXPECT_EQ(scaledRectForScreen(retina, false, Rect(10, 20, 30, 40)), Rect(10, 20, 60, 80));
    EXPECT_EQ(scaledRectForScreen(retina, true, Rect(10, 20, 30, 40)), Rect(20, 40, 60, 80));
    EXPECT_EQ(unscaledRectForScreen(retina, true, Rect(20, 40, 60, 80)), Rect(10, 20, 30, 40));
    EXPECT_EQ(scaledPointForScreen(retina, Point{3, 4}), (Point{6, 8}));
    EXPECT_EQ(unscaledPointForScreen(retina, Point{6, 8}), (Point{3, 4}));
    EXPECT_EQ(backingScaleOfScreen(retina), 2.0f);
    EXPECT_EQ(scaledRectByFactor(1.5f, Rect(2, 4, 6, 8)), Rect(3, 6, 9, 12));
    EXPECT_EQ(scaledPointByFactor(1.0f, Point{0.1, 0.2}), (Point{0.1, 0.2}));
    EXPECT_TRUE(scaleAndRotateAtPointTransformForRecorder(Point{5, 5}, 1, 1, 0).isIdentity());
    AffineTransform doubled = scaleAndRotateAtPointTransformForRecorder(Point{10, 10}, 2, 2, 0);
    EXPECT_EQ(doubled.apply(Point{10, 10}), (Point{10, 10}));
    EXPECT_EQ(doubled.apply(Point{11, 10}), (Point{12, 10}));
    EXPECT_EQ(transformedRect(AffineTransform::scale(2, 3), Rect(1, 1, 2, 2)), Rect(2, 3, 4, 6));
    EXPECT_EQ(rectFromTwoPoints(Point{5, 1}, Point{2, 7}), Rect(2, 1, 3, 6));
    EXPECT_TRUE(valueIsNear(104.5f, 100, 0.05f));
    EXPECT_FALSE(valueIsNear(105.5f, 100, 0.05f));
    EXPECT_TRUE(valueIsNear(95.5f, 100, 0.05f));
    EXPECT_FALSE(valueIsNear(94.5f, 100, 0.05f));
}

} // namespace
} // namespace vtl
