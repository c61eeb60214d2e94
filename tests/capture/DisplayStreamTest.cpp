#include "platform/capture/DisplayStream.h"

#include "CaptureTestSupport.h"
#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/Screens.h"
#include "platform/capture/WindowFrames.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <future>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

using capturetest::rgbAt;
using capturetest::XcbTestWindow;
using namespace std::chrono_literals;

struct Delivery {
    std::uint64_t displayTimeNanoseconds = 0;
    std::vector<Rect> refreshed;
    std::shared_ptr<CaptureSurface> surface;
    std::vector<Rect> moved;
    double moveDeltaX = 0;
    double moveDeltaY = 0;
};

// Collects what a stream delivers; optionally keeps every delivered surface in use until released.
class Collector {
public:
    bool holdSurfaces = false;
    std::function<void()> onFirstFrame;

    DisplayStreamHandler handler() {
        return [this](DisplayStreamFrameStatus status, std::uint64_t time,
                      const std::shared_ptr<CaptureSurface>& surface,
                      const std::shared_ptr<const DisplayStreamUpdate>& update) {
            std::function<void()> first;
            {
                std::lock_guard lock(mutex_);
                if (status == DisplayStreamFrameStatus::stopped) {
                    stopped_ = true;
                } else if (status == DisplayStreamFrameStatus::frameComplete) {
                    if (holdSurfaces) surface->incrementUseCount();
                    deliveries_.push_back({time, update->refreshedRects(), surface, update->movedRects(),
                                           update->moveDeltaX(), update->moveDeltaY()});
                    if (onFirstFrame) std::swap(first, onFirstFrame);
                }
            }
            changed_.notify_all();
            if (first) first();
        };
    }

    // A delivery that is expected is waited for long: a loaded machine may take seconds.
    std::optional<Delivery> next(std::chrono::milliseconds timeout = 30000ms) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return !deliveries_.empty(); })) return std::nullopt;
        Delivery d = deliveries_.front();
        deliveries_.pop_front();
        return d;
    }

    bool hasStopped() {
        std::lock_guard lock(mutex_);
        return stopped_;
    }

    bool waitStopped(std::chrono::milliseconds timeout = 30000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return stopped_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Delivery> deliveries_;
    bool stopped_ = false;
};

// The stream configuration that records exactly the given rectangle of X11 root pixels.
DisplayStreamConfiguration areaOf(const Rect& x11Area) {
    auto screens = listScreens();
    EXPECT_TRUE(screens && !screens->empty());
    const ScreenDescription& primary = screens->front();
    DisplayStreamConfiguration config;
    config.displayID = primary.displayID;
    config.sourceRect = X11CoordinateSpace(primary.x11Frame).fromX11(x11Area);
    config.outputWidth = static_cast<std::uint32_t>(x11Area.width());
    config.outputHeight = static_cast<std::uint32_t>(x11Area.height());
    return config;
}

bool covered(const std::vector<Rect>& rects, const Rect& r) {
    return std::any_of(rects.begin(), rects.end(), [&](const Rect& held) { return held.containsRect(r); });
}

// A private X server of the given depth with some extensions switched off, stopped by its
// process id at the end. Its screen width is particular to this process, so a client can tell
// it from servers that other test programs start at the same time.
class PrivateXServer {
public:
    PrivateXServer(int depth, const std::vector<std::string>& disabledExtensions) {
        width_ = 256 + static_cast<std::uint32_t>(getpid() % 1024);
        // Display numbers picked from the process id; a number another server holds makes the
        // new server exit, and the next number is tried.
        for (int attempt = 0; attempt < 10 && display_.empty(); ++attempt) {
            std::string display = ":" + std::to_string(1000 + (getpid() * 7 + attempt * 131) % 20000);
            if (launch(display, depth, disabledExtensions)) display_ = display;
        }
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    // Empty when the server did not start.
    const std::string& display() const { return display_; }
    std::uint32_t width() const { return width_; }
    static constexpr std::uint32_t kHeight = 200;

private:
    bool launch(const std::string& display, int depth, const std::vector<std::string>& disabledExtensions) {
        std::vector<std::string> args = {
            "Xvfb",
            display,
            "-nolisten",
            "tcp",
            "-noreset",
            "-screen",
            "0",
            std::to_string(width_) + "x" + std::to_string(kHeight) + "x" + std::to_string(depth)};
        for (const std::string& e : disabledExtensions) {
            args.push_back("-extension");
            args.push_back(e);
        }
        pid_ = fork();
        if (pid_ == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp("Xvfb", argv.data());
            _exit(127);
        }
        if (pid_ < 0) return false;
        // Ready once a client gets in and finds this server's screen.
        for (int i = 0; i < 150; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return false;
            }
            xcb_connection_t* probe = xcb_connect(display.c_str(), nullptr);
            bool ours = !xcb_connection_has_error(probe) &&
                        xcb_setup_roots_iterator(xcb_get_setup(probe)).data->width_in_pixels == width_;
            xcb_disconnect(probe);
            if (ours) return true;
            std::this_thread::sleep_for(20ms);
        }
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return false;
    }

    pid_t pid_ = -1;
    std::uint32_t width_ = 0;
    std::string display_;
};

// Tests that compare pixels put their windows in separate places in the lower right of the
// screen, apart from each other and from the screen grabber's recording test, because test
// programs run side by side on one display (the recorder program's tests put their large windows
// on an X server of their own).
class DisplayStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!capturetest::haveDisplay()) GTEST_SKIP() << "needs an X display";
    }
};

TEST_F(DisplayStreamTest, ScreensStartWithThePrimaryScreenAtTheGlobalOrigin) {
    std::string error;
    auto screens = listScreens();
    ASSERT_TRUE(screens) << screens.error();
    ASSERT_FALSE(screens->empty());
    const ScreenDescription& primary = screens->front();
    EXPECT_TRUE(primary.isPrimary);
    EXPECT_EQ(primary.frame.origin, (Point{0, 0}));
    EXPECT_EQ(primary.frame.size, primary.x11Frame.size);
    EXPECT_EQ(primary.backingScaleFactor, 1.0);
    for (std::size_t i = 1; i < screens->size(); ++i)
        EXPECT_FALSE((*screens)[i].isPrimary);
}

TEST_F(DisplayStreamTest, WindowFramesAreGlobalPointsWithYUp) {
    auto screens = listScreens();
    ASSERT_TRUE(screens);
    const Rect primary = screens->front().x11Frame;
    XcbTestWindow window(50, 60, 200, 100, 0x000000);
    ASSERT_TRUE(window.ok());
    auto frame = onScreenWindowFrame(window.id());
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, (Rect{50 - primary.minX(), primary.maxY() - 160, 200, 100}));
    EXPECT_FALSE(onScreenWindowFrame(0));
    EXPECT_FALSE(onScreenWindowFrame(0x7ffffff0u)) << "no such window";
}

TEST_F(DisplayStreamTest, RefusesWhatItCannotRecordWithAClearMessage) {
    DisplayStreamConfiguration good = areaOf({0, 0, 64, 48});
    struct Case {
        const char* what;
        DisplayStreamConfiguration config;
        const char* displayName;
        const char* message;
    };
    DisplayStreamConfiguration unknownScreen = good;
    unknownScreen.displayID = 0xfffffff0u;
    DisplayStreamConfiguration offScreen = good;
    offScreen.sourceRect = Rect(-500, -500, 64, 48);
    DisplayStreamConfiguration wrongSize = good;
    wrongSize.outputWidth = 65;
    const Case cases[] = {
        {"no X server", good, ":4711", "Cannot connect to the X display"},
        {"empty display name", good, "", "No X display"},
        {"unknown screen", unknownScreen, nullptr, "no screen with display number"},
        {"area off the screen", offScreen, nullptr, "outside the screen"},
        {"output size", wrongSize, nullptr, "does not match the recorded area of 64 x 48"},
    };
    for (const Case& c : cases) {
        std::string error;
        auto stream = DisplayStream::create(
            c.config, [](auto...) {}, c.displayName);
        EXPECT_FALSE(stream) << c.what;
        EXPECT_THAT(stream.error(), ::testing::HasSubstr(c.message)) << c.what;
    }
}

TEST_F(DisplayStreamTest, RefusesDisplaysWithoutWhatRecordingNeeds) {
    struct Case {
        int depth;
        std::vector<std::string> disabledExtensions;
        const char* message;
    };
    const Case cases[] = {
        {24, {"MIT-SHM"}, "no MIT-SHM extension"},
        {24, {"DAMAGE"}, "no DAMAGE extension"},
        {16, {}, "pixel format is not supported"},
    };
    for (const Case& c : cases) {
        PrivateXServer server(c.depth, c.disabledExtensions);
        if (server.display().empty()) GTEST_SKIP() << "cannot start a private X server";
        std::string error;
        auto screens = listScreens(server.display().c_str());
        ASSERT_TRUE(screens) << screens.error() << " on " << server.display();
        DisplayStreamConfiguration config;
        config.displayID = screens->front().displayID;
        config.outputWidth = server.width();
        config.outputHeight = PrivateXServer::kHeight;
        auto stream = DisplayStream::create(
            config, [](auto...) {}, server.display().c_str());
        EXPECT_FALSE(stream);
        EXPECT_THAT(stream.error(), ::testing::HasSubstr(c.message));
    }
}

TEST_F(DisplayStreamTest, DeliversTheDrawnPixelsWithTheirChangedRectangles) {
    const Rect area(1080, 800, 320, 240);
    XcbTestWindow window(1080, 800, 320, 240, 0x102030);
    ASSERT_TRUE(window.ok());
    Collector collector;
    std::string error;
    auto created = DisplayStream::create(areaOf(area), collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    EXPECT_EQ(stream->areaX11(), area);
    ASSERT_EQ(stream->start().error(), "");

    auto first = collector.next();
    ASSERT_TRUE(first);
    EXPECT_THAT(first->refreshed, ::testing::ElementsAre(Rect{0, 0, 320, 240}));
    ASSERT_EQ(first->surface->width(), 320u);
    ASSERT_EQ(first->surface->height(), 240u);
    EXPECT_EQ(rgbAt(first->surface->baseAddress(), first->surface->bytesPerRow(), 0, 0), 0x102030u);
    EXPECT_EQ(rgbAt(first->surface->baseAddress(), first->surface->bytesPerRow(), 319, 239), 0x102030u);

    window.fill(10, 20, 30, 40, 0xff8000);
    window.fill(200, 150, 50, 60, 0x00ff40);
    // The two fills may arrive in one picture or two; together they cover both rectangles.
    std::vector<Rect> seen;
    std::shared_ptr<CaptureSurface> latest;
    while (!(covered(seen, {10, 20, 30, 40}) && covered(seen, {200, 150, 50, 60}))) {
        auto d = collector.next();
        ASSERT_TRUE(d) << "no update for the drawn rectangles";
        seen.insert(seen.end(), d->refreshed.begin(), d->refreshed.end());
        latest = d->surface;
    }
    const std::uint8_t* pixels = latest->baseAddress();
    std::size_t row = latest->bytesPerRow();
    EXPECT_EQ(rgbAt(pixels, row, 10, 20), 0xff8000u);
    EXPECT_EQ(rgbAt(pixels, row, 39, 59), 0xff8000u);
    EXPECT_EQ(rgbAt(pixels, row, 40, 60), 0x102030u);
    EXPECT_EQ(rgbAt(pixels, row, 225, 180), 0x00ff40u);
    // Changes are reported in surface pixels, y down, not as the whole area.
    for (const Rect& r : seen)
        EXPECT_LT(r.width() * r.height(), 320.0 * 240.0 / 2) << stringFromRect(r);
    stream->stop();
    EXPECT_FALSE(stream->isRunning());
}

TEST_F(DisplayStreamTest, ManySmallChangesArriveAsAFewCoveringRectangles) {
    const Rect area(1080, 560, 320, 220);
    XcbTestWindow window(1080, 560, 320, 220, 0x000000);
    ASSERT_TRUE(window.ok());
    Collector collector;
    DisplayStreamConfiguration config = areaOf(area);
    config.maximumChangedRects = 4;
    config.minimumFrameTimeSeconds = 0.1;
    std::string error;
    auto created = DisplayStream::create(config, collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    ASSERT_EQ(stream->start().error(), "");
    ASSERT_TRUE(collector.next());

    std::vector<Rect> drawn;
    for (int i = 0; i < 40; ++i) {
        Rect r((i * 37) % 300, (i * 53) % 200, 6, 5);
        window.fill(int(r.minX()), int(r.minY()), 6, 5, 0xffffff);
        drawn.push_back(r);
    }
    std::vector<Rect> seen;
    auto allSeen = [&] {
        return std::all_of(drawn.begin(), drawn.end(), [&](const Rect& r) { return covered(seen, r); });
    };
    while (!allSeen()) {
        auto d = collector.next();
        ASSERT_TRUE(d) << "a drawn rectangle was never reported";
        EXPECT_LE(d->refreshed.size(), 4u);
        seen.insert(seen.end(), d->refreshed.begin(), d->refreshed.end());
    }
    stream->stop();
}

TEST_F(DisplayStreamTest, KeepsChangesWhileEverySurfaceIsHeld) {
    const Rect area(1420, 600, 200, 100);
    XcbTestWindow window(1420, 600, 200, 100, 0x000000);
    ASSERT_TRUE(window.ok());
    Collector collector;
    collector.holdSurfaces = true;
    DisplayStreamConfiguration config = areaOf(area);
    config.queueDepth = 2;
    std::string error;
    auto created = DisplayStream::create(config, collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    ASSERT_EQ(stream->start().error(), "");

    auto first = collector.next();
    ASSERT_TRUE(first);
    window.fill(0, 0, 10, 10, 0xffffff);
    auto second = collector.next();
    ASSERT_TRUE(second);
    // Both surfaces are held now: a change has nowhere to go until one is given back.
    window.fill(100, 50, 20, 20, 0x0000ff);
    EXPECT_FALSE(collector.next(300ms));
    first->surface->decrementUseCount();
    auto third = collector.next();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->surface, first->surface);
    second->surface->decrementUseCount();
    // The change is not lost: it arrives with the surface given back, or (when that grab was
    // already under way) with a later one.
    bool shown = false;
    for (auto d = std::move(third); d && !shown;) {
        shown = covered(d->refreshed, {100, 50, 20, 20}) &&
                rgbAt(d->surface->baseAddress(), d->surface->bytesPerRow(), 110, 60) == 0x0000ffu;
        d->surface->decrementUseCount();
        if (!shown) d = collector.next();
    }
    EXPECT_TRUE(shown);
    stream->stop();
}

TEST_F(DisplayStreamTest, StopsFromItsOwnHandlerAndRestartsWithAWholeAreaUpdate) {
    const Rect area(1640, 600, 160, 120);
    XcbTestWindow window(1640, 600, 160, 120, 0x808080);
    ASSERT_TRUE(window.ok());
    Collector collector;
    std::string error;
    DisplayStream* raw = nullptr;
    collector.onFirstFrame = [&] { raw->stop(); };
    auto created = DisplayStream::create(areaOf(area), collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    raw = stream.get();
    ASSERT_EQ(stream->start().error(), "");
    ASSERT_TRUE(collector.next());
    ASSERT_TRUE(collector.waitStopped());
    EXPECT_FALSE(stream->isRunning());

    window.fill(0, 0, 5, 5, 0xff0000);
    auto grabbed = stream->grabStill();
    ASSERT_TRUE(grabbed) << grabbed.error();
    auto still = std::move(grabbed).value();
    EXPECT_EQ(rgbAt(still->baseAddress(), still->bytesPerRow(), 2, 2), 0xff0000u);
    ASSERT_EQ(stream->start().error(), "");
    EXPECT_FALSE(stream->grabStill());
    auto restarted = collector.next();
    ASSERT_TRUE(restarted);
    EXPECT_THAT(restarted->refreshed, ::testing::ElementsAre(Rect{0, 0, 160, 120}));
    EXPECT_EQ(rgbAt(restarted->surface->baseAddress(), restarted->surface->bytesPerRow(), 2, 2), 0xff0000u);
}

TEST_F(DisplayStreamTest, AStopFromOutsideWaitsForAHandlerThatStoppedTheStreamItself) {
    Collector collector;
    std::string error;
    DisplayStream* raw = nullptr;
    std::promise<void> stoppedInHandler;
    collector.onFirstFrame = [&] {
        raw->stop();
        stoppedInHandler.set_value();
        // Still busy with the frame when the owner stops the stream too.
        std::this_thread::sleep_for(300ms);
    };
    auto created = DisplayStream::create(areaOf(Rect(1640, 760, 100, 80)), collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    raw = stream.get();
    ASSERT_EQ(stream->start().error(), "");
    ASSERT_EQ(stoppedInHandler.get_future().wait_for(30s), std::future_status::ready);
    stream->stop();
    // The handler is done: whoever stopped may now let go of what it uses.
    EXPECT_TRUE(collector.hasStopped());
}

TEST_F(DisplayStreamTest, NeverDeliversFasterThanTheMinimumFrameTime) {
    const Rect area(1420, 720, 100, 100);
    XcbTestWindow window(1420, 720, 100, 100, 0x000000);
    ASSERT_TRUE(window.ok());
    Collector collector;
    DisplayStreamConfiguration config = areaOf(area);
    config.minimumFrameTimeSeconds = 0.2;
    std::string error;
    auto created = DisplayStream::create(config, collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    ASSERT_EQ(stream->start().error(), "");
    for (int i = 0; i < 12; ++i) {
        window.fill(i * 8, 0, 8, 8, 0xffffff);
        std::this_thread::sleep_for(50ms);
    }
    stream->stop();
    std::vector<std::uint64_t> times;
    while (auto d = collector.next(0ms))
        times.push_back(d->displayTimeNanoseconds);
    ASSERT_GE(times.size(), 2u);
    for (std::size_t i = 1; i < times.size(); ++i)
        EXPECT_GE(times[i] - times[i - 1], 200000000u);
}

TEST_F(DisplayStreamTest, AScrolledViewArrivesAsAMovedBlockAndTheExposedStrip) {
    const Rect area(1420, 260, 240, 200);
    XcbTestWindow window(1420, 260, 240, 200, 0xf0f0f0);
    ASSERT_TRUE(window.ok());
    // Lines of glyph-like blocks, each line different.
    std::uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int line = 0; line + 10 <= 200; line += 12)
        for (int x = 2; x + 8 < 240;) {
            const int glyph = 2 + int(next() % 6);
            window.paint(x, line + 1 + int(next() % 3), glyph, 7, (next() % 0x40) * 0x010101u);
            x += glyph + 2;
        }
    window.sync();
    Collector collector;
    auto created = DisplayStream::create(areaOf(area), collector.handler());
    ASSERT_TRUE(created) << created.error();
    auto stream = std::move(created).value();
    ASSERT_EQ(stream->start().error(), "");
    ASSERT_TRUE(collector.next()); // the whole area first

    // Scroll the view up by 24 rows and paint the exposed strip.
    window.copyArea(0, 24, 240, 176, 0, 0);
    window.fill(0, 176, 240, 24, 0x808080);
    std::optional<Delivery> scrolled;
    while (auto d = collector.next(2s)) {
        if (!d->moved.empty()) {
            scrolled = d;
            break;
        }
    }
    stream->stop();
    ASSERT_TRUE(scrolled) << "no moved block was delivered";
    EXPECT_EQ(scrolled->moveDeltaX, 0);
    EXPECT_EQ(scrolled->moveDeltaY, 24);
    // One block, or several when a grab fell between the copy and the paint of the strip: either
    // way the moves cover the scrolled block without overlapping.
    ASSERT_FALSE(scrolled->moved.empty());
    double movedArea = 0;
    for (std::size_t i = 0; i < scrolled->moved.size(); ++i) {
        const Rect& r = scrolled->moved[i];
        EXPECT_TRUE(Rect(0, 0, 240, 176).containsRect(r)) << stringFromRect(r);
        for (std::size_t j = i + 1; j < scrolled->moved.size(); ++j)
            EXPECT_FALSE(r.intersects(scrolled->moved[j])) << stringFromRect(r);
        movedArea += r.size.width * r.size.height;
    }
    EXPECT_EQ(movedArea, 240.0 * 176.0);
    for (const Rect& r : scrolled->refreshed)
        EXPECT_FALSE(r.intersects(Rect(0, 0, 240, 170))) << stringFromRect(r);
}

} // namespace
} // namespace vtl
