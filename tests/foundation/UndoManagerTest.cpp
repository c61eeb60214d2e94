#include "platform/foundation/UndoManager.h"

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/KeyValueCodingTable.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObservableObject.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtl {
namespace {

// A value whose setter registers its own inverse, the way a model change does.
struct Value {
    UndoManager& undo;
    int value = 0;
    void set(int newValue) {
        int old = value;
        undo.registerUndo(this, [this, old] { set(old); });
        value = newValue;
    }
};

class UndoManagerTest : public ::testing::Test {
protected:
    void SetUp() override { runMainLoopOnce(); } // no pass left open by an earlier test
    UndoManager undo;
    Value a{undo};
    Value b{undo};
};

TEST_F(UndoManagerTest, RegistrationsOfOnePassFormOneStep) {
    a.set(1);
    b.set(2);
    EXPECT_EQ(undo.groupingLevel(), 1); // the pass's automatic group
    EXPECT_TRUE(undo.canUndo());
    runMainLoopOnce();
    EXPECT_EQ(undo.groupingLevel(), 0);
    a.set(3);
    runMainLoopOnce();
    EXPECT_EQ(undo.undoStepCount(), 2u);

    undo.undo();
    EXPECT_EQ(a.value, 1);
    undo.undo();
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 0);
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(b.value, 2);
    undo.redo();
    EXPECT_EQ(a.value, 3);
    EXPECT_FALSE(undo.canRedo());
}

TEST_F(UndoManagerTest, UndoClosesTheOpenPassGroupFirst) {
    a.set(5);
    a.set(6);
    undo.undo(); // same pass, nothing ended it yet
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(undo.groupingLevel(), 0);
    runMainLoopOnce();
    undo.redo();
    EXPECT_EQ(a.value, 6);
}

TEST_F(UndoManagerTest, ExplicitNestedGroupsFormOneStepThatOutlivesPasses) {
    undo.beginUndoGrouping();
    a.set(1);
    runMainLoopOnce(); // an explicit group stays open across passes
    undo.beginUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 2);
    b.set(2);
    undo.endUndoGrouping();
    a.set(3);
    undo.endUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 0);
    b.set(4); // its own step
    runMainLoopOnce();
    EXPECT_EQ(undo.undoStepCount(), 2u);
    undo.undo();
    EXPECT_EQ(b.value, 2);
    undo.undo();
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 0);
}

TEST_F(UndoManagerTest, ExplicitGroupInsideThePassJoinsThePassStep) {
    a.set(1);
    undo.beginUndoGrouping();
    b.set(2);
    undo.endUndoGrouping();
    runMainLoopOnce();
    EXPECT_EQ(undo.undoStepCount(), 1u);
}

TEST_F(UndoManagerTest, EmptyGroupsAndUnbalancedEndsLeaveNoStep) {
    undo.beginUndoGrouping();
    undo.endUndoGrouping();
    auto previous = setLogSink([](std::string_view) {});
    int failures = assertionFailureCount();
    undo.endUndoGrouping();
    undo.enableUndoRegistration();
    setLogSink(previous);
    EXPECT_EQ(assertionFailureCount() - failures, 2);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
}

TEST_F(UndoManagerTest, WithoutGroupingByEventEachRegistrationIsAStep) {
    undo.setGroupsByEvent(false);
    a.set(1);
    a.set(2);
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_EQ(undo.undoStepCount(), 2u);
}

TEST_F(UndoManagerTest, LevelsOfUndoKeepTheNewestSteps) {
    undo.setLevelsOfUndo(2);
    for (int v : {1, 2, 3}) {
        a.set(v);
        runMainLoopOnce();
    }
    EXPECT_EQ(undo.undoStepCount(), 2u);
    undo.undo();
    undo.undo();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(a.value, 1);
    undo.setLevelsOfUndo(1);
    EXPECT_EQ(undo.redoStepCount(), 1u);
    undo.redo();
    EXPECT_EQ(a.value, 2);
}

TEST_F(UndoManagerTest, DisablingIsCountedAndDropsRegistrations) {
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    a.set(1);
    undo.enableUndoRegistration();
    a.set(2);
    EXPECT_FALSE(undo.isUndoRegistrationEnabled());
    undo.enableUndoRegistration();
    runMainLoopOnce();
    EXPECT_FALSE(undo.canUndo()); // nothing made up for later
    a.set(3);
    runMainLoopOnce();
    undo.undo();
    EXPECT_EQ(a.value, 2);
}

TEST_F(UndoManagerTest, NewChangeClearsRedoButChangesMadeByUndoAndRedoDoNot) {
    a.set(1);
    runMainLoopOnce();
    a.set(2);
    runMainLoopOnce();
    undo.undo();
    undo.undo();
    EXPECT_EQ(undo.redoStepCount(), 2u);
    undo.redo(); // registers an undo step, keeps the other redo step
    EXPECT_EQ(undo.redoStepCount(), 1u);
    EXPECT_EQ(undo.undoStepCount(), 1u);
    b.set(7);
    EXPECT_FALSE(undo.canRedo());
}

TEST_F(UndoManagerTest, ActionNamesFollowTheirSteps) {
    a.set(1);
    undo.setActionName("Move");
    EXPECT_EQ(undo.undoActionName(), "Move");
    runMainLoopOnce();
    b.set(2);
    runMainLoopOnce();
    undo.setActionName("Resize"); // names the last closed step
    EXPECT_EQ(undo.undoActionName(), "Resize");
    undo.undo();
    EXPECT_EQ(undo.redoActionName(), "Resize");
    EXPECT_EQ(undo.undoActionName(), "Move");
    undo.redo();
    EXPECT_EQ(undo.undoActionName(), "Resize");
    EXPECT_EQ(undo.redoActionName(), "");
}

TEST_F(UndoManagerTest, RemoveAllActionsForOneTarget) {
    a.set(1);
    b.set(1);
    runMainLoopOnce();
    b.set(2);
    runMainLoopOnce();
    undo.removeAllActions(&b);
    EXPECT_EQ(undo.undoStepCount(), 1u); // b's own step went away
    undo.undo();
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 2);
    a.set(4);
    undo.removeAllActions();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.groupingLevel(), 0);
}

// Removes its own actions when destroyed, as a model object does.
struct RemovesItsActions {
    UndoManager* undo;
    ~RemovesItsActions() { undo->removeAllActions(this); }
};

TEST_F(UndoManagerTest, ActionsReleasedByTheManagerMayCallBackIntoIt) {
    static const int marker = 0;
    struct Way {
        const char* name;
        std::function<void(UndoManager&)> drop;
        std::size_t stepsLeft;
    };
    const Way ways[] = {
        {"remove all", [](UndoManager& u) { u.removeAllActions(); }, 0},
        {"remove by target", [](UndoManager& u) { u.removeAllActions(&marker); }, 0},
        {"fewer levels", [](UndoManager& u) { u.setLevelsOfUndo(1); }, 1},
        {"new change clears redo",
         [](UndoManager& u) {
             u.undo();
             u.undo();
             u.undo();
             u.registerUndo(&marker, [] {});
         },
         1},
    };
    for (const Way& way : ways) {
        UndoManager manager;
        manager.setGroupsByEvent(false);
        for (int i = 0; i < 3; ++i) {
            auto held = std::make_shared<RemovesItsActions>(&manager);
            // Undoing registers the redo action, which holds the object in turn.
            manager.registerUndo(&marker, [held, &manager] { manager.registerUndo(&marker, [held] {}); });
        }
        way.drop(manager);
        EXPECT_EQ(manager.undoStepCount() + manager.redoStepCount(), way.stepsLeft) << way.name;
    }
}

TEST_F(UndoManagerTest, NotificationsAndStateAroundUndoAndRedo) {
    std::vector<std::string> seen;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    std::vector<NotificationCenter::Token> tokens;
    for (const char* name : {UndoManager::willUndoChangeNotification, UndoManager::didUndoChangeNotification,
                             UndoManager::willRedoChangeNotification, UndoManager::didRedoChangeNotification,
                             UndoManager::didCloseUndoGroupNotification})
        tokens.push_back(
            center.addObserver(name, &undo, [&seen, name](const Notification&) { seen.push_back(name); }));
    bool undoingSeen = false;
    undo.registerUndo(this, [&] { undoingSeen = undo.isUndoing() && !undo.isRedoing(); });
    runMainLoopOnce();
    undo.undo();
    for (auto token : tokens)
        center.removeObserver(token);
    EXPECT_TRUE(undoingSeen);
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_EQ(seen, (std::vector<std::string>{
                        UndoManager::didCloseUndoGroupNotification, UndoManager::willUndoChangeNotification,
                        UndoManager::didCloseUndoGroupNotification, UndoManager::didUndoChangeNotification}));
}

// The model's way: an object observes its own undoable keys and registers the inverse of each
// change; a to-many removal is undone by inserting the old element at its index.
class Track : public KeyValueCodingBase<Track, ObservableObject> {
public:
    explicit Track(UndoManager& undo)
        : undo_(undo) {
        for (const char* key : {"name", "clips"})
            addObserver(key, KeyValueObservingOptions::oldValue | KeyValueObservingOptions::newValue,
                        &context, [this](const KeyValueChange& c) { registerInverse(c); });
    }
    const std::string& name() const { return name_; }
    void setName(const std::string& name) { setObservedValue("name", name_, name); }
    std::size_t countOfClips() const { return clips_.size(); }
    std::string clipAt(std::size_t i) const { return clips_[i]; }
    void insertClip(const std::string& clip, std::size_t i) {
        willChange(KeyValueChangeKind::insertion, {i}, "clips");
        clips_.insert(clips_.begin() + static_cast<std::ptrdiff_t>(i), clip);
        didChange(KeyValueChangeKind::insertion, {i}, "clips");
    }
    void removeClip(std::size_t i) {
        willChange(KeyValueChangeKind::removal, {i}, "clips");
        clips_.erase(clips_.begin() + static_cast<std::ptrdiff_t>(i));
        didChange(KeyValueChangeKind::removal, {i}, "clips");
    }
    const std::vector<std::string>& clips() const { return clips_; }

    static const KeyValueCodingTable<Track>& keyValueTable() {
        static const auto t = KeyValueCodingTable<Track>()
                                  .property("name", &Track::name, &Track::setName)
                                  .toMany("clips", &Track::countOfClips, &Track::clipAt, &Track::insertClip,
                                          &Track::removeClip);
        return t;
    }

private:
    static inline const int context = 0;
    void registerInverse(const KeyValueChange& c) {
        std::string key = c.key;
        if (c.kind == KeyValueChangeKind::removal) {
            auto index = c.indexes.front();
            auto element = c.oldElements.front();
            undo_.registerUndo(this,
                               [this, key, index, element] { insertValueAtIndex(key, index, element); });
        } else if (c.kind == KeyValueChangeKind::insertion) {
            auto index = c.indexes.front();
            undo_.registerUndo(this, [this, key, index] { removeValueAtIndex(key, index); });
        } else {
            auto old = c.oldValue;
            undo_.registerUndo(this, [this, key, old] { setValueForKey(key, old); });
        }
    }

    UndoManager& undo_;
    std::string name_;
    std::vector<std::string> clips_;
};

TEST_F(UndoManagerTest, ObservedModelChangesUndoAndRedo) {
    Track track(undo);
    for (const char* clip : {"a", "b", "c", "d"})
        track.insertClip(clip, track.countOfClips());
    track.setName("Main");
    runMainLoopOnce();
    track.removeClip(2);
    runMainLoopOnce();
    undo.undo();
    EXPECT_EQ(track.clips(), (std::vector<std::string>{"a", "b", "c", "d"}));
    undo.redo();
    EXPECT_EQ(track.clips(), (std::vector<std::string>{"a", "b", "d"}));
    undo.undo();
    undo.undo(); // the first pass: four insertions and the name
    EXPECT_TRUE(track.clips().empty());
    EXPECT_EQ(track.name(), "");
    undo.redo();
    EXPECT_EQ(track.clips(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(track.name(), "Main");
}

} // namespace
} // namespace vtl
