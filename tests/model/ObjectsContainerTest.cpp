#include "model/CompositionChapterMark.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "model/SharedMediaManager.h"
#include "model/TransitionCapability.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "support/ModelFixture.h"
#include "support/UndoRoundTrip.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace vtl {
namespace {

using test::ModelFixture;
using test::UndoRoundTrip;

// A transition between two clips: it lies on a track but is stepped over as a neighbour.
class TestTransition : public CompositionRectangularObject, public TransitionCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    TransitionCapability* transitionCapability() override { return this; }
    double transitionStartTime() const override { return 0; }
    double transitionEndTime() const override { return 0; }
    double transitionStartTimeInGlobalTime() const override { return startTime(); }
    double transitionEndTimeInGlobalTime() const override { return endTime(); }
    double earliestGlobalEndTime() const override { return startTime(); }
    double latestGlobalStartTime() const override { return endTime(); }
    void setupTimes() override {}
};

// A clip with a fixed frame on the canvas that records how it was aligned.
class AlignableObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Rect enclosingRectAtTime(double, RotationHandling) const override { return frame; }
    void alignWithValueAtTime(ArrangeCriterion criterion, double value, double) override {
        alignedCriterion = criterion;
        alignedValue = value;
    }
    Rect frame;
    std::optional<ArrangeCriterion> alignedCriterion;
    double alignedValue = 0;
};

class ObjectsContainer : public ModelFixture {
protected:
    std::shared_ptr<CompositionObjectsContainer> root() { return document.objectsContainer(); }

    // An object placed on the given track without the free-track search.
    std::shared_ptr<CompositionRectangularObject> addOnTrack(double start, double end, int32_t track) {
        auto object = makeObject(start, end);
        object->setContainerTrack(container()->trackByNumber(track));
        container()->addObjectAndAssignFreeTrackID(object, TrackAssignment::KeepTrack);
        return object;
    }

    int32_t trackOf(const CompositionBaseObject& object) const {
        return object.containerTrack()->trackNumber();
    }
};

TEST_F(ObjectsContainer, TrimmingKeepsTwoEmptyTracksAboveTheHighestUsedOne) {
    struct Case {
        const char* what;
        int32_t tracks;
        int32_t usedTrack; // −1: no object
        std::size_t expected;
    };
    const Case cases[] = {
        {"object on track 5 of 12", 12, 5, 8},
        {"empty container of 6", 6, -1, 3},
        {"never adds tracks", 2, -1, 2},
        {"object on track 0", 5, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompositionDocument fresh;
        auto& target = *fresh.objectsContainer();
        target.increaseNumberOfTracksTo(c.tracks);
        if (c.usedTrack >= 0) {
            auto object = makeModelObject<CompositionRectangularObject>(&target);
            object->setStartTimeEndTime(0, 1);
            object->setContainerTrack(target.trackByNumber(c.usedTrack));
            target.insertObjectInObjectsAtIndex(object, 0);
        }
        target.increaseNumberOfTracksTo(c.tracks);
        target.recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
        EXPECT_EQ(target.countOfTracks(), c.expected);
        EXPECT_EQ(target.maxTrackID(), static_cast<int32_t>(c.expected));
        for (std::size_t i = 0; i < target.countOfTracks(); ++i)
            EXPECT_EQ(target.tracks()[i]->trackNumber(), static_cast<int32_t>(i));
    }
}

TEST_F(ObjectsContainer, AddingFindsTheLowestFreeTrack) {
    auto first = makeObject(0, 10);
    EXPECT_TRUE(container()->addObject(first)) << "the first object takes the new track 0";
    EXPECT_TRUE(container()->addObject(first)) << "an object already present answers YES";
    EXPECT_EQ(container()->countOfObjects(), 1u);

    auto later = makeObject(20, 30);
    EXPECT_FALSE(container()->addObject(later));
    EXPECT_EQ(trackOf(*later), 0);

    auto overlapping = makeObject(5, 25);
    EXPECT_FALSE(container()->addObject(overlapping)) << "the empty track 1 above takes it";
    EXPECT_EQ(trackOf(*overlapping), 1);
    EXPECT_EQ(container()->cachedOnlyObjects().size(), 3u);
    EXPECT_EQ(container()->cachedOnlyObjects().back(), overlapping) << "sorted by track number";

    for (int32_t track = 2; track < static_cast<int32_t>(container()->countOfTracks()); ++track)
        addOnTrack(0, 30, track);
    const std::size_t tracksBefore = container()->countOfTracks();
    auto everywhere = makeObject(6, 7);
    EXPECT_TRUE(container()->addObject(everywhere)) << "overlapping on every track: one new top track";
    EXPECT_EQ(container()->countOfTracks(), tracksBefore + 1);
    EXPECT_EQ(trackOf(*everywhere), static_cast<int32_t>(tracksBefore));
}

TEST_F(ObjectsContainer, EveryListOperationIsUndoneToTheSameArchive) {
    auto a = addOnTrack(0, 10, 0);
    auto b = addOnTrack(12, 20, 0);
    auto c = addOnTrack(0, 5, 1);
    addKeyframe(*b, 2, 0.5f);
    settle();
    UndoRoundTrip roundTrip(undoManager(), root());
    roundTrip.check("add on a free track", [&] { container()->addObject(makeObject(3, 8)); });
    roundTrip.check("add a group on one track", [&] {
        container()->addObjectsOnNextFreeTrack({makeObject(1, 2), makeObject(3, 4)});
    });
    roundTrip.check("remove", [&] { container()->removeObject(c.get()); });
    roundTrip.check("split", [&] { container()->splitObjects({a, b}, 15); });
    roundTrip.check("move a track", [&] { container()->moveTrackID(0, 1, DuringDrag::No); });
    roundTrip.check("shift tracks up", [&] { container()->shiftTracks(0, 1, 1, DuringDrag::No); });
    roundTrip.check("insert an empty bottom track", [&] { container()->insertEmptyTrackAtop(); });
    roundTrip.check("disable a track", [&] { container()->toggleTrackDisabled(0); });
    roundTrip.check("lock a track", [&] { container()->toggleTrackLocked(1); });
    roundTrip.check("canvas size", [&] { container()->setCanvasSize({640, 480}); });
    roundTrip.check("background", [&] { container()->setBackgroundColor1(RGBAColor::device(1, 0, 0)); });
    roundTrip.check("global shadow", [&] { container()->setGlobalShadowAngle(45); });
    roundTrip.check("chapter mark created", [&] { container()->createChapterMarkAtTime(3); });
    roundTrip.check("chapter mark renamed", [&] { container()->chapterMarks().front()->setName("Intro"); });
    roundTrip.check("chapter mark removed",
                    [&] { container()->removeChapterMark(container()->chapterMarks().front()); });
    roundTrip.check("object to another track", [&] { a->setContainerTrack(container()->trackByNumber(2)); });
    a->addDependentTrack(b);
    roundTrip.check("separate dependent", [&] { container()->separateDependentTracksOfTrack(a); });
}

TEST_F(ObjectsContainer, UndoingAnOperationThatTrimmedTracksPutsTheClipBackOnItsTrack) {
    struct Case {
        const char* what;
        std::function<void(CompositionObjectsContainer&, CompositionBaseObject&)> operation;
    };
    const Case cases[] = {
        {"removal", [](CompositionObjectsContainer& target,
                       CompositionBaseObject& clip) { target.removeObject(&clip); }},
        {"move down", [](CompositionObjectsContainer& target,
                         CompositionBaseObject& clip) { clip.setContainerTrack(target.trackByNumber(0)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompositionDocument fresh;
        auto& target = *fresh.objectsContainer();
        auto place = [&](double start, double end, int32_t track) {
            auto object = makeModelObject<CompositionRectangularObject>(&target);
            object->setStartTimeEndTime(start, end);
            object->setContainerTrack(target.trackByNumber(track));
            target.addObjectAndAssignFreeTrackID(object, TrackAssignment::KeepTrack);
            return object;
        };
        place(0, 10, 0);
        auto clip = place(20, 30, 3);
        endPass();
        fresh.undoManager()->removeAllActions();
        ASSERT_EQ(target.countOfTracks(), 4u);

        UndoRoundTrip roundTrip(*fresh.undoManager(), fresh.objectsContainer());
        roundTrip.check(c.what, [&] { c.operation(target, *clip); });
        EXPECT_EQ(target.countOfTracks(), 3u) << "the operation trims the empty top track";
        fresh.undoManager()->undo();
        ASSERT_EQ(target.countOfTracks(), 4u);
        EXPECT_EQ(clip->containerTrack(), target.tracks()[3]);
        EXPECT_TRUE(target.tracks()[3]->containsClip(clip.get()));
        EXPECT_EQ(target.trackByNumber(3), target.tracks()[3]) << "no second track 3";
        EXPECT_EQ(target.countOfTracks(), 4u);
    }
}

TEST_F(ObjectsContainer, SplittingKeepsKeyframesAtTheirCompositionTimes) {
    auto object = addOnTrack(10, 20, 0);
    object->enableAnimations();
    addKeyframe(*object, 1, 0.2f);
    addKeyframe(*object, 8, 0.8f);
    ObjectList parts = container()->splitObjects({object}, 15);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], object);
    const auto& second = parts[1];
    EXPECT_DOUBLE_EQ(object->endTime(), 15);
    EXPECT_DOUBLE_EQ(second->startTime(), 15);
    EXPECT_DOUBLE_EQ(second->endTime(), 20);
    EXPECT_EQ(second->containerTrack(), object->containerTrack());
    ASSERT_EQ(second->countOfStates(), 2u);
    EXPECT_DOUBLE_EQ(second->startTime() + second->objectInStatesAtIndex(1)->time(), 18);
    EXPECT_EQ(second->stretchMode(), object->stretchMode());

    EXPECT_TRUE(container()->splitObjects({object}, 30).empty()) << "outside the object nothing is split";
}

TEST_F(ObjectsContainer, TrackNeighboursSkipTransitions) {
    auto first = addOnTrack(0, 5, 0);
    auto transition = makeModelObject<TestTransition>(container());
    transition->setStartTimeEndTime(5, 6);
    transition->setContainerTrack(container()->trackByNumber(0));
    container()->addObjectAndAssignFreeTrackID(transition, TrackAssignment::KeepTrack);
    auto second = addOnTrack(6, 9, 0);
    const auto& track = *container()->trackByNumber(0);
    EXPECT_EQ(track.timeToNextObject(*first), 0.0) << "touching clips";
    EXPECT_EQ(track.timeToNextObject(*second), -1.0);
    EXPECT_EQ(track.timeToPreviousObject(*first), -1.0);
    EXPECT_EQ(track.previousObject(*second), first);
    EXPECT_EQ(track.nextObject(*first), second);
    EXPECT_EQ(container()->transitions().size(), 1u);
    EXPECT_EQ(container()->cachedOnlyObjects().size(), 2u);
    EXPECT_DOUBLE_EQ(container()->earliestTimeOnSameTrackForObject(*second), 6);
    EXPECT_DOUBLE_EQ(container()->earliestTimeOnSameTrackForObject(*first), 0);
}

TEST_F(ObjectsContainer, TrackMovesAndShifts) {
    auto low = addOnTrack(0, 5, 0);
    auto high = addOnTrack(0, 5, 2);
    container()->moveTrackID(0, 2, DuringDrag::No);
    EXPECT_EQ(trackOf(*low), 2);
    EXPECT_EQ(trackOf(*high), 1);
    for (std::size_t i = 0; i < container()->countOfTracks(); ++i)
        EXPECT_EQ(container()->tracks()[i]->trackNumber(), static_cast<int32_t>(i));

    auto blocker = addOnTrack(6, 9, 2);
    low->setEndTime(7); // now overlaps the next clip on its track
    container()->shiftObjectToOtherTrackIfNecessary(low);
    EXPECT_EQ(trackOf(*low), 3) << "climbs to the first track above that takes it";
    EXPECT_EQ(trackOf(*blocker), 2);
}

TEST_F(ObjectsContainer, RefreshesAfterUndoAreCoalesced) {
    struct CountingDocument : CompositionDocument {
        void updateSequencerView() override { ++refreshes; }
        int refreshes = 0;
    } counting;
    auto& target = *counting.objectsContainer();
    endPass();
    counting.refreshes = 0;
    target.updateAfterUndo();
    target.updateAfterUndo();
    target.updateAfterUndo();
    EXPECT_TRUE(runMainLoopUntil([&] { return counting.refreshes > 0; }, 2));
    runMainLoopOnce(0.01);
    EXPECT_EQ(counting.refreshes, 1);
}

TEST_F(ObjectsContainer, TrackCountAndHeights) {
    int posted = 0;
    ScopedNotificationObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(kNumberOfTracksChangedNotification, container(),
                                                        [&](const Notification&) { ++posted; }));
    container()->increaseNumberOfTracksTo(3);
    posted = 0;
    container()->increaseNumberOfTracksTo(2);
    EXPECT_EQ(container()->countOfTracks(), 3u);
    EXPECT_EQ(posted, 1) << "a count not above the current one still posts";
    EXPECT_FLOAT_EQ(container()->tracks()[2]->accumulatedHeightBelow(), 3 * 106.0f);
    EXPECT_EQ(container()->trackByNumber(-1), nullptr);
    EXPECT_EQ(container()->trackByNumber(7, TrackCreation::Never), nullptr);
    EXPECT_FALSE(container()->trackIsDisabled(9));
    container()->setTrackDisabled(9, true); // ignored past the count
    container()->setTrackDisabled(1, true);
    EXPECT_EQ(container()->disabledTracks().size(), 1u);
}

TEST_F(ObjectsContainer, OffscreenContainersRegisterNoUndo) {
    settle();
    container()->setIsOffscreen(true);
    container()->increaseNumberOfTracksTo(4);
    auto object = makeObject(0, 1);
    container()->addObject(object);
    object->setName("Offscreen");
    container()->setCanvasSize({10, 10});
    endPass();
    EXPECT_EQ(undoManager().undoStepCount(), 0u);
}

TEST_F(ObjectsContainer, TimeExtents) {
    addOnTrack(2, 5, 0);
    addOnTrack(3, 9, 1);
    EXPECT_EQ(container()->minimumTime(), 0) << "never above 0";
    EXPECT_EQ(container()->maximumTime(), 9);
    container()->moveAllObjectsBeginningAfter(2.995, 1);
    EXPECT_EQ(container()->objects()[0]->startTime(), 2);
    EXPECT_EQ(container()->objects()[1]->startTime(), 4);
}

TEST_F(ObjectsContainer, ArrangingAlignsAndDistributes) {
    auto make = [&](Rect frame) {
        auto object = makeModelObject<AlignableObject>(container());
        object->frame = frame;
        return object;
    };
    auto single = make({100, 100, 200, 100});
    container()->arrangeObjects({single}, 0, ArrangeCriterion::HorizontalCentres);
    EXPECT_DOUBLE_EQ(single->alignedValue, 640) << "one object centres on the canvas";

    auto a = make({0, 0, 20, 20}), b = make({500, 0, 40, 20}), c = make({100, 0, 20, 20});
    container()->arrangeObjects({a, b, c}, 0, ArrangeCriterion::DistributeHorizontally);
    // Centres of the first (10) and last (520) stay; the middle one gets the step between them.
    EXPECT_DOUBLE_EQ(a->alignedValue, 10);
    EXPECT_DOUBLE_EQ(c->alignedValue, 265);
    EXPECT_DOUBLE_EQ(b->alignedValue, 520);

    single->alignedCriterion.reset();
    container()->arrangeObjects({single}, 0, ArrangeCriterion::DistributeVertically);
    EXPECT_FALSE(single->alignedCriterion) << "distributing one object does nothing";
}

TEST_F(ObjectsContainer, ChapterMarks) {
    int posted = 0;
    ScopedNotificationObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver(kChapterMarksChangedNotification, &document,
                                                        [&](const Notification&) { ++posted; }));
    settle();
    auto mark = container()->createChapterMarkAtTime(4);
    EXPECT_EQ(mark->name(), "New Chapter");
    for (double refused : {-1.0, std::nan("")}) {
        mark->setTime(refused);
        EXPECT_EQ(mark->time(), 4) << refused << " is ignored";
    }
    mark->setTime(0);
    EXPECT_EQ(mark->time(), 0);
    endPass();
    posted = 0;
    undoManager().undo();
    EXPECT_FALSE(container()->hasChapterMarks());
    undoManager().redo();
    ASSERT_TRUE(container()->hasChapterMarks());
    EXPECT_EQ(container()->chapterMarks().front(), mark) << "redo brings the same mark back";
    EXPECT_GE(posted, 2);

    auto twin = container()->createChapterMarkAtTime(0);
    EXPECT_EQ(container()->chronologicallySortedChapterMarks().size(), 2u)
        << "marks at the same time both stay";

    // A damaged document's times that cannot be sorted start at 0.
    struct MarkWriter : Archivable {
        explicit MarkWriter(float time)
            : time(time) {}
        std::string archivedClassName() const override { return "CompositionChapterMark"; }
        void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeFloat("time", time); }
        void initWithCoder(KeyedUnarchiver&) override {}
        float time;
    };
    for (float stored : {-2.0f, std::nanf(""), 1.5f}) {
        auto decoded = KeyedUnarchiver::unarchive<CompositionChapterMark>(
            test::archiveOf(std::make_shared<MarkWriter>(stored)));
        ASSERT_TRUE(decoded.ok()) << decoded.error();
        EXPECT_EQ(decoded.value()->time(), stored > 0 ? stored : 0.0f) << stored;
    }
}

TEST_F(ObjectsContainer, ArchiveRoundTripOfAFullContainer) {
    auto a = addOnTrack(0, 10, 0);
    a->setName("Clip");
    a->enableAnimations();
    addKeyframe(*a, 2, 0.5f);
    a->setVistrelLanguage(VistrelLanguage::languageWithLanguageScript(2));
    auto keyframe = a->objectInStatesAtIndex(0);
    keyframe->addEffect(EffectEntry{{"name", PropertyList(std::string("CIBloom"))}});
    keyframe->setEmptyEffectValuesForEffectNamed("CIBloom");
    keyframe->setFloatForEffectNamed(0.25f, "CIBloom", "inputIntensity");
    auto zoom = makeModelObject<CompositionEventTriggeredState>(1, 4);
    zoom->setZoomTime(0.75);
    a->addTriggeredState(zoom);
    auto b = addOnTrack(3, 8, 1);
    container()->trackByNumber(1)->setDisabled(true);
    container()->createChapterMarkAtTime(1.0 / 3.0)->setName("Third");
    container()->mutableMetaData().set("author", PropertyList(std::string("Ann")));
    container()->setGlobalShadowRadius(9);
    container()->setCanvasSize({800, 600});

    // The document keeps its media entries beside the container.
    SharedMediaManager media(std::filesystem::temp_directory_path() / "unused-temporary-resources");
    auto recording = media.entryForResourceWithFileSystemPath("/rec/capture.vtlrec", &document,
                                                              SharedMediaManager::ResourceCopy::None);
    media.entryForResourceWithRelativePath("vtldata", recording, &document)->addToUsageCounter(1);

    KeyedArchiver archiver;
    archiver.encodeObject("objects", ArchivedValue(root()));
    archiver.encodeArray("mediaEntries", media.entriesForDocument(&document));
    auto archived = archiver.finishEncoding();
    ASSERT_TRUE(archived.ok()) << archived.error();
    KeyedUnarchiver unarchiver;
    ASSERT_TRUE(unarchiver.open(archived.value()).ok());
    auto decodedContainer = unarchiver.decodeObjectOfClass<CompositionObjectsContainer>("objects");
    auto decodedEntries = unarchiver.decodeArrayOfObjects<CompositionMediaEntry>("mediaEntries");
    ASSERT_TRUE(unarchiver.finishDecoding().ok()) << unarchiver.error();
    ASSERT_NE(decodedContainer, nullptr);
    ASSERT_EQ(decodedEntries.size(), 2u);
    EXPECT_EQ(decodedEntries[1]->superEntry(), decodedEntries[0]);
    EXPECT_EQ(decodedEntries[0]->usageCounter(), 1u);

    const PlistBytes bytes = test::archiveOf(root());
    auto& copy = *decodedContainer;
    ASSERT_EQ(copy.countOfObjects(), 2u);
    ASSERT_EQ(copy.countOfTracks(), container()->countOfTracks());
    EXPECT_EQ(copy.objects()[0]->containerTrack(), copy.tracks()[0]);
    EXPECT_TRUE(copy.tracks()[0]->containsClip(copy.objects()[0].get()));
    EXPECT_TRUE(copy.tracks()[1]->isDisabled());
    EXPECT_FLOAT_EQ(copy.tracks()[1]->heightInSequencer(), 106.0f);
    EXPECT_EQ(copy.objects()[0]->languageScriptCode(), 2);
    EXPECT_EQ(copy.objects()[1]->languageScriptCode(), -1);
    const auto decodedKeyframe = copy.objects()[0]->objectInStatesAtIndex(0);
    EXPECT_TRUE(decodedKeyframe->hasEffectNamed("CIBloom"));
    EXPECT_FLOAT_EQ(decodedKeyframe->floatForEffectName("CIBloom", "inputIntensity"), 0.25f);
    ASSERT_EQ(copy.objects()[0]->countOfTriggeredStates(), 1u);
    auto decodedZoom =
        std::dynamic_pointer_cast<CompositionEventTriggeredState>(copy.objects()[0]->triggeredStates()[0]);
    ASSERT_NE(decodedZoom, nullptr);
    EXPECT_DOUBLE_EQ(decodedZoom->zoomTime(), 0.75);
    EXPECT_EQ(decodedZoom->object(), copy.objects()[0].get());
    ASSERT_EQ(copy.chapterMarks().size(), 1u);
    EXPECT_EQ(copy.chapterMarks()[0]->time(), static_cast<double>(static_cast<float>(1.0 / 3.0)));
    EXPECT_EQ(copy.chapterMarks()[0]->name(), "Third");
    EXPECT_EQ(*copy.metaData().find("author")->stringValue(), "Ann");
    EXPECT_FLOAT_EQ(copy.globalShadowRadius(), 9);
    EXPECT_EQ(copy.canvasSize().width, 800);
    EXPECT_EQ(copy.languageScript(), -1) << "a decoded container plays all languages";
    EXPECT_FALSE(copy.isInExport());
    copy.setDocument(&document);
    EXPECT_EQ(test::archiveOf(decodedContainer), bytes) << "the decoded container archives to the same bytes";
}

TEST_F(ObjectsContainer, DecodingWithoutNewerKeysFallsBackToDefaults) {
    KeyedArchiver archiver;
    // A container archive of an older version: objects and canvas only.
    class OlderContainer : public Archivable {
    public:
        std::string archivedClassName() const override { return "CompositionObjectsContainer"; }
        void encodeWithCoder(KeyedArchiver& coder) const override {
            coder.encodeObject("objects", ArchivedValue(ArchivedArray()));
            coder.encodeSize("canvasSize", {320, 200});
        }
        void initWithCoder(KeyedUnarchiver&) override {}
    };
    auto bytes = KeyedArchiver::archivedData(std::make_shared<OlderContainer>());
    ASSERT_TRUE(bytes.ok());
    auto decoded = KeyedUnarchiver::unarchive<CompositionObjectsContainer>(bytes.value());
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    const auto& copy = *decoded.value();
    EXPECT_FLOAT_EQ(copy.globalShadowAngle(), 135);
    EXPECT_FLOAT_EQ(copy.globalShadowOpacity(), 0.7f);
    EXPECT_FLOAT_EQ(copy.globalShadowDistance(), 5);
    EXPECT_FLOAT_EQ(copy.globalShadowRadius(), 5);
    EXPECT_EQ(copy.globalShadowColor().red, 0);
    EXPECT_EQ(copy.audioExtentScale(), 0);
    EXPECT_EQ(copy.countOfTracks(), 0u);
    EXPECT_FALSE(copy.hasChapterMarks());
}

TEST_F(ObjectsContainer, NamesOfCopies) {
    auto original = addOnTrack(0, 1, 0);
    original->setName("Title");
    EXPECT_EQ(container()->nameOfCopyForObject(*original), "Title copy");
    auto copy = original->copy();
    container()->addObjectAndAssignFreeTrackID(copy, TrackAssignment::KeepTrack);
    EXPECT_EQ(copy->name(), "Title copy");
    EXPECT_EQ(container()->nameOfCopyForObject(*original), "Title copy 2");
    EXPECT_EQ(container()->nameOfCopyForObject(*copy), "Title copy 2")
        << "a copy of a copy starts from the base";

    struct Case {
        const char* name;
        const char* base;
    };
    const Case cases[] = {
        {"Title", "Title"},
        {"Title copy", "Title"},
        {"Title copy 12", "Title"},
        {"Title copy x", "Title copy x"},
        {"Title copy 3b", "Title copy 3b"},
        {"Title copyist", "Title copyist"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(container()->originalObjectNameOfObjectNamed(c.name), c.base) << c.name;
}

TEST_F(ObjectsContainer, ExtractionInterruptIsIdempotent) {
    container()->interruptExtraction();
    container()->interruptExtraction();
    EXPECT_TRUE(container()->extractionInterrupted());
    EXPECT_FALSE(container()->extractionPlayMutex().try_lock());
    container()->resumeExtraction();
    container()->resumeExtraction();
    EXPECT_FALSE(container()->extractionInterrupted());
    ASSERT_TRUE(container()->extractionPlayMutex().try_lock());
    container()->extractionPlayMutex().unlock();
    container()->interruptExtraction(); // released by the container's teardown
}

} // namespace
} // namespace vtl
