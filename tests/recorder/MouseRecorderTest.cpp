// The mouse recorder with a stand-in pointer and coordinator: what goes into "mouse" (events,
// click list, positions per tick, cursor pictures, focus rectangles), when nothing does, and the
// two files it writes.

#include "recorder/MouseRecorder.h"

#include "FakePointerMonitor.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/PropertyList.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "recorder/format/MouseFileKeys.h"
#include "tracks/metadata/RecordedMouseData.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace vtl {
namespace {

namespace fs = std::filesystem;
namespace keys = mouse_keys;
using testing::FakePointer;

struct MouseTestCoordinator final : RecorderDelegate, MouseRecorderCoordinator {
    bool recorderStartedProducingData(Recorder&) override {
        ++dataReports;
        return true;
    }
    void recorderDone(Recorder&) override { ++done; }
    double recordStartTime() const override { return start; }
    double recordingClockSeconds() const override { return clock; }
    // Carbon points less (100, 100) of the area, y flipped in a 600-point area.
    Point convertPointFromCarbonCoordinatesToMovieCoordinates(Point p) const override {
        return Point{p.x - 100, 700 - p.y};
    }
    float recordingScreenScaling() const override { return scaling; }

    std::atomic<int> dataReports{0};
    int done = 0;
    double start = 1000;
    double clock = 1000;
    float scaling = 1.0f;
};

CursorImage cursorPicture(std::uint8_t shade, bool visible = true) {
    CursorImage image;
    image.width = 3;
    image.height = 2;
    image.hotSpot = Point{1, 1};
    image.rgba.assign(3 * 2 * 4, 0);
    for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
        std::uint8_t alpha = visible ? 255 : 0;
        image.rgba[i] = image.rgba[i + 1] = image.rgba[i + 2] = visible ? shade : 0;
        image.rgba[i + 3] = alpha;
    }
    return image;
}

class MouseRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto monitor = std::make_unique<FakePointer>();
        pointer = monitor.get();
        recorder = std::make_unique<MouseRecorder>(coordinator, coordinator, std::move(monitor), 30,
                                                   MouseRecorder::TickSource::Caller);
    }
    // Started and writing, as after the real start; the tick is driven by hand.
    void startWriting() {
        recorder->startRecord();
        recorder->setWriteToMovie();
    }
    void press(PointerButtonEvent::Kind kind, int button, int wheelX = 0, int wheelY = 0) {
        pointer->handler(PointerButtonEvent{kind, button, wheelX, wheelY});
    }
    PlistArray list(const PropertyList& file, std::string_view key) { return *file.arrayForKey(key); }

    MouseTestCoordinator coordinator;
    FakePointer* pointer = nullptr;
    std::unique_ptr<MouseRecorder> recorder;
};

using Kind = PointerButtonEvent::Kind;

TEST_F(MouseRecorderTest, EventsCarryTheLastKnownPositionTheirTimeTypeAndButton) {
    startWriting();
    pointer->moveTo({150, 200});
    coordinator.clock = 1001.0;
    press(Kind::Down, 1);
    coordinator.clock = 1001.1;
    press(Kind::Up, 1);
    pointer->moveTo({900, 900}); // the wheel step keeps the last known position
    coordinator.clock = 1002.0;
    press(Kind::Wheel, -1, 0, -1);
    recorder->stopRecord();

    PropertyList file = recorder->mouseFileContents();
    const PlistArray events = list(file, keys::kMouseEvents);
    ASSERT_EQ(events.size(), 3u);
    struct Expected {
        double time;
        int type;
        int button;
    };
    const Expected expected[] = {{1.0, 1, 1}, {1.1, 2, 1}, {2.0, 10, -1}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(*events[i].stringForKey(keys::kPoint), "{50, 500}") << i;
        EXPECT_NEAR(*events[i].numberForKey(keys::kTime), expected[i].time, 1e-9) << i;
        EXPECT_EQ(*events[i].integerForKey(keys::kEventType), expected[i].type) << i;
        EXPECT_EQ(*events[i].integerForKey(keys::kButton), expected[i].button) << i;
    }
    EXPECT_EQ(events[0].get(keys::kWheelX), nullptr);
    EXPECT_EQ(*events[2].numberForKey(keys::kWheelX), 0.0);
    EXPECT_EQ(*events[2].numberForKey(keys::kWheelY), -1.0);
    EXPECT_TRUE(pointer->stopped);
}

TEST_F(MouseRecorderTest, QuickPressesOfOneButtonCountAsOneMultipleClick) {
    startWriting();
    struct Step {
        double clock;
        Kind kind;
        int button;
    };
    const Step steps[] = {
        {1001.00, Kind::Down, 1}, {1001.05, Kind::Up, 1},   {1001.10, Kind::Down, 1}, // double click
        {1001.15, Kind::Up, 1},   {1001.50, Kind::Down, 1},                           // too late: new click
        {1001.55, Kind::Down, 2},                                                     // other button
    };
    for (const Step& s : steps) {
        coordinator.clock = s.clock;
        press(s.kind, s.button);
    }
    std::vector<MouseClick> clicks = recorder->mouseClicks();
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[0].clickCount(), 2u);
    EXPECT_EQ(clicks[1].clickCount(), 1u);
    EXPECT_EQ(clicks[2].button(), 2);
    EXPECT_EQ(list(recorder->mouseFileContents(), keys::kMouseEvents).size(), 6u);

    // Wheel steps: only the latest of each direction stays listed.
    press(Kind::Wheel, -1, 0, 1);
    press(Kind::Wheel, -1, 0, 1);
    press(Kind::Wheel, -1, 0, -1);
    clicks = recorder->mouseClicks();
    ASSERT_EQ(clicks.size(), 5u);
    EXPECT_EQ(clicks[3].wheelY(), 1);
    EXPECT_EQ(clicks[4].wheelY(), -1);
}

// What the recorder writes is what a recording track counts: presses at 1.0, 1.3 and 2.0 s of the
// recording are a single click, the second of a double click, and a new single click.
TEST_F(MouseRecorderTest, ATrackCountsTheWrittenClicksAsTheyWerePressed) {
    startWriting();
    for (double at : {1001.0, 1001.3, 1002.0}) {
        coordinator.clock = at;
        press(Kind::Down, 1);
        coordinator.clock = at + 0.05;
        press(Kind::Up, 1);
    }
    recorder->stopRecord();
    const PropertyList file = recorder->mouseFileContents();
    const PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 1.0);
    ASSERT_TRUE(prepared.clicks);
    ASSERT_EQ(prepared.clicks->size(), 3u);
    const struct {
        double time;
        std::uint32_t count;
        std::uint32_t id;
    } expected[] = {{1.0, 1, 0}, {1.3, 2, 0}, {2.0, 1, 1}};
    for (std::size_t i = 0; i < 3; ++i) {
        const MouseClickEntry& click = (*prepared.clicks)[i];
        EXPECT_NEAR(click.time, expected[i].time, 1e-9) << i;
        EXPECT_EQ(click.clickCount, expected[i].count) << i;
        EXPECT_EQ(click.clickID, expected[i].id) << i;
    }
}

TEST_F(MouseRecorderTest, APositionPerTickOnlyWhenThePointerMovedWithTheTimeItWasTaken) {
    startWriting();
    pointer->moveTo({150, 200});
    coordinator.clock = 1000.1;
    recorder->renderMouse(); // asks
    coordinator.clock = 1000.2;
    recorder->renderMouse(); // gets the location of 0.1, asks again; at rest
    pointer->moveTo({160, 200});
    pointer->moveTo({170, 210}); // two moves between ticks: one position
    coordinator.clock = 1000.3;
    recorder->renderMouse();
    coordinator.clock = 1000.4;
    recorder->renderMouse();
    recorder->stopRecord();
    EXPECT_EQ(recorder->lastKnownMousePosition(), (Point{70, 490}));
    const PlistArray positions = list(recorder->mouseFileContents(), keys::kMousePositions);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(*positions[0].stringForKey(keys::kPoint), "{50, 500}");
    EXPECT_NEAR(*positions[0].numberForKey(keys::kTime), 0.1, 1e-9);
    EXPECT_EQ(*positions[1].stringForKey(keys::kPoint), "{70, 490}");
    EXPECT_NEAR(*positions[1].numberForKey(keys::kTime), 0.3, 1e-9);
}

TEST_F(MouseRecorderTest, NothingIsRecordedBeforeTheRealStartWhilePausedOrAfterTheStop) {
    auto monitor = std::make_unique<FakePointer>();
    pointer = monitor.get();
    recorder = std::make_unique<MouseRecorder>(coordinator, coordinator, std::move(monitor), 30);
    recorder->startRecord();
    // The tick thread reports data by itself, before the real start.
    for (int i = 0; i < 500 && coordinator.dataReports == 0; ++i)
        usleep(1000);
    EXPECT_EQ(coordinator.dataReports, 1);
    press(Kind::Down, 1);
    recorder->rectOfFrontWindowChangedTo(Rect(0, 0, 100, 100));
    recorder->setPaused(true);
    recorder->setWriteToMovie();
    press(Kind::Down, 1);
    pointer->moveTo({300, 300});
    recorder->renderMouse();
    recorder->rectOfFrontWindowChangedTo(Rect(0, 0, 100, 100));
    recorder->stopRecord();
    recorder->setPaused(false);
    press(Kind::Down, 1);
    recorder->renderMouse();
    PropertyList file = recorder->mouseFileContents();
    for (auto key :
         {keys::kMouseEvents, keys::kMousePositions, keys::kMouseCursorImages, keys::kFocusWindowRects})
        EXPECT_TRUE(list(file, key).empty()) << key;
    EXPECT_EQ(coordinator.dataReports, 1);
}

TEST_F(MouseRecorderTest, ACursorIsRecordedWhenItChangesAndItsTiffDecodesToThePicture) {
    startWriting();
    const CursorImage a = cursorPicture(10), b = cursorPicture(200), hidden = cursorPicture(0, false);
    for (const CursorImage* shown : {&a, &a, &b, &a, &hidden, &hidden}) {
        pointer->showCursor(*shown);
        coordinator.clock += 0.1;
        recorder->renderMouse();
    }
    const PlistArray cursors = list(recorder->mouseFileContents(), keys::kMouseCursorImages);
    // A, (A again: nothing), B, A, hidden, (hidden again: nothing).
    ASSERT_EQ(cursors.size(), 4u);
    const CursorImage* expected[] = {&a, &b, &a, &hidden};
    for (std::size_t i = 0; i < 4; ++i) {
        const PlistBytes* tiff = cursors[i].dataForKey(keys::kMouseTIFFData);
        ASSERT_TRUE(tiff) << i;
        Result<TiffImage> decoded = decodeTiff(*tiff);
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(decoded->width, expected[i]->width);
        EXPECT_EQ(decoded->rgba, expected[i]->rgba) << i;
        EXPECT_EQ(*cursors[i].stringForKey(keys::kHotspot), "{1, 1}");
        EXPECT_EQ(*cursors[i].boolForKey(keys::kCursorVisible), i != 3) << i;
    }
    // A shown again reuses the stored picture.
    EXPECT_EQ(*cursors[0].dataForKey(keys::kMouseTIFFData), *cursors[2].dataForKey(keys::kMouseTIFFData));
}

TEST_F(MouseRecorderTest, FocusRectanglesKeepTheirOriginAndScaleTheirSize) {
    coordinator.scaling = 2.0f;
    startWriting();
    coordinator.clock = 1002.5;
    recorder->rectOfFrontWindowChangedTo(Rect(10, 20, 300, 200));
    const PlistArray rects = list(recorder->mouseFileContents(), keys::kFocusWindowRects);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(*rects[0].stringForKey(keys::kFocusRect), "{{10, 20}, {600, 400}}");
    EXPECT_NEAR(*rects[0].numberForKey(keys::kTime), 2.5, 1e-9);
}

TEST_F(MouseRecorderTest, WritesBothFilesWithTheReceivedStyleOrTheDefaultOne) {
    fs::path folder = fs::temp_directory_path() / ("vistrel-mouse-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    MouseVisualization style;
    style.visualizesClicks = false;
    style.size = 33;
    PlistBytes archive = style.archivedData().value();
    struct Case {
        PlistBytes received;
        bool storedAsReceived;
    };
    const Case cases[] = {{archive, true}, {PlistBytes{1, 2, 3}, false}, {PlistBytes{}, false}};
    for (const Case& c : cases) {
        recorder->setMouseVisualization(c.received, false);
        recorder->setRecordMouseTrack(true);
        ASSERT_TRUE(recorder->writeFilesToPackage(folder.string()));
        Result<PropertyList> mouse = PropertyList::fromFile(folder / "mouse");
        ASSERT_TRUE(mouse) << mouse.error();
        EXPECT_EQ(mouse->boolForKey(keys::kMouseVisible), true);
        EXPECT_EQ(mouse->boolForKey(keys::kEventsVisible), false);
        for (auto key :
             {keys::kMousePositions, keys::kMouseEvents, keys::kMouseCursorImages, keys::kFocusWindowRects})
            EXPECT_TRUE(mouse->arrayForKey(key)) << key;
        std::ifstream in(folder / "mouseVisualization", std::ios::binary);
        PlistBytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto decoded = MouseVisualization::unarchive(stored);
        ASSERT_TRUE(decoded) << decoded.error();
        if (c.storedAsReceived) {
            EXPECT_EQ(stored, archive);
        } else {
            EXPECT_TRUE((*decoded)->visualizesClicks);
        }
    }
    fs::remove_all(folder);
}

} // namespace
} // namespace vtl
