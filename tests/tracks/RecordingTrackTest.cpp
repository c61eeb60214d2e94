// The recording track over packages from the synthetic recorder with written "mouse" files:
// prepared pointer data, trim window and anchored neighbours, keyframe stretching, visualized
// click spans, undo, archives, copies and the media entry's use count, still images.

#include "document/CompositionDocument.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionModelNotifications.h"
#include "model/SharedMediaManager.h"
#include "model/support/UndoRoundTrip.h"
#include "objects/MouseVisualization.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/CompositionVistrelTrack.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

namespace fs = std::filesystem;

struct PackageShape {
    std::uint32_t width = 320;
    std::uint32_t height = 240;
    float scaling = 1.0f;
    double seconds = 4.0;
};

// One synthetic recording per shape, written once per test run and copied per test.
const fs::path& syntheticPackage(const PackageShape& shape) {
    static std::map<std::string, fs::path> made;
    const std::string key = std::to_string(shape.width) + "x" + std::to_string(shape.height) + "@" +
                            std::to_string(shape.scaling) + "-" + std::to_string(shape.seconds);
    auto found = made.find(key);
    if (found != made.end()) return found->second;
    const fs::path path = fs::path(::testing::TempDir()) /
                          ("track-source-" + std::to_string(::getpid()) + "-" + key + ".vistrelRecord");
    fs::remove_all(path);
    SyntheticRecordingSettings settings;
    settings.screen.width = shape.width;
    settings.screen.height = shape.height;
    settings.screen.movingRectSize = 16;
    settings.screen.changingRectWidth = 40;
    settings.screen.changingRectHeight = 8;
    settings.framesPerSecond = 5;
    settings.seconds = shape.seconds;
    settings.screenScaling = shape.scaling;
    auto written = writeSyntheticRecording(path.string(), settings);
    EXPECT_TRUE(written) << written.error();
    return made.emplace(key, path).first->second;
}

PropertyList recordedEvent(double time, int eventType, int button, const char* point = "{100, 50}") {
    return PropertyList(PlistDictionary{{"point", PropertyList(point)},
                                        {"time", PropertyList(time)},
                                        {"eventType", PropertyList(eventType)},
                                        {"button", PropertyList(button)}});
}

PropertyList timed(double time, const char* key, PropertyList value) {
    return PropertyList(PlistDictionary{{key, std::move(value)}, {"time", PropertyList(time)}});
}

// A mouse file with clicks at 1.0, 1.3 and 2.0 s (with their releases and a wheel turn), a first
// press after two hours left out, positions, focus changes 0.3 s apart and one cursor image.
PropertyList recordedMouseFile() {
    PlistArray events = {recordedEvent(1.0, 1, 1),  recordedEvent(1.1, 2, 1), recordedEvent(1.3, 1, 1),
                         recordedEvent(1.4, 2, 1),  recordedEvent(2.0, 1, 2), recordedEvent(2.1, 2, 2),
                         recordedEvent(2.5, 10, -1)};
    PlistArray positions;
    for (int i = 0; i < 20; ++i)
        positions.push_back(
            timed(i * 0.2, "point", PropertyList(stringFromPoint(Point{double(i * 10), double(i * 5)}))));
    positions.push_back(timed(5.0, "point", PropertyList("{broken")));
    PlistArray focus = {timed(0.5, "focusRect", PropertyList("{{10, 20}, {200, 100}}")),
                        timed(0.8, "focusRect", PropertyList("{{10, 20}, {200, 100}}")),
                        timed(3.0, "focusRect", PropertyList("{{30, 40}, {100, 50}}"))};
    PlistArray cursors = {PropertyList(PlistDictionary{{"time", PropertyList(0.0)},
                                                       {"mouseTIFFData", PropertyList(PlistBytes{1, 2})},
                                                       {"hotspot", PropertyList("{1, 1}")},
                                                       {"cursorVisible", PropertyList(true)}})};
    return PropertyList(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                        {"eventsVisible", PropertyList(true)},
                                        {"mousePositions", PropertyList(positions)},
                                        {"mouseEvents", PropertyList(events)},
                                        {"mouseCursorImages", PropertyList(cursors)},
                                        {"focusWindowRects", PropertyList(focus)}});
}

class RecordingTrackTest : public ::testing::Test {
protected:
    RecordingTrackTest()
        : media_(fs::path(::testing::TempDir()) / ("track-media-" + std::to_string(::getpid()))) {
        CompositionVistrelTrack::registerClasses();
    }
    ~RecordingTrackTest() override {
        for (const auto& path : packages_)
            fs::remove_all(path);
    }

    // A copy of the shape's package with the mouse file (none: no "mouse" file at all).
    std::string package(const std::optional<PropertyList>& mouse, PackageShape shape = {}) {
        const fs::path source = syntheticPackage(shape);
        const fs::path target =
            fs::path(::testing::TempDir()) / ("track-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(packages_.size()) + ".vistrelRecord");
        fs::remove_all(target);
        fs::copy(source, target, fs::copy_options::recursive);
        if (mouse) {
            EXPECT_TRUE(mouse->writeToFile(target / "mouse", PropertyListFormat::Xml));
        }
        packages_.push_back(target);
        return target.string();
    }

    std::shared_ptr<CompositionVistrelTrack> track(const std::string& packagePath,
                                                   bool addToContainer = true) {
        auto entry = media_.entryForResourceWithFileSystemPath(packagePath, &document_,
                                                               SharedMediaManager::ResourceCopy::None);
        auto made = makeModelObject<CompositionVistrelTrack>(container());
        made->setMediaEntry(entry);
        if (addToContainer) container()->addObject(made);
        return made;
    }

    CompositionObjectsContainer* container() { return document_.objectsContainer().get(); }
    static void endPass() { runMainLoopOnce(0); }

    CompositionDocument document_;
    SharedMediaManager media_;
    std::vector<fs::path> packages_;
};

TEST_F(RecordingTrackTest, LoadingPreparesThePointerDataOfTheMouseFile) {
    auto recording = track(package(recordedMouseFile(), PackageShape{320, 240, 2.0f}));
    ASSERT_TRUE(recording->underlyingRecording());
    EXPECT_NEAR(recording->duration(), 4.0, 0.5);
    EXPECT_EQ(recording->movieEndTime(), recording->duration());
    EXPECT_EQ(recording->size(), (Size{320.0, 240.0}));

    const TrackMetadata lists = recording->metadata();
    ASSERT_EQ(lists.mouseClicks->size(), 3u);
    const std::uint32_t counts[] = {1, 2, 1}, ids[] = {0, 0, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*lists.mouseClicks)[i].clickCount, counts[i]);
        EXPECT_EQ((*lists.mouseClicks)[i].clickID, ids[i]);
    }
    ASSERT_EQ(lists.mouseWheelEvents->size(), 1u);
    EXPECT_EQ(lists.mouseLocations->size(), 20u) << "the damaged position is left out";
    ASSERT_EQ(lists.focusedWindowRects->size(), 2u) << "the first of two changes 0.3 s apart goes";
    EXPECT_EQ((*lists.focusedWindowRects)[0].time, 0.8);
    EXPECT_EQ((*lists.focusedWindowRects)[0].focusRect, Rect(20, 40, 200, 100))
        << "the origin follows the 2x screen";
    EXPECT_EQ(lists.mouseCursorImages->size(), 1u);
    EXPECT_EQ(lists.mouseEventsToVisualize->size(), 3u) << "clicks shown from the start";

    ASSERT_TRUE(recording->mouseVisualizationStyle()) << "a recording with clicks gets a style";
    const auto& panes = recording->propertyNames();
    EXPECT_NE(std::find(panes.begin(), panes.end(), "MouseVisualization.nib"), panes.end());
    bool valid = false;
    EXPECT_EQ(recording->mouseLocationAtTime(0.5, &valid), (Point{20.0, 10.0}));
    EXPECT_TRUE(valid);
    EXPECT_EQ(recording->focusRectAtTime(3.5), Rect(60, 80, 100, 50));
    auto downs = recording->mouseEvents(1, 1.2, 2.0);
    ASSERT_TRUE(downs);
    EXPECT_EQ(downs->size(), 3u) << "the click in effect at 1.2 s comes first";
}

TEST_F(RecordingTrackTest, AMissingMouseFileGivesEmptyListsAndNoPane) {
    auto recording = track(package(std::nullopt));
    EXPECT_FALSE(recording->hasMouseClicks());
    EXPECT_FALSE(recording->hasFocusWindowRects());
    EXPECT_TRUE(recording->mouseLocations()->empty());
    EXPECT_FALSE(recording->mouseVisualizationStyle());
    const auto& panes = recording->propertyNames();
    EXPECT_EQ(std::find(panes.begin(), panes.end(), "MouseVisualization.nib"), panes.end());
    EXPECT_FALSE(recording->mouseWheelEventsFrom(0, 10));
}

TEST_F(RecordingTrackTest, AStyleProviderSuppliesTheDefaultStyle) {
    auto preset = makeModelObject<MouseVisualization>();
    preset->setName("First preset");
    CompositionVistrelTrack::setMouseVisualizationProvider([preset] { return preset; });
    auto recording = track(package(recordedMouseFile()));
    CompositionVistrelTrack::setMouseVisualizationProvider(nullptr);
    EXPECT_EQ(recording->mouseVisualizationStyle(), preset);
    EXPECT_TRUE(CompositionVistrelTrack::defaultMouseVisualization()->vistrelOwn)
        << "built in without a provider";
}

TEST_F(RecordingTrackTest, TheVisiblePartIsNeverShorterThanAQuarterSecond) {
    auto recording = track(package(std::nullopt));
    recording->setMovieStartTimeMovieEndTime(1.0, 3.0);
    const std::pair<double, bool> ends[] = {{1.25, true}, {1.2499, false}, {3.5, true}};
    for (auto [end, allowed] : ends)
        EXPECT_EQ(recording->canSetMovieEndTimeTo(end), allowed) << end;
    const std::pair<double, bool> starts[] = {{2.75, true}, {2.7501, false}, {0.0, true}};
    for (auto [start, allowed] : starts)
        EXPECT_EQ(recording->canSetMovieStartTimeTo(start), allowed) << start;
}

TEST_F(RecordingTrackTest, AnchoredNeighboursMoveWithTheClip) {
    auto before = track(package(std::nullopt));
    auto clip = track(package(std::nullopt));
    auto after = makeModelObject<CompositionRectangularObject>(container());
    after->setStartTimeEndTime(10, 12);
    container()->addObject(after);
    clip->setBeforeAnchoredObject(before);
    clip->setAfterAnchoredObject(after);
    EXPECT_TRUE(after->timeCantManuallyBeSet());
    before->setMovieStartTimeMovieEndTime(0, 2);

    // A new movie start moves the clip as a whole and stretches the neighbour's movie end.
    const double start = clip->startTime();
    clip->setMovieStartTime(clip->movieStartTime() + 0.5);
    EXPECT_DOUBLE_EQ(clip->startTime(), start + 0.5);
    EXPECT_DOUBLE_EQ(clip->movieStartTime(), 0.0);
    EXPECT_DOUBLE_EQ(before->movieEndTime(), 2.5);

    // Moving the clip moves both neighbours.
    clip->setStartTime(clip->startTime() + 1.0);
    EXPECT_DOUBLE_EQ(before->movieEndTime(), 3.5);
    EXPECT_DOUBLE_EQ(after->startTime(), 11.0);

    // A longer movie end pushes the neighbour after it.
    clip->setMovieEndTime(clip->movieEndTime() + 0.5);
    EXPECT_DOUBLE_EQ(after->startTime(), 11.5);

    // A neighbour that is gone reads as none.
    clip->setAfterAnchoredObject(nullptr);
    {
        auto gone = makeModelObject<CompositionRectangularObject>(container());
        clip->setAfterAnchoredObject(gone);
    }
    EXPECT_FALSE(clip->afterAnchoredObject());
    clip->setStartTime(clip->startTime() + 1.0);
}

TEST_F(RecordingTrackTest, KeyframesFollowTheTrimWindowByStretchMode) {
    struct Case {
        StretchMode mode;
        bool movesStart;
        std::vector<double> expected;
    };
    // Keyframes at 0.5, 1.5 and 3.5 in a window 0 … 4, which becomes 1 … 4 or 0 … 3.
    const Case cases[] = {
        {StretchMode::Scale, true, {1.375, 2.125, 3.625}},
        {StretchMode::ShiftSecondHalf, true, {1.5, 2.5, 3.5}},
        {StretchMode::Keep, true, {0.5, 1.5, 3.5}},
        {StretchMode::Scale, false, {0.375, 1.125, 2.625}},
        {StretchMode::ShiftSecondHalf, false, {0.5, 1.5, 2.5}},
    };
    for (const Case& c : cases) {
        auto recording = track(package(std::nullopt));
        recording->setMovieStartTimeMovieEndTime(0, 4);
        recording->setStretchMode(c.mode);
        for (double t : {0.5, 1.5, 3.5}) {
            auto state = recording->createNewStateForTime(t);
            recording->addNewState(state);
        }
        if (c.movesStart)
            recording->setMovieStartTime(1.0);
        else
            recording->setMovieEndTime(3.0);
        std::vector<double> times;
        for (const auto& state : recording->states())
            times.push_back(state->time());
        ASSERT_EQ(times.size(), c.expected.size());
        for (std::size_t i = 0; i < times.size(); ++i)
            EXPECT_NEAR(times[i], c.expected[i], 1e-9)
                << static_cast<int>(c.mode) << " " << c.movesStart << " " << i;
    }
}

TEST_F(RecordingTrackTest, ClicksAreShownInsideTheSpansTheKeyframesSwitchOn) {
    struct Keyframe {
        double time;
        bool events;
    };
    struct Case {
        const char* what;
        bool animated;
        bool onAtStart;
        std::vector<Keyframe> keyframes;
        std::vector<double> shown;
    };
    const Case cases[] = {
        {"unanimated, on", false, true, {}, {1.0, 1.3, 2.0}},
        {"unanimated, off", false, false, {}, {}},
        {"no keyframes, on at the start", true, true, {}, {1.0, 1.3, 2.0}},
        {"a keyframe at 0 switches off", true, true, {{0.0, false}}, {}},
        // Before the first keyframe its switch holds.
        {"off at 1.2, on again at 1.9", true, true, {{1.2, false}, {1.9, true}}, {2.0}},
        {"on at 1.25", true, false, {{1.25, true}}, {1.0, 1.3, 2.0}},
        {"on at 0.9, off at 1.25, on at 1.5",
         true,
         false,
         {{0.9, true}, {1.25, false}, {1.5, true}},
         {1.0, 2.0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto recording = track(package(recordedMouseFile()));
        recording->setVisualizesMouseEvents(c.onAtStart, recording->startTime());
        if (c.animated) recording->enableAnimations();
        for (const Keyframe& k : c.keyframes) {
            auto state =
                std::static_pointer_cast<CompositionTrackState>(recording->createNewStateForTime(k.time));
            state->setVisualizesMouseEvents(k.events);
            recording->addNewState(state);
        }
        std::vector<double> shown;
        for (const MouseClickEntry& click : recording->mouseEventsToVisualize()->entries())
            shown.push_back(click.time);
        EXPECT_EQ(shown, c.shown);
    }
}

TEST_F(RecordingTrackTest, TrimWindowSwitchesAndAnchorsUndo) {
    auto recording = track(package(recordedMouseFile()));
    auto other = track(package(std::nullopt));
    endPass();
    test::UndoRoundTrip roundTrip(*document_.undoManager(), document_.objectsContainer());
    roundTrip.check("movie start", [&] { recording->setMovieStartTime(0.5); });
    roundTrip.check("movie end", [&] { recording->setMovieEndTime(2.0); });
    roundTrip.check("click sounds", [&] { recording->setAudiblizesMouseClicks(true); });
    roundTrip.check("anchor", [&] { recording->setAfterAnchoredObject(other); });
    roundTrip.check("click switch",
                    [&] { recording->setVisualizesMouseEvents(false, recording->startTime()); });
}

TEST_F(RecordingTrackTest, AnArchivedContainerBringsTheTrackBack) {
    auto recording = track(package(recordedMouseFile()));
    auto neighbour = track(package(std::nullopt));
    recording->setMovieStartTimeMovieEndTime(0.5, 3.0);
    recording->setAudiblizesMouseClicks(true);
    recording->setBeforeAnchoredObject(neighbour);
    recording->setRecordMouseVisualization(makeModelObject<MouseVisualization>());

    auto bytes = KeyedArchiver::archivedData(document_.objectsContainer());
    ASSERT_TRUE(bytes) << bytes.error();
    auto read = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes.value());
    ASSERT_TRUE(read) << read.error();
    std::shared_ptr<CompositionVistrelTrack> decoded;
    for (const auto& object : read.value()->objects()) {
        auto candidate = std::dynamic_pointer_cast<CompositionVistrelTrack>(object);
        if (candidate && candidate->beforeAnchoredObject()) decoded = candidate;
    }
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->loadResources());
    EXPECT_EQ(decoded->movieStartTime(), 0.5);
    EXPECT_EQ(decoded->movieEndTime(), 3.0);
    EXPECT_TRUE(decoded->audiblizesMouseClicks());
    EXPECT_TRUE(decoded->recordMouseVisualization());
    ASSERT_TRUE(decoded->mouseVisualizationStyle());
    EXPECT_EQ(decoded->mouseVisualizationStyle()->uid, recording->mouseVisualizationStyle()->uid);
    EXPECT_EQ(decoded->mouseClicks()->size(), 3u);
    EXPECT_EQ(decoded->mediaPathForSerialization(), recording->mediaPathForSerialization());

    // Copies carry no anchors.
    recording->setSerializationMode(SerializationMode::Copy);
    auto copied = KeyedArchiver::archivedData(recording);
    recording->setSerializationMode(SerializationMode::Full);
    auto copy = KeyedUnarchiver::unarchive<CompositionVistrelTrack>(copied.value());
    ASSERT_TRUE(copy) << copy.error();
    EXPECT_FALSE(copy.value()->beforeAnchoredObject());
}

TEST_F(RecordingTrackTest, ACopySharesTheEntryAndCountsOnce) {
    auto recording = track(package(recordedMouseFile()));
    const auto entry = recording->mediaEntry();
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->usageCounter(), 1u);
    recording->setMovieStartTimeMovieEndTime(0.5, 2.5);
    recording->setAudiblizesMouseClicks(true);

    auto copy = std::dynamic_pointer_cast<CompositionVistrelTrack>(recording->copy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->mediaEntry(), entry);
    EXPECT_NE(copy->movie(), recording->movie());
    EXPECT_EQ(entry->usageCounter(), 2u) << "one use per attached movie";
    EXPECT_EQ(copy->movieStartTime(), 0.5);
    EXPECT_EQ(copy->movieEndTime(), 2.5);
    EXPECT_TRUE(copy->audiblizesMouseClicks());
    EXPECT_EQ(copy->mouseClicks(), recording->mouseClicks()) << "the prepared lists are shared";
    EXPECT_EQ(copy->mouseVisualizationStyle(), recording->mouseVisualizationStyle());

    copy->prepareForDeletion();
    EXPECT_EQ(entry->usageCounter(), 1u);
    copy->awakeAfterUndelete();
    EXPECT_EQ(entry->usageCounter(), 2u);
    copy->prepareForDeletion();
    recording->prepareForDeletion();
    EXPECT_EQ(entry->usageCounter(), 0u);
    EXPECT_FALSE(media_.isRegistered(entry.get()));
}

TEST_F(RecordingTrackTest, AStillImageIsTheReadersFrame) {
    auto recording = track(package(std::nullopt));
    auto reader = recording->underlyingRecording();
    auto decoder = reader->makeDecompressionInfo();
    ASSERT_TRUE(decoder) << decoder.error();
    for (double t : {0.0, 1.3, 2.9, 100.0}) {
        BitmapImage still = recording->movie()->imageAtTime(t);
        ASSERT_FALSE(still.isEmpty()) << t;
        EXPECT_EQ(still.width(), reader->width());
        const std::int64_t index = reader->indexOfTime(t);
        (*decoder)->decompressFrame(static_cast<std::uint64_t>(index));
        const std::vector<std::uint8_t> expected = (*decoder)->frameBytes();
        ASSERT_EQ(expected.size(), still.byteCount());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), still.data())) << t;
    }
    (*decoder)->release();
    EXPECT_TRUE(recording->movie()->createImageAtTime(1.0, nullptr).isEmpty()) << "no renderer, no picture";
}

TEST_F(RecordingTrackTest, TheUnanimatedFrameFitsTheRecordingIntoTheCanvas) {
    struct Case {
        std::uint32_t width, height;
        Size canvas;
        Rect expected;
    };
    const Case cases[] = {
        {1920, 1080, Size{1280.0, 720.0}, Rect(0, 0, 1280, 720)},
        {800, 600, Size{1280.0, 720.0}, Rect(0, 0, 960, 720)},
    };
    for (const Case& c : cases) {
        auto recording = track(package(std::nullopt, PackageShape{c.width, c.height, 1.0f, 1.0}));
        container()->setCanvasSize(c.canvas);
        recording->setNoneAnimationStateFromTrackMatrix();
        auto state = std::static_pointer_cast<CompositionRectangularState>(recording->noneAnimationState());
        EXPECT_EQ(state->rect(), c.expected) << c.width;
        // A canvas without size leaves the frame as it is.
        container()->setCanvasSize(Size{0.0, 0.0});
        recording->setNoneAnimationStateFromTrackMatrix();
        EXPECT_EQ(state->rect(), c.expected);
        container()->setCanvasSize(Size{1280.0, 720.0});
    }
}

TEST_F(RecordingTrackTest, TriggeredStatesGetTheRecordedEvents) {
    auto recording = track(package(recordedMouseFile()));
    auto state = recording->addNewTriggeredStateAtGlobalTimes(0.5, 3.5);
    auto* event = dynamic_cast<CompositionEventTriggeredState*>(state.get());
    ASSERT_TRUE(event);
    EXPECT_EQ(event->relevantMouseEvents().size(), 3u);
    EXPECT_EQ(event->kind(), 0);
    EXPECT_FALSE(recording->triggeredStateCanBeDragged(*event, -1.0, 1.0, nullptr))
        << "before the visible part";

    auto silent = track(package(std::nullopt));
    auto other = dynamic_cast<CompositionEventTriggeredState*>(
        silent->addNewTriggeredStateAtGlobalTimes(0.5, 3.5).get());
    ASSERT_TRUE(other);
    EXPECT_EQ(other->kind(), 2) << "without clicks the state follows the focus";
}

TEST_F(RecordingTrackTest, CancellingWaitsForTheExtractionToLetGo) {
    auto recording = track(package(std::nullopt));
    std::atomic<bool> started{false};
    std::thread extraction([&] {
        CompositionTrackObject::ExtractionScope scope(recording);
        started = true;
        while (recording->extractionOK())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    while (!started)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(CompositionTrackObject::currentlyExtractingTrack(), recording);
    recording->cancelExtraction();
    EXPECT_FALSE(CompositionTrackObject::currentlyExtractingTrack());
    extraction.join();
}

} // namespace
} // namespace vtl
