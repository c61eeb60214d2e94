#include "platform/foundation/ObservableObject.h"

#include "platform/foundation/KeyValueCodingTable.h"
#include "platform/foundation/Log.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtl {
namespace {

// A small model object with a number, a string, an object reference and a to-many list.
class Clip : public KeyValueCodingBase<Clip, ObservableObject> {
public:
    double startTime() const { return startTime_; }
    void setStartTime(double value) { setObservedValue("startTime", startTime_, value); }
    double endTime() const { return endTime_; }
    void setEndTime(double value) { setObservedValue("endTime", endTime_, value); }
    void setStartAndEnd(double start, double end) {
        willChangeValueForKey("startTime");
        willChangeValueForKey("endTime");
        startTime_ = start;
        endTime_ = end;
        didChangeValueForKey("endTime");
        didChangeValueForKey("startTime");
    }
    const std::string& name() const { return name_; }
    void setName(const std::string& value) { setObservedValue("name", name_, value); }
    std::shared_ptr<Clip> owner() const { return owner_; }
    void setOwner(std::shared_ptr<Clip> value) { setObservedValue("owner", owner_, std::move(value)); }

    std::size_t countOfStates() const { return states_.size(); }
    int objectInStatesAtIndex(std::size_t index) const { return states_[index]; }
    void insertObjectInStatesAtIndex(int state, std::size_t index) {
        willChange(KeyValueChangeKind::insertion, {index}, "states");
        states_.insert(states_.begin() + static_cast<std::ptrdiff_t>(index), state);
        didChange(KeyValueChangeKind::insertion, {index}, "states");
    }
    void removeObjectFromStatesAtIndex(std::size_t index) {
        willChange(KeyValueChangeKind::removal, {index}, "states");
        states_.erase(states_.begin() + static_cast<std::ptrdiff_t>(index));
        didChange(KeyValueChangeKind::removal, {index}, "states");
    }
    void replaceObjectInStatesAtIndex(std::size_t index, int state) {
        willChange(KeyValueChangeKind::replacement, {index}, "states");
        states_[index] = state;
        didChange(KeyValueChangeKind::replacement, {index}, "states");
    }
    const std::vector<int>& states() const { return states_; }
    void setStates(const std::vector<int>& value) { setObservedValue("states", states_, value); }

    static const KeyValueCodingTable<Clip>& keyValueTable() {
        static const auto t =
            KeyValueCodingTable<Clip>()
                .property("startTime", &Clip::startTime, &Clip::setStartTime)
                .property("endTime", &Clip::endTime, &Clip::setEndTime)
                .property("name", &Clip::name, &Clip::setName)
                .property("owner", &Clip::owner, &Clip::setOwner)
                .property(
                    "duration", [](const Clip& c) { return c.endTime_ - c.startTime_; }, nullptr)
                .toMany("states", &Clip::countOfStates, &Clip::objectInStatesAtIndex,
                        &Clip::insertObjectInStatesAtIndex, &Clip::removeObjectFromStatesAtIndex,
                        &Clip::states, &Clip::setStates);
        return t;
    }

private:
    double startTime_ = 0, endTime_ = 0;
    std::string name_;
    std::shared_ptr<Clip> owner_;
    std::vector<int> states_;
};

// A subclass adds its own keys and keeps those of its base.
class Shape : public KeyValueCodingBase<Shape, Clip> {
public:
    int corners() const { return corners_; }
    void setCorners(int value) { setObservedValue("corners", corners_, value); }
    static const KeyValueCodingTable<Shape>& keyValueTable() {
        static const auto t =
            KeyValueCodingTable<Shape>().property("corners", &Shape::corners, &Shape::setCorners);
        return t;
    }

private:
    int corners_ = 4;
};

const KeyValueObservingOptions oldAndNew =
    KeyValueObservingOptions::oldValue | KeyValueObservingOptions::newValue;
const int contextMarker = 0;

TEST(ObservableObject, SettingReportsOldAndNewValuesAndTheContext) {
    Clip clip;
    std::vector<KeyValueChange> changes;
    clip.addObserver("startTime", oldAndNew, &contextMarker,
                     [&](const KeyValueChange& c) { changes.push_back(c); });
    clip.setStartTime(2.5);
    clip.setEndTime(9); // not observed
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, KeyValueChangeKind::setting);
    EXPECT_EQ(changes[0].key, "startTime");
    EXPECT_EQ(changes[0].object, &clip);
    EXPECT_EQ(changes[0].context, &contextMarker);
    EXPECT_FALSE(changes[0].isPrior);
    EXPECT_EQ(std::any_cast<double>(changes[0].oldValue), 0.0);
    EXPECT_EQ(std::any_cast<double>(changes[0].newValue), 2.5);
}

TEST(ObservableObject, OptionsDecideWhatIsDelivered) {
    Clip clip;
    clip.setName("before");
    std::vector<KeyValueChange> oldOnly, priorAndOld, initial;
    clip.addObserver("name", KeyValueObservingOptions::oldValue, nullptr,
                     [&](const KeyValueChange& c) { oldOnly.push_back(c); });
    clip.addObserver("name", KeyValueObservingOptions::oldValue | KeyValueObservingOptions::prior, nullptr,
                     [&](const KeyValueChange& c) {
                         // The prior notification comes while the field still holds the old value.
                         if (c.isPrior) {
                             EXPECT_EQ(clip.name(), "before");
                         }
                         priorAndOld.push_back(c);
                     });
    clip.addObserver("name", KeyValueObservingOptions::initial | KeyValueObservingOptions::newValue, nullptr,
                     [&](const KeyValueChange& c) { initial.push_back(c); });
    ASSERT_EQ(initial.size(), 1u); // at once, with the current value
    EXPECT_EQ(std::any_cast<std::string>(initial[0].newValue), "before");

    clip.setName("after");
    ASSERT_EQ(oldOnly.size(), 1u);
    EXPECT_EQ(std::any_cast<std::string>(oldOnly[0].oldValue), "before");
    EXPECT_FALSE(oldOnly[0].newValue.has_value());
    ASSERT_EQ(priorAndOld.size(), 2u);
    EXPECT_TRUE(priorAndOld[0].isPrior);
    EXPECT_FALSE(priorAndOld[1].isPrior);
    EXPECT_EQ(std::any_cast<std::string>(priorAndOld[1].oldValue), "before");
    ASSERT_EQ(initial.size(), 2u);
    EXPECT_EQ(std::any_cast<std::string>(initial[1].newValue), "after");
    EXPECT_FALSE(initial[1].oldValue.has_value());
}

TEST(ObservableObject, ToManyChangesReportKindIndexesAndElements) {
    Clip clip;
    for (int s : {10, 20, 30})
        clip.insertObjectInStatesAtIndex(s, clip.countOfStates());
    std::vector<KeyValueChange> changes;
    clip.addObserver("states", oldAndNew, nullptr, [&](const KeyValueChange& c) { changes.push_back(c); });

    clip.insertObjectInStatesAtIndex(15, 1);
    clip.removeObjectFromStatesAtIndex(2);
    clip.replaceObjectInStatesAtIndex(0, 11);
    clip.setStates({1, 2});
    ASSERT_EQ(changes.size(), 4u);

    struct Expected {
        KeyValueChangeKind kind;
        std::vector<std::size_t> indexes;
        std::vector<int> oldElements, newElements;
    };
    const Expected expected[] = {{KeyValueChangeKind::insertion, {1}, {}, {15}},
                                 {KeyValueChangeKind::removal, {2}, {20}, {}},
                                 {KeyValueChangeKind::replacement, {0}, {10}, {11}}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(changes[i].kind, expected[i].kind);
        EXPECT_EQ(changes[i].indexes, expected[i].indexes);
        std::vector<int> oldElements, newElements;
        for (auto& e : changes[i].oldElements)
            oldElements.push_back(std::any_cast<int>(e));
        for (auto& e : changes[i].newElements)
            newElements.push_back(std::any_cast<int>(e));
        EXPECT_EQ(oldElements, expected[i].oldElements);
        EXPECT_EQ(newElements, expected[i].newElements);
    }
    EXPECT_EQ(changes[3].kind, KeyValueChangeKind::setting);
    EXPECT_EQ(std::any_cast<std::vector<int>>(changes[3].oldValue), (std::vector<int>{11, 15, 30}));
    EXPECT_EQ(std::any_cast<std::vector<int>>(changes[3].newValue), (std::vector<int>{1, 2}));
}

TEST(ObservableObject, InverseChangesThroughKeyValueCodingRestoreTheObject) {
    // What an undo does: put back a removed element at its index, and an old value by key.
    Clip clip;
    for (int s : {1, 2, 3, 4})
        clip.insertObjectInStatesAtIndex(s, clip.countOfStates());
    auto owner = std::make_shared<Clip>();
    std::vector<KeyValueChange> changes;
    for (const char* key : {"states", "owner"})
        clip.addObserver(key, oldAndNew, nullptr, [&](const KeyValueChange& c) { changes.push_back(c); });

    clip.removeObjectFromStatesAtIndex(2);
    clip.setOwner(owner);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_TRUE(clip.setValueForKey("owner", changes[1].oldValue)); // null pointer back
    EXPECT_EQ(clip.owner(), nullptr);
    EXPECT_TRUE(clip.insertValueAtIndex("states", changes[0].indexes[0], changes[0].oldElements[0]));
    EXPECT_EQ(clip.states(), (std::vector<int>{1, 2, 3, 4}));
    ASSERT_EQ(changes.size(), 4u); // the inverse changes are observed like any other
    EXPECT_EQ(changes[3].kind, KeyValueChangeKind::insertion);
    EXPECT_TRUE(clip.removeValueAtIndex("states", 0));
    EXPECT_EQ(clip.countForKey("states"), 3u);
    EXPECT_EQ(std::any_cast<int>(clip.valueAtIndex("states", 0)), 2);
    EXPECT_TRUE(clip.setValueForKey("name", std::any())); // empty is the default value
    EXPECT_EQ(clip.name(), "");
}

TEST(ObservableObject, BadKeyValueCodingIsReportedAndChangesNothing) {
    Clip clip;
    clip.setStartTime(3);
    auto previous = setLogSink([](std::string_view) {});
    int failures = assertionFailureCount();
    EXPECT_FALSE(clip.setValueForKey("startTime", std::any(std::string("x"))));
    EXPECT_FALSE(clip.setValueForKey("noSuchKey", std::any(1.0)));
    EXPECT_FALSE(clip.setValueForKey("duration", std::any(1.0)));
    EXPECT_FALSE(clip.valueForKey("noSuchKey").has_value());
    EXPECT_FALSE(clip.insertValueAtIndex("states", 5, std::any(1)));
    EXPECT_FALSE(clip.insertValueAtIndex("states", 0, std::any(1.0)));
    EXPECT_FALSE(clip.removeValueAtIndex("states", 0));
    EXPECT_FALSE(clip.removeValueAtIndex("startTime", 0));
    setLogSink(previous);
    EXPECT_EQ(assertionFailureCount() - failures, 8);
    EXPECT_EQ(clip.startTime(), 3.0);
    EXPECT_TRUE(clip.states().empty());
    EXPECT_EQ(std::any_cast<double>(clip.valueForKey("duration")), -3.0);
}

TEST(ObservableObject, SubclassKeysComeFirstThenTheBaseClassKeys) {
    Shape shape;
    std::vector<std::string> keys;
    for (const char* key : {"corners", "startTime"})
        shape.addObserver(key, KeyValueObservingOptions::none, nullptr,
                          [&](const KeyValueChange& c) { keys.push_back(c.key); });
    EXPECT_TRUE(shape.setValueForKey("corners", std::any(6)));
    EXPECT_TRUE(shape.setValueForKey("startTime", std::any(2.0)));
    EXPECT_EQ(std::any_cast<int>(shape.valueForKey("corners")), 6);
    EXPECT_EQ(std::any_cast<double>(shape.valueForKey("startTime")), 2.0);
    EXPECT_TRUE(shape.insertValueAtIndex("states", 0, std::any(9)));
    EXPECT_EQ(shape.countForKey("states"), 1u);
    EXPECT_EQ(keys, (std::vector<std::string>{"corners", "startTime"}));
}

TEST(ObservableObject, NestedChangesOfTwoKeysKeepTheirOldValues) {
    Clip clip;
    clip.setStartAndEnd(1, 2);
    std::vector<std::string> order;
    std::vector<double> oldValues;
    for (const char* key : {"startTime", "endTime"})
        clip.addObserver(key, oldAndNew, nullptr, [&](const KeyValueChange& c) {
            order.push_back(c.key);
            oldValues.push_back(std::any_cast<double>(c.oldValue));
        });
    clip.setStartAndEnd(5, 8);
    EXPECT_EQ(order, (std::vector<std::string>{"endTime", "startTime"}));
    EXPECT_EQ(oldValues, (std::vector<double>{2, 1}));
}

TEST(ObservableObject, RemovalByTokenAndByContextIncludingDuringDelivery) {
    Clip clip;
    int first = 0, second = 0, third = 0;
    ObservableObject::Token secondToken = 0;
    clip.addObserver("startTime", KeyValueObservingOptions::none, nullptr, [&](const KeyValueChange&) {
        ++first;
        clip.removeObserver(secondToken);
    });
    secondToken = clip.addObserver("startTime", KeyValueObservingOptions::none, nullptr,
                                   [&](const KeyValueChange&) { ++second; });
    clip.addObserver("startTime", KeyValueObservingOptions::none, &contextMarker,
                     [&](const KeyValueChange&) { ++third; });
    clip.setStartTime(1);
    EXPECT_EQ(second, 0);
    clip.removeObservers("startTime", &contextMarker);
    clip.setStartTime(2);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(third, 1);
    EXPECT_TRUE(clip.hasObservers("startTime"));
    EXPECT_FALSE(clip.hasObservers("endTime"));
}

// Removes an observation when destroyed, as a controller captured by an observer does.
struct RemovesObservationWhenDestroyed {
    ObservableObject* object = nullptr;
    ObservableObject::Token token = 0;
    ~RemovesObservationWhenDestroyed() {
        if (object) object->removeObserver(token);
    }
};

TEST(ObservableObject, ReleasedObserverMayRemoveOtherObservations) {
    struct Way {
        const char* name;
        std::function<void(std::unique_ptr<Clip>&, ObservableObject::Token)> release;
    };
    const Way ways[] = {
        {"by token", [](auto& clip, ObservableObject::Token token) { clip->removeObserver(token); }},
        {"by context",
         [](auto& clip, ObservableObject::Token) { clip->removeObservers("startTime", &contextMarker); }},
        {"with the object", [](auto& clip, ObservableObject::Token) { clip.reset(); }},
    };
    for (const Way& way : ways) {
        auto clip = std::make_unique<Clip>();
        int calls = 0;
        auto holder = std::make_shared<RemovesObservationWhenDestroyed>();
        const auto first = clip->addObserver("startTime", KeyValueObservingOptions::none, &contextMarker,
                                             [holder](const KeyValueChange&) {});
        const auto second = clip->addObserver("startTime", KeyValueObservingOptions::none, nullptr,
                                              [&](const KeyValueChange&) { ++calls; });
        clip->addObserver("startTime", KeyValueObservingOptions::none, nullptr,
                          [&](const KeyValueChange&) { ++calls; });
        holder->object = clip.get();
        holder->token = second;
        holder.reset();
        way.release(clip, first);
        if (!clip) continue;
        clip->setStartTime(1);
        EXPECT_EQ(calls, 1) << way.name;
    }
}

TEST(ObservableObject, CopiesDoNotShareObservers) {
    Clip clip;
    int calls = 0;
    clip.addObserver("startTime", KeyValueObservingOptions::none, nullptr,
                     [&](const KeyValueChange&) { ++calls; });
    Clip copy = clip;
    copy.setStartTime(4);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(copy.startTime(), 0 + 4.0);
}

} // namespace
} // namespace vtl
