#include "editing/EditingState.h"

#include "model/CompositionChapterMark.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/support/ModelFixture.h"
#include "platform/foundation/Log.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>

namespace vtl {
namespace {

// Counts the change notifications of every observable key of the state.
class EditingStateTest : public test::ModelFixture {
protected:
    EditingStateTest() {
        for (const char* key : {"currentTime", "isPlaying", "selectedObjects", "selectedChaptermarks",
                                "selectedState", "selectedTriggeredState"})
            state.addObserver(key, KeyValueObservingOptions::none, nullptr,
                              [this, key](const KeyValueChange&) { ++posts[key]; });
    }
    int postsOf(const std::string& key) { return posts[key]; }
    int allPosts() {
        int sum = 0;
        for (const auto& [key, count] : posts)
            sum += count;
        return sum;
    }

    EditingState state;
    std::map<std::string, int> posts;
};

TEST_F(EditingStateTest, SettingTheTimeClampsAtZeroKeepsLateTimesAndRefusesNonFiniteOnes) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        double start;
        double set;
        double expected;
        int posts;
        bool refused;
    };
    const Case cases[] = {
        {"negative gives zero", 1, -3, 0, 1, false},
        {"a time inside", 0, 2.5, 2.5, 1, false},
        {"past the end is kept", 0, 1e9, 1e9, 1, false},
        {"the same value posts nothing", 2, 2, 2, 0, false},
        {"negative at zero posts nothing", 0, -1, 0, 0, false},
        {"not a number is refused", 2, nan, 2, 0, true},
        {"infinity is refused", 2, infinity, 2, 0, true},
        {"minus infinity is refused", 2, -infinity, 2, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state.setCurrentTime(c.start);
        posts.clear();
        const int assertionsBefore = assertionFailureCount();
        state.setCurrentTime(c.set);
        EXPECT_EQ(state.currentTime(), c.expected);
        EXPECT_EQ(postsOf("currentTime"), c.posts);
        EXPECT_EQ(assertionFailureCount() - assertionsBefore, c.refused ? 1 : 0);
        if (!c.refused) {
            EXPECT_EQ(state.previousTime(), c.start);
        }
    }
}

TEST_F(EditingStateTest, StepsStayWithinZeroAndTheDurationAndKeepThePreviousTime) {
    struct Case {
        const char* what;
        double start;
        double delta;
        double expected;
        int posts;
    };
    const Case cases[] = {
        {"a step forward", 1, 0.04, 1.04, 1},
        {"a step back", 1, -0.5, 0.5, 1},
        {"forward at the duration", 10, 0.04, 10, 0},
        {"back at zero", 0, -0.04, 0, 0},
        {"over the end", 9.99, 1, 10, 1},
        {"below zero", 0.01, -1, 0, 1},
        {"not a number", 5, std::numeric_limits<double>::quiet_NaN(), 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        state.setCurrentTime(3);
        state.setCurrentTime(c.start);
        posts.clear();
        state.addTimeInterval(c.delta, 10);
        EXPECT_DOUBLE_EQ(state.currentTime(), c.expected);
        EXPECT_EQ(postsOf("currentTime"), c.posts);
        EXPECT_EQ(state.previousTime(), 3) << "a step leaves the previous time alone";
    }
}

TEST_F(EditingStateTest, StoppingClampsToTheEndAndPlayingPostsOnlyChanges) {
    state.setMaxTime(8);
    state.setCurrentTime(9);
    state.clampCurrentTimeToMaxTime();
    EXPECT_EQ(state.currentTime(), 8);
    posts.clear();
    state.clampCurrentTimeToMaxTime();
    state.setIsPlaying(false);
    EXPECT_EQ(allPosts(), 0);
    state.setIsPlaying(true);
    state.setIsPlaying(true);
    EXPECT_EQ(postsOf("isPlaying"), 1);
}

TEST_F(EditingStateTest, SelectingObjectsKeepsEachOnceAndPostsOnlyChanges) {
    auto a = makeObject(0, 2);
    auto b = makeObject(1, 3);
    state.setSelectedObjects({a, b, a});
    EXPECT_EQ(state.selectedObjects(), (ObjectList{a, b}));
    EXPECT_EQ(postsOf("selectedObjects"), 1);
    state.setSelectedObjects({a, b});
    EXPECT_EQ(postsOf("selectedObjects"), 1) << "the same objects again";
    posts.clear();
    state.setSelectedObjects({});
    state.setSelectedObjects({});
    EXPECT_EQ(postsOf("selectedObjects"), 1);
    EXPECT_TRUE(state.selectedObjects().empty());
}

TEST_F(EditingStateTest, ChapterMarksAndStatesFollowTheSelectionRules) {
    auto object = makeObject(0, 4);
    container()->addObject(object);
    auto keyframe = addKeyframe(*object, 1);
    auto mark = container()->createChapterMarkAtTime(2);
    ASSERT_NE(mark, nullptr);

    // A keyframe selects its object and keeps the chapter marks.
    state.setSelectedChaptermarks({mark});
    state.setSelectedState(keyframe);
    EXPECT_EQ(state.selectedState(), keyframe);
    EXPECT_EQ(state.selectedObjects(), (ObjectList{object}));
    EXPECT_EQ(state.selectedChaptermarks(), (ChapterMarkList{mark}));

    // A chapter mark clears objects and states.
    state.setSelectedChaptermarks({});
    state.setSelectedState(keyframe);
    state.setSelectedChaptermarks({mark});
    EXPECT_TRUE(state.selectedObjects().empty());
    EXPECT_EQ(state.selectedState(), nullptr);
    EXPECT_EQ(state.selectedChaptermarks(), (ChapterMarkList{mark}));

    // A triggered state clears everything else, then selects its object.
    auto triggered = makeModelObject<CompositionEventTriggeredState>(0.5, 1.5);
    triggered->setObject(object.get());
    state.setSelectedTriggeredState(triggered);
    EXPECT_TRUE(state.selectedChaptermarks().empty());
    EXPECT_EQ(state.selectedTriggeredState(), triggered);
    EXPECT_EQ(state.selectedObjects(), (ObjectList{object}));

    posts.clear();
    state.deselectEverything();
    EXPECT_EQ(postsOf("selectedObjects"), 1);
    EXPECT_EQ(postsOf("selectedTriggeredState"), 1);
    EXPECT_EQ(postsOf("selectedChaptermarks"), 0) << "nothing to clear posts nothing";
}

TEST_F(EditingStateTest, ObjectsLeavingTheCompositionLeaveTheSelection) {
    auto a = makeObject(0, 2);
    auto b = makeObject(1, 3);
    state.setSelectedObjects({a});
    state.objectWillBeDeleted(a.get());
    EXPECT_TRUE(state.selectedObjects().empty()) << "deleting the only selected object";

    state.setSelectedObjects({a, b});
    posts.clear();
    state.objectWillBeDeleted(makeObject(5, 6).get());
    EXPECT_EQ(allPosts(), 0) << "an object that is not selected";
    state.keepSelectedObjectsAmong({b});
    EXPECT_EQ(state.selectedObjects(), (ObjectList{b}));
    state.keepSelectedObjectsAmong({a, b});
    EXPECT_EQ(postsOf("selectedObjects"), 1);
    state.objectWillBeDeleted(nullptr);
    EXPECT_TRUE(state.selectedObjects().empty()) << "without an object the selection empties";
}

TEST_F(EditingStateTest, KeyValueCodingReachesEveryKey) {
    auto a = makeObject(0, 2);
    EXPECT_TRUE(state.setValueForKey("currentTime", 4.0));
    EXPECT_TRUE(state.setValueForKey("selectedObjects", ObjectList{a}));
    EXPECT_EQ(std::any_cast<double>(state.valueForKey("currentTime")), 4.0);
    EXPECT_EQ(std::any_cast<ObjectList>(state.valueForKey("selectedObjects")), ObjectList{a});
    EXPECT_EQ(postsOf("currentTime"), 1);
    EXPECT_EQ(postsOf("selectedObjects"), 1);

    state.resetWithoutNotifying();
    EXPECT_EQ(state.currentTime(), 0);
    EXPECT_TRUE(state.selectedObjects().empty());
    EXPECT_EQ(postsOf("currentTime"), 1);
    EXPECT_EQ(postsOf("selectedObjects"), 1);
}

} // namespace
} // namespace vtl
