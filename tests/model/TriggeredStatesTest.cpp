#include "model/CompositionEventTriggeredState.h"
#include "model/MediaTrackCapability.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "support/ModelFixture.h"
#include "support/UndoRoundTrip.h"

#include <gtest/gtest.h>

namespace vtl {
namespace {

// A media-like object that takes triggered states and has part of its movie cut away.
class TriggeredObject : public CompositionRectangularObject, public MediaTrackCapability {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    bool allowsAddingTriggeredStates() const override { return true; }
    double movieStartTime() const override { return 1.5; }
    const PlistArray& mouseLocationsArray() const override { return locations; }
    PlistArray locations;
};

PropertyList location(double time, double x, double y) {
    return PropertyList(
        PlistDictionary{{"time", PropertyList(time)}, {"point", PropertyList(stringFromPoint({x, y}))}});
}

class TriggeredStates : public test::ModelFixture {
protected:
    void SetUp() override {
        object = makeModelObject<TriggeredObject>(container());
        object->setStartTimeEndTime(100, 130);
        container()->addObject(object);
    }
    std::shared_ptr<CompositionBaseTriggeredState> add(double start, double end) {
        auto state = makeModelObject<CompositionBaseTriggeredState>(start, end);
        object->addTriggeredState(state);
        return state;
    }
    std::shared_ptr<TriggeredObject> object;
};

TEST_F(TriggeredStates, OrderAndLookupAtTheEdges) {
    auto first = add(5, 7.5);
    auto sameStart = add(5, 6);
    auto late = add(11.5, 13);
    auto near = add(10.8, 12);
    ASSERT_EQ(object->countOfTriggeredStates(), 4u);
    EXPECT_EQ(object->triggeredStates()[1], sameStart) << "a state with the same start goes after";
    EXPECT_EQ(object->triggeredStates()[2], near);

    auto around = object->triggeredStatesAtObjectTime(10);
    EXPECT_NE(std::find(around.begin(), around.end(), first), around.end());
    EXPECT_NE(std::find(around.begin(), around.end(), near), around.end());
    EXPECT_EQ(std::find(around.begin(), around.end(), late), around.end());
    EXPECT_EQ(object->triggeredStateAtObjectTime(7.5), first);
    EXPECT_EQ(object->triggeredStateAtObjectTime(9), nullptr);

    EXPECT_FALSE(object->wouldFitTriggeredStateAtObjectTime(7.5, 1)) << "touching an end does not fit";
    EXPECT_TRUE(object->wouldFitTriggeredStateAtObjectTime(8, 1));
    std::shared_ptr<CompositionBaseTriggeredState> inTheWay;
    EXPECT_TRUE(first->endCanBeDraggedToTime(10.8, &inTheWay)) << "a drag may touch";
    EXPECT_FALSE(near->canBeDraggedToTime(7, &inTheWay));
    EXPECT_EQ(inTheWay, first) << "dragging earlier reports the last blocking state";
}

TEST_F(TriggeredStates, AddingDraggingAndRemovingAreUndoable) {
    auto state = object->addNewTriggeredStateAtGlobalTimes(102, 104);
    ASSERT_NE(state, nullptr);
    EXPECT_DOUBLE_EQ(state->startTime(), 2);
    settle();
    test::UndoRoundTrip roundTrip(undoManager(), document.objectsContainer());
    roundTrip.check("add", [&] { object->addNewTriggeredStateAtGlobalTimes(110, 111); });
    roundTrip.check("drag", [&] { state->shiftStateBy(0.5); });
    roundTrip.check("end moved", [&] { state->setGlobalEndTime(108); });
    roundTrip.check("remove", [&] { object->removeTriggeredState(state.get()); });

    int invalidations = 0;
    ScopedNotificationObserver observer(
        NotificationCenter::defaultCenter(),
        NotificationCenter::defaultCenter().addObserver("objectChanged", nullptr,
                                                        [&](const Notification&) { ++invalidations; }));
    state->shiftStateBy(0);
    EXPECT_EQ(invalidations, 0) << "shifting by 0 invalidates nothing";
}

TEST_F(TriggeredStates, CopiesAndCrop) {
    auto event = makeModelObject<CompositionEventTriggeredState>(4, 6);
    event->setZoomTime(0.8);
    object->addTriggeredState(event);
    auto track = makeModelObject<CompositionTrackTriggeredState>(4, 6);
    object->addTriggeredState(track);
    EXPECT_DOUBLE_EQ(track->cropCorrectedStartTime(), 2.5);
    EXPECT_DOUBLE_EQ(track->cropCorrectedEndTime(), 4.5);

    auto copy = object->copy();
    ASSERT_EQ(copy->countOfTriggeredStates(), 2u);
    auto eventCopy = std::dynamic_pointer_cast<CompositionEventTriggeredState>(copy->triggeredStates()[0]);
    ASSERT_NE(eventCopy, nullptr);
    EXPECT_DOUBLE_EQ(eventCopy->zoomTime(), 0.8);
    EXPECT_EQ(eventCopy->object(), copy.get());
    EXPECT_NE(eventCopy, event);
}

TEST_F(TriggeredStates, ZoomTimeDefaultsWhenMissingFromAnArchive) {
    class OlderEventState : public Archivable {
    public:
        std::string archivedClassName() const override { return "CompositionEventTriggeredState"; }
        void encodeWithCoder(KeyedArchiver& coder) const override {
            coder.encodeDouble("startTime", 1);
            coder.encodeDouble("endTime", 3);
        }
        void initWithCoder(KeyedUnarchiver&) override {}
    };
    auto bytes = KeyedArchiver::archivedData(std::make_shared<OlderEventState>());
    ASSERT_TRUE(bytes.ok());
    auto decoded = KeyedUnarchiver::unarchive<CompositionEventTriggeredState>(bytes.value());
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_DOUBLE_EQ(decoded.value()->zoomTime(), 0.5);
    EXPECT_DOUBLE_EQ(decoded.value()->endTime(), 3);
}

TEST_F(TriggeredStates, QuickReentriesOfTheFocusAreMerged) {
    const std::string focus = stringFromRect({0, 0, 100, 100});
    auto withReentryAt = [](double reentryTime) {
        return PlistArray{location(0.5, 10, 10), location(1.0, 500, 500), location(reentryTime, 20, 20),
                          location(5, 300, 300)};
    };
    struct Case {
        const char* what;
        PlistArray locations;
        std::size_t expectedEntries;
    };
    const Case cases[] = {
        {"re-entering after 0.4 s drops the leave and the enter", withReentryAt(1.4), 2},
        {"re-entering after 1.2 s keeps leave and enter", withReentryAt(2.2), 4},
        {"pointer positions only after the state's end give none", {location(50, 10, 10)}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        object->locations = c.locations;
        auto state = makeModelObject<CompositionEventTriggeredState>(0, 10);
        object->addTriggeredState(state);
        state->setFocusEvents(
            {PropertyList(PlistDictionary{{"time", PropertyList(0.0)}, {"focusRect", PropertyList(focus)}})});
        const PlistArray& entries = state->mouseEnterLeaveFocusRectsEvents();
        ASSERT_EQ(entries.size(), c.expectedEntries);
        if (!entries.empty()) {
            EXPECT_EQ(entries.front().boolForKey("inside"), true);
        }
    }
}

} // namespace
} // namespace vtl
