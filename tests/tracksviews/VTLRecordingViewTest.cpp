#include "tracks/views/VTLRecordingView.h"

#include "RecordingViewTestSupport.h"
#include "platform/foundation/MonotonicClock.h"
#include "platform/mainloop/QtMainLoop.h"
#include "tracks/reader/VistrelRecording.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <any>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vtl {
namespace {

// Real windows on the X server when there is one (the test command starts one), else offscreen.
// With AddressSanitizer the X platform's keymap reader trips the strict string checks inside
// libxkbcommon, so that build plays in offscreen windows.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kXWindows = false;
#else
constexpr bool kXWindows = true;
#endif

class RealWindowsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        setenv("QT_QPA_PLATFORM", kXWindows && display && *display ? "xcb" : "offscreen", 1);
        static int argc = 1;
        static char name[] = "tracks_views_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        installQtMainLoop();
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new RealWindowsEnvironment);

constexpr double kFps = 30;

const std::string& tenSecondPackage() {
    static const std::string path =
        test::frameNumberedPackage("fixtures/tenSeconds320x240.vistrelRecord", 320, 240, 10.0);
    return path;
}

bool runUntil(const std::function<bool()>& predicate, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs) return predicate();
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

void runFor(int ms) {
    runUntil([] { return false; }, ms);
}

// A window holding a view at the recording's size, so the display image is the unscaled picture.
struct PlayerWindow {
    explicit PlayerWindow(Size viewSize = Size{320, 240}) {
        EXPECT_FALSE(tenSecondPackage().empty());
        view = new VTLRecordingView(Rect(0, 0, viewSize.width, viewSize.height));
        window.addSubview(view);
        window.setFrameSize(viewSize);
        EXPECT_TRUE(view->setPath(tenSecondPackage()).ok()) << view->lastError();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(runUntil([&] { return view->displayedFrameIndex() == 0; }, 5000));
    }
    ~PlayerWindow() {
        if (view && !view->parentWidget()) delete view;
    }
    View window{Rect(0, 0, 320, 240)};
    VTLRecordingView* view;
};

TEST(VTLRecordingView, PlaysInRealTimeAndEndsAtTheDuration) {
    PlayerWindow player;
    ASSERT_NEAR(player.view->recordingDuration(), 10.0, 1e-9);
    double endedAt = -1;
    player.view->addObserver("isPlaying", KeyValueObservingOptions::newValue, nullptr,
                             [&](const KeyValueChange& c) {
                                 if (!std::any_cast<bool>(c.newValue)) endedAt = monotonicSeconds();
                             });
    const double start = monotonicSeconds();
    player.view->setIsPlaying(true);
    // Every 0.1 s: the frame in the display image against the frame of the wall time.
    std::vector<int> lags;
    double nextSample = start + 0.1;
    while (endedAt < 0 && monotonicSeconds() - start < 11.0) {
        QApplication::processEvents(QEventLoop::AllEvents, 2);
        const double now = monotonicSeconds();
        if (now < nextSample || now - start > 9.8) continue;
        nextSample += 0.1;
        const auto expected = static_cast<std::int64_t>(std::floor((now - start) * kFps));
        const std::int64_t shown = player.view->displayedFrameIndex();
        const BitmapRef picture = player.view->displayImage();
        ASSERT_NE(picture, nullptr);
        // The picture in the display image is the frame the view says it shows.
        const std::int64_t coded = test::frameNumberInPicture(*picture);
        if (coded != shown) {
            // A new frame may have landed between the two reads; read both again.
            ASSERT_EQ(test::frameNumberInPicture(*player.view->displayImage()),
                      player.view->displayedFrameIndex());
        }
        lags.push_back(int(std::abs(expected - coded)));
    }
    ASSERT_GT(lags.size(), 80u);
    // Within two frames as a rule. A machine busy with other work holds a thread back now and
    // then, which may delay a few samples a little, never for long.
    std::sort(lags.begin(), lags.end());
    EXPECT_LE(lags[lags.size() / 2], 2) << "median";
    EXPECT_LE(lags[lags.size() * 9 / 10], 5) << "ninetieth percentile";
    EXPECT_LE(lags.back(), 15) << "largest";
    EXPECT_NEAR(endedAt - start, 10.0, 0.1);
    EXPECT_EQ(player.view->currentTime(), 10.0);
    ASSERT_TRUE(runUntil([&] { return player.view->displayedFrameIndex() >= 299; }, 2000));
}

TEST(VTLRecordingView, PlayAtTheEndStartsAgainFromZero) {
    PlayerWindow player;
    player.view->setCurrentTime(10.0);
    EXPECT_EQ(player.view->currentTime(), 10.0);
    player.view->setIsPlaying(true);
    EXPECT_EQ(player.view->currentTime(), 0.0);
    runFor(300);
    EXPECT_TRUE(player.view->isPlaying());
    EXPECT_LT(player.view->currentTime(), 1.0);
    EXPECT_LT(player.view->displayedFrameIndex(), 30);
}

TEST(VTLRecordingView, ResumingContinuesFromThePausedTime) {
    PlayerWindow player;
    double offset = 0;
    player.view->setClock([&] { return monotonicSeconds() + offset; });
    player.view->setIsPlaying(true);
    runFor(500);
    player.view->setIsPlaying(false);
    const double paused = player.view->currentTime();
    EXPECT_GT(paused, 0.3);
    offset += 10.0; // ten seconds pass while paused
    runFor(100);
    EXPECT_EQ(player.view->currentTime(), paused);
    player.view->setIsPlaying(true);
    runFor(300);
    player.view->setIsPlaying(false);
    EXPECT_GT(player.view->currentTime(), paused + 0.2);
    EXPECT_LT(player.view->currentTime(), paused + 1.0);
}

TEST(VTLRecordingView, ASeekWhilePlayingLandsAtTheNextStep) {
    PlayerWindow player;
    std::vector<double> times;
    player.view->addObserver(
        "currentTime", KeyValueObservingOptions::newValue, nullptr,
        [&](const KeyValueChange& c) { times.push_back(std::any_cast<double>(c.newValue)); });
    player.view->setIsPlaying(true);
    runFor(300);
    times.clear();
    player.view->setCurrentTime(5.0);
    EXPECT_LT(player.view->currentTime(), 1.0) << "not before the next step";
    ASSERT_TRUE(runUntil([&] { return !times.empty(); }, 1000));
    EXPECT_GE(times.front(), 5.0);
    EXPECT_LT(times.front(), 5.0 + 2 / kFps);
    ASSERT_TRUE(runUntil([&] { return player.view->displayedFrameIndex() >= 150; }, 1000));
    EXPECT_LT(player.view->displayedFrameIndex(), 160);
    player.view->setIsPlaying(false);
}

TEST(VTLRecordingView, AWideViewDrawsTheFrameCentredBetweenEqualBands) {
    PlayerWindow player(Size{640, 240});
    const Rect picture = player.view->pictureRect();
    EXPECT_EQ(picture, Rect(160, 0, 320, 240));
    EXPECT_EQ(picture.minX(), player.view->frame().width() - picture.maxX());
    const QImage image = player.view->grab().toImage();
    auto drawn = [&](int x) {
        return qAlpha(image.pixel(x, 120)) == 255 && QColor(image.pixel(x, 120)) != QColor(Qt::black);
    };
    EXPECT_TRUE(drawn(320));
    // The bands show what is behind the view: nothing of the frame.
    const QImage window = player.window.grab().toImage();
    EXPECT_EQ(window.pixel(80, 200), window.pixel(560, 200));
    EXPECT_NE(window.pixel(80, 200), window.pixel(320, 200));

    // Resizing fits the frame again: twice as tall as wide gives bands above and below.
    player.window.setFrameSize(Size{320, 480});
    player.view->setFrame(Rect(0, 0, 320, 480));
    EXPECT_EQ(player.view->pictureRect(), Rect(0, 120, 320, 240));
}

TEST(VTLRecordingView, RemovalFromTheWindowStopsPlayback) {
    PlayerWindow player;
    player.view->setIsPlaying(true);
    runFor(200);
    player.view->removeFromSuperview();
    EXPECT_FALSE(player.view->isPlaying());
    const double stopped = player.view->currentTime();
    runFor(300);
    EXPECT_EQ(player.view->currentTime(), stopped);
}

TEST(VTLRecordingView, ASecondPathReopensCleanlyAndABadOneShowsNothing) {
    const std::string small =
        test::frameNumberedPackage("fixtures/twoSeconds160x120.vistrelRecord", 160, 120, 2.0);
    ASSERT_FALSE(small.empty());
    PlayerWindow player;
    player.view->setIsPlaying(true);
    runFor(100);
    // Reopening while a decode may be in flight.
    ASSERT_TRUE(player.view->setPath(small).ok());
    EXPECT_FALSE(player.view->isPlaying());
    EXPECT_EQ(player.view->currentTime(), 0.0);
    EXPECT_NEAR(player.view->recordingDuration(), 2.0, 1e-9);
    EXPECT_EQ(player.view->pictureRect(), Rect(0, 0, 320, 240));
    ASSERT_TRUE(runUntil([&] { return player.view->displayedFrameIndex() == 0; }, 3000));
    player.view->setCurrentTime(1.0);
    ASSERT_TRUE(runUntil([&] { return player.view->displayedFrameIndex() == 30; }, 3000));

    const Status bad = player.view->setPath("/nonexistent/none.vistrelRecord");
    EXPECT_FALSE(bad.ok());
    EXPECT_FALSE(player.view->lastError().empty());
    EXPECT_EQ(player.view->recording(), nullptr);
    EXPECT_EQ(player.view->displayImage(), nullptr);
    EXPECT_EQ(player.view->pictureRect(), Rect());
    player.view->setIsPlaying(true);
    EXPECT_FALSE(player.view->isPlaying());
    const QImage image = player.view->grab().toImage();
    EXPECT_EQ(qAlpha(image.pixel(160, 120)), qAlpha(player.window.grab().toImage().pixel(160, 120)));
}

TEST(VTLRecordingView, ReleasingTheViewWhileDecodingIsSafe) {
    for (int i = 0; i < 5; ++i) {
        PlayerWindow player;
        player.view->setIsPlaying(true);
        runFor(20 * i);
        player.view->setCurrentTime(7.5);
        delete player.view;
        player.view = nullptr;
        runFor(20);
    }
}

} // namespace
} // namespace vtl
