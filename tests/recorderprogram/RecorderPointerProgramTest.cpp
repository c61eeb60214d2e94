// The recorder program on an X server of the test's own, driven by XTEST the way a user would:
// the pointer's positions, clicks and wheel steps in the package's "mouse" file, the stop hot key,
// and the desktop cover and area frame as the recording sees them.

#include "capture/PrivateXServer.h"
#include "ipc/PrivateSessionBus.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/VistrelBusNames.h"
#include "recorder/RecordingSettings.h"
#include "recorder/format/MouseFileKeys.h"
#include "recordui/RemoteRecorderClient.h"
#include "tracks/reader/VistrelRecording.h"

#include <QProcess>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vtl {
namespace {

namespace fs = std::filesystem;
namespace keys = mouse_keys;
using vtl::testing::processEventsFor;
using vtl::testing::processEventsUntil;

constexpr double kRecorderStartSeconds = 60;
constexpr double kRecorderFinishSeconds = 120;
constexpr std::uint32_t kKeySymbolC = 0x63, kKeySymbolP = 0x70;

class RecorderPointerProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!vtl::testing::startPrivateSessionBus(error)) GTEST_SKIP() << error;
        if (!vtl::testing::startPrivateXServer(error)) GTEST_SKIP() << error;
        vtl::testing::ensureApplication();
        driver = std::make_unique<vtl::testing::XTestDriver>();
        ASSERT_TRUE(driver->ok());
        bus = &BusConnection::session();
        folder =
            fs::temp_directory_path() / ("vistrel-pointer-program-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }

    void TearDown() override {
        if (client && bus->hasOwner(kRecorderServiceName)) client->quitWithoutRecording();
        if (bus) processEventsUntil([&] { return !bus->hasOwner(kRecorderServiceName); }, 30);
        client.reset();
        fs::remove_all(folder);
    }

    void launchRecorder() {
        VistrelCallbacks callbacks;
        callbacks.remoteRecorderAvailable = [this] { ++available; };
        callbacks.recordDoneWithInfo = [this](const std::optional<PropertyList>& info) {
            done.push_back(info);
        };
        client = std::make_unique<RemoteRecorderClient>(callbacks);
        std::string error;
        ASSERT_TRUE(client->vend(error)) << error;
        ASSERT_TRUE(client->launchRecorder(VISTREL_RECORDER_PATH, error)) << error;
        ASSERT_TRUE(processEventsUntil([&] { return available > 0; }, kRecorderStartSeconds));
    }

    // The root rectangle (100, 100, 800, 600) of the 1920 × 1080 screen, in global points.
    RecordingSettings areaSettings() {
        RecordingSettings settings;
        settings.recordMode = RecordMode::Area;
        settings.recordRect = Rect(100, 1080 - 100 - 600, 800, 600);
        settings.frameRate = 10;
        settings.recordMouse = true;
        settings.path = (folder / "take").string();
        return settings;
    }

    void record(const RecordingSettings& settings) {
        launchRecorder();
        IpcReply prepared = client->prepareMovieWithInfoDictionary(settings.toDictionary());
        ASSERT_TRUE(prepared) << prepared.error;
        ASSERT_TRUE(client->startRecording());
    }

    void finish() {
        ASSERT_TRUE(processEventsUntil([&] { return !done.empty(); }, kRecorderFinishSeconds));
        ASSERT_TRUE(done[0]) << "a result";
    }

    std::unique_ptr<vtl::testing::XTestDriver> driver;
    BusConnection* bus = nullptr;
    fs::path folder;
    int available = 0;
    std::vector<std::optional<PropertyList>> done;
    std::unique_ptr<RemoteRecorderClient> client;
};

std::vector<const PropertyList*> eventsOfType(const PlistArray& events, int type) {
    std::vector<const PropertyList*> found;
    for (const PropertyList& e : events)
        if (e.integerForKey(keys::kEventType) == type) found.push_back(&e);
    return found;
}

TEST_F(RecorderPointerProgramTest, PositionsClicksAndWheelStepsOfTheRecordedAreaGoIntoTheMouseFile) {
    driver->moveTo(1500, 900);
    RecordingSettings settings = areaSettings();
    record(settings);
    processEventsFor(0.5);
    driver->moveTo(150, 200);
    // Clicks about 0.3 s and 1.0 s apart: a double click and a single one. Each one's press and
    // release are timed here, so what the recorder wrote is compared with when they really came.
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> clicked;
    auto click = [&] {
        const auto pressed = Clock::now();
        driver->button(1, true);
        driver->button(1, false);
        clicked.emplace_back(pressed, Clock::now());
    };
    processEventsFor(1.0);
    click();
    processEventsFor(0.3);
    click();
    processEventsFor(0.7);
    click();
    processEventsFor(0.3);
    driver->click(4);
    driver->click(6);
    processEventsFor(0.5);
    // Moving all the time: at most one position per tick.
    auto movingFrom = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i) {
        driver->moveTo(200 + i, 300);
        processEventsFor(0.01);
    }
    double movingSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - movingFrom).count();
    processEventsFor(0.5);
    // Nothing while paused.
    ASSERT_TRUE(client->pauseResumeRecord());
    ASSERT_TRUE(processEventsUntil([&] { return client->isPaused() == true; }, kRecorderStartSeconds));
    driver->moveTo(400, 400);
    driver->click(1);
    driver->click(5);
    processEventsFor(0.5);
    driver->moveTo(300, 300);
    ASSERT_TRUE(client->pauseResumeRecord());
    ASSERT_TRUE(processEventsUntil([&] { return client->isPaused() == false; }, kRecorderStartSeconds));
    processEventsFor(2.0);
    ASSERT_TRUE(client->stopRecord());
    finish();

    Result<PropertyList> mouse = PropertyList::fromFile(fs::path(settings.recordPath()) / "mouse");
    ASSERT_TRUE(mouse) << mouse.error();
    EXPECT_EQ(mouse->boolForKey(keys::kMouseVisible), true);
    const PlistArray& positions = *mouse->arrayForKey(keys::kMousePositions);
    const PlistArray& events = *mouse->arrayForKey(keys::kMouseEvents);

    // Root (150, 200) in the area (100, 100, 800, 600) is 50 from its left and 500 from its bottom.
    bool sawPoint = false;
    for (const PropertyList& p : positions)
        sawPoint = sawPoint || *p.stringForKey(keys::kPoint) == "{50, 500}";
    EXPECT_TRUE(sawPoint);

    auto downs = eventsOfType(events, 1), ups = eventsOfType(events, 2), wheels = eventsOfType(events, 10);
    ASSERT_EQ(downs.size(), 3u) << "the click while paused is not recorded";
    ASSERT_EQ(ups.size(), 3u);
    const double t0 = *downs[0]->numberForKey(keys::kTime);
    EXPECT_GT(t0, 0.0);
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(*downs[i]->stringForKey(keys::kPoint), "{50, 500}");
        EXPECT_EQ(downs[i]->integerForKey(keys::kButton), 1);
        double down = *downs[i]->numberForKey(keys::kTime), up = *ups[i]->numberForKey(keys::kTime);
        EXPECT_GE(up, down);
        // When the test put the press and release through (each waits for the server), give or
        // take how late the recorder, which times an event as it reads it, got to them.
        constexpr double readSlackSeconds = 0.1;
        const double pressedAfter = seconds(clicked[i].first - clicked[0].second);
        const double pressedBy = seconds(clicked[i].second - clicked[0].first);
        EXPECT_GE(down - t0, pressedAfter - readSlackSeconds) << i;
        EXPECT_LE(down - t0, pressedBy + readSlackSeconds) << i;
        EXPECT_LE(up - down, seconds(clicked[i].second - clicked[i].first) + readSlackSeconds) << i;
    }
    ASSERT_EQ(wheels.size(), 2u) << "the wheel step while paused is not recorded";
    EXPECT_EQ(wheels[0]->integerForKey(keys::kButton), -1);
    EXPECT_EQ(*wheels[0]->stringForKey(keys::kPoint), "{50, 500}");
    EXPECT_EQ(wheels[0]->numberForKey(keys::kWheelY), 1.0);
    EXPECT_EQ(wheels[0]->numberForKey(keys::kWheelX), 0.0);
    EXPECT_EQ(wheels[1]->numberForKey(keys::kWheelX), 1.0);

    // In order; at most one position per tick of 0.1 s is counted below (a late tick and the one
    // after it may come close together on a busy machine), and the positions of the paused second
    // are not there.
    for (std::size_t i = 1; i < positions.size(); ++i)
        EXPECT_GE(*positions[i].numberForKey(keys::kTime), *positions[i - 1].numberForKey(keys::kTime))
            << "position " << i;
    int moving = 0, afterPause = 0;
    for (const PropertyList& p : positions) {
        const std::string& point = *p.stringForKey(keys::kPoint);
        EXPECT_NE(point, "{300, 300}") << "recorded while paused";
        if (point.find(", 400}") != std::string::npos && point != "{200, 400}") ++moving;
        if (point == "{200, 400}") ++afterPause;
    }
    EXPECT_GE(moving, 5);
    EXPECT_LE(moving, int(movingSeconds * 10) + 3);
    // Where the pointer was left during the pause: once, then at rest for two seconds.
    EXPECT_EQ(afterPause, 1);
    EXPECT_EQ(*positions.back().stringForKey(keys::kPoint), "{200, 400}");
    EXPECT_TRUE(fs::exists(fs::path(settings.recordPath()) / "mouseVisualization"));
}

TEST_F(RecorderPointerProgramTest, TheStopKeyEndsTheRecordingAndThePauseKeyDoesNothing) {
    RecordingSettings settings = areaSettings();
    settings.hotkeys.pauseResume = HotKeyRecord{35, 6144}; // Control + Option + P
    record(settings);
    processEventsFor(1.0);
    driver->chord({vtl::testing::kControlLKeySymbol, vtl::testing::kAltLKeySymbol, kKeySymbolP});
    processEventsFor(0.5);
    EXPECT_EQ(client->isPaused(), false);
    driver->chord({vtl::testing::kControlLKeySymbol, vtl::testing::kAltLKeySymbol, kKeySymbolC});
    finish();
    EXPECT_TRUE(
        processEventsUntil([&] { return !bus->hasOwner(kRecorderServiceName); }, kRecorderFinishSeconds));
    VistrelRecording recording(settings.recordPath());
    ASSERT_TRUE(recording.open()) << recording.openError();
    EXPECT_GE(recording.duration(), 4.5) << "a recording lasts at least five seconds";
    EXPECT_TRUE(fs::exists(fs::path(settings.recordPath()) / "mouse"));
}

// A window of one colour where the test puts it.
class ColourWindow {
public:
    ColourWindow(xcb_connection_t* c, int x, int y, int w, int h, std::uint32_t rgb)
        : c_(c) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window_ = xcb_generate_id(c);
        std::uint32_t values[] = {rgb, 1};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), static_cast<std::uint16_t>(w),
                          static_cast<std::uint16_t>(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c, window_);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    ~ColourWindow() {
        xcb_destroy_window(c_, window_);
        xcb_flush(c_);
    }

private:
    xcb_connection_t* c_;
    xcb_window_t window_;
};

TEST_F(RecorderPointerProgramTest, TheCoverShowsItsColourAndTheAreaFrameNeverShowsInTheRecording) {
    // The recorder's windows on the X server itself. Qt's X11 platform loads the system's keymap
    // library, whose string handling the sanitizers' strict string check flags: not checked there.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const char* sanitizerOptions = std::getenv("ASAN_OPTIONS");
    std::string savedOptions = sanitizerOptions ? sanitizerOptions : "";
    ::setenv("ASAN_OPTIONS", (savedOptions + ":strict_string_checks=0").c_str(), 1);
    ColourWindow red(driver->connection(), 100, 100, 400, 600, 0xff0000);
    RecordingSettings settings = areaSettings();
    settings.hideDesktop = true;
    settings.showRecordAreaWhileRecording = true;
    std::string blue = "0;0;1;1";
    settings.desktopFillColor.assign(blue.begin(), blue.end());
    record(settings);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("ASAN_OPTIONS", savedOptions.c_str(), 1);
    processEventsFor(3.0);
    ASSERT_TRUE(client->stopRecord());
    finish();

    VistrelRecording recording(settings.recordPath());
    ASSERT_TRUE(recording.open()) << recording.openError();
    auto decoder = recording.makeDecompressionInfo();
    ASSERT_TRUE(decoder) << decoder.error();
    DecompressionInfo& info = **decoder;
    std::uint64_t last = recording.numberOfFrames() - 2; // the one before the stop frame
    ASSERT_TRUE(info.decompressFrame(last)) << info.lastError();
    std::vector<std::uint8_t> pixels(info.bytesPerRow() * recording.height());
    ASSERT_TRUE(info.copyFrame(pixels.data(), info.bytesPerRow()));
    info.release();
    auto rgbAt = [&](int x, int y) {
        const std::uint8_t* p = pixels.data() + std::size_t(y) * info.bytesPerRow() + std::size_t(x) * 4;
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    // Left half: the red window beneath the frame; right half: the blue cover. Nothing dimmed.
    for (auto [x, y] : {std::pair{50, 50}, {200, 300}, {350, 550}}) {
        auto rgb = rgbAt(x, y);
        EXPECT_GT(rgb[0], 235) << x << "," << y;
        EXPECT_LT(rgb[1], 20) << x << "," << y;
        EXPECT_LT(rgb[2], 20) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{450, 50}, {600, 300}, {750, 550}}) {
        auto rgb = rgbAt(x, y);
        EXPECT_LT(rgb[0], 20) << x << "," << y;
        EXPECT_LT(rgb[1], 20) << x << "," << y;
        EXPECT_GT(rgb[2], 235) << x << "," << y;
    }
}

} // namespace
} // namespace vtl
