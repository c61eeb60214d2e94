// The lookups over recorded pointer metadata: the entry in effect, the closest entry, windows of
// wheel turns and clicks, focus neighbourhoods, smoothing and key names.

#include "tracks/metadata/RecordedMetadataLookups.h"

#include "platform/foundation/Log.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

RecordedMetadataList<MouseLocationEntry> positionList(std::initializer_list<double> times) {
    std::vector<MouseLocationEntry> entries;
    for (double t : times)
        entries.push_back({t, Point{t * 10, t * 100}});
    return RecordedMetadataList<MouseLocationEntry>(std::move(entries));
}

TEST(MetadataLookup, IndexOfTimeIsTheEntryInEffect) {
    struct Case {
        std::initializer_list<double> times;
        double t;
        std::int32_t index;
    };
    const Case cases[] = {
        {{}, 1.0, -1},
        {{2.0}, 0.0, 0}, // one entry applies before …
        {{2.0}, 9.0, 0}, // … and after it
        {{1.0, 2.0, 3.0}, 2.0, 1},
        {{1.0, 2.0, 3.0}, 1.0, 0},
        {{1.0, 2.0, 3.0}, 3.0, 2},
        {{1.0, 2.0, 3.0}, 2.5, 1},
        {{1.0, 2.0, 3.0}, 0.5, 0},
        {{1.0, 2.0, 3.0}, 7.0, 2},
        {{0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6}, 0.45, 4},
        {{0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6}, 0.1, 1},
    };
    for (const Case& c : cases) {
        auto list = positionList(c.times);
        EXPECT_EQ(indexOfTime(c.t, list), c.index) << c.t;
    }
}

TEST(MetadataLookup, ClosestEventTiesGoToTheLaterEntry) {
    auto list = positionList({1.0, 2.0, 4.0});
    const std::pair<double, std::int32_t> cases[] = {{1.5, 1}, {1.4, 0}, {3.0, 2}, {2.9, 1}, {9, 2}, {0, 0}};
    for (auto [t, index] : cases)
        EXPECT_EQ(indexOfClosestEventInArray(list, t), index) << t;
    EXPECT_EQ(indexOfClosestEventInArray(positionList({}), 1.0), -1);

    bool valid = true;
    EXPECT_DOUBLE_EQ(secondsFromClosestEventInArray(list, 3.5, &valid), 0.5);
    EXPECT_TRUE(valid);
    EXPECT_EQ(secondsFromClosestEventInArray(positionList({}), 3.5, &valid), 0.0);
    EXPECT_FALSE(valid);
}

TEST(MetadataLookup, LocationAndFocusAnswerWithAValidityFlag) {
    bool valid = true;
    EXPECT_EQ(mouseLocationAtTime(positionList({}), 1.0, &valid), Point());
    EXPECT_FALSE(valid);
    EXPECT_EQ(mouseLocationAtTime(positionList({1.0, 2.0}), 1.9, &valid), (Point{10.0, 100.0}));
    EXPECT_TRUE(valid);

    RecordedMetadataList<FocusRectEntry> focus({{1.0, Rect(1, 2, 3, 4)}, {2.0, Rect(5, 6, 7, 8)}});
    EXPECT_EQ(focusRectAtTime(focus, 2.0, &valid), Rect(5, 6, 7, 8));
    EXPECT_TRUE(valid);
    EXPECT_EQ(focusRectAtTime(RecordedMetadataList<FocusRectEntry>(), 2.0, &valid), Rect());
    EXPECT_FALSE(valid);
}

TEST(MetadataLookup, FocusEntriesReachOneEntryBeyondHalfASecondOnEachSide) {
    std::vector<FocusRectEntry> entries;
    for (int i = 0; i <= 20; ++i)
        entries.push_back({i * 0.2, Rect(i, 0, 1, 1)});
    RecordedMetadataList<FocusRectEntry> focus(std::move(entries));
    auto around = focusEntriesValidAtTime(focus, 2.0); // entry 10
    ASSERT_TRUE(around);
    // 1.4 (first more than 0.5 s before) … 2.6 (first more than 0.5 s after).
    ASSERT_EQ(around->size(), 7u);
    EXPECT_DOUBLE_EQ(around->front().time, 1.4);
    EXPECT_DOUBLE_EQ(around->back().time, 2.6);
    auto start = focusEntriesValidAtTime(focus, 0.0);
    ASSERT_TRUE(start);
    EXPECT_DOUBLE_EQ(start->front().time, 0.0);
    EXPECT_DOUBLE_EQ(start->back().time, 0.6);
    auto end = focusEntriesValidAtTime(focus, 50.0);
    ASSERT_TRUE(end);
    ASSERT_EQ(end->size(), 1u) << "past the last entry only the last applies";
    EXPECT_DOUBLE_EQ(end->front().time, 4.0);
    EXPECT_FALSE(focusEntriesValidAtTime(RecordedMetadataList<FocusRectEntry>(), 1.0));
}

TEST(MetadataLookup, WindowsOfWheelTurnsAndClicks) {
    RecordedMetadataList<MouseWheelEntry> wheels(
        {{1.0, {}, 0, 1}, {2.0, {}, 0, -1}, {3.0, {}, 1, 0}, {4.0, {}, -1, 0}});
    auto window = mouseWheelEventsFromTo(wheels, 2.5, 3.5);
    ASSERT_TRUE(window);
    ASSERT_EQ(window->size(), 2u) << "the entry in effect at the start comes first";
    EXPECT_EQ(window->front().time, 2.0);
    EXPECT_FALSE(mouseWheelEventsFromTo(wheels, 3.5, 2.5)) << "from after to gives none, not an empty list";
    EXPECT_FALSE(mouseWheelEventsFromTo(RecordedMetadataList<MouseWheelEntry>(), 0, 1));
    auto negative = mouseWheelEventsFromTo(wheels, -5, 1.0);
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->size(), 1u);

    RecordedMetadataList<MouseClickEntry> clicks(
        {{1.0, {}, 1, 1, 1, 0}, {2.0, {}, 2, 1, 1, 0}, {3.0, {}, 3, 2, 1, 1}});
    auto downs = mouseEventsFromTo(clicks, 1, 0, 10);
    ASSERT_TRUE(downs);
    ASSERT_EQ(downs->size(), 2u);
    EXPECT_EQ(downs->back().time, 3.0);
    auto none = mouseEventsFromTo(clicks, 4, 0, 10);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty()) << "a valid window without matching events is empty";
    EXPECT_FALSE(mouseEventsFromTo(clicks, 1, 3, 2));
}

TEST(MetadataLookup, SmoothingWeighsRecentPositionsMost) {
    auto list = positionList({1.0, 2.0, 3.0});
    bool valid = false;
    EXPECT_EQ(smoothedMouseLocationAtTime(list, 3.0, &valid, 0.0, 0.5), (Point{15.0, 150.0}))
        << "no window: f times the point in effect";
    EXPECT_TRUE(valid);
    const Point s = smoothedMouseLocationAtTime(list, 3.0, &valid, 5.0, 0.5);
    // 0.5·30 + 0.25·20 + 0.125·10
    EXPECT_DOUBLE_EQ(s.x, 21.25);
    EXPECT_EQ(smoothedMouseLocationAtTime(positionList({}), 3.0, &valid, 1.0, 0.5), Point());
    EXPECT_FALSE(valid);
    const int failures = assertionFailureCount();
    EXPECT_EQ(smoothedMouseLocationAtTime(list, 3.0, &valid, 1.0, 1.0), Point());
    EXPECT_EQ(assertionFailureCount(), failures + 1);
}

TEST(MetadataLookup, KeyNames) {
    EXPECT_EQ(modifiersStringFromInt(0), "");
    EXPECT_EQ(modifiersStringFromInt(0x200 | 0x100), "Shift Command");
    EXPECT_EQ(modifiersStringFromInt(0x1000 | 0x800), "Control Option");
    EXPECT_EQ(stringFromChars({97, 0xF700, 13, 0x10061}), (std::vector<std::string>{"a", "↑", "↩", "a"}));

    PlistArray keys = {PropertyList(PlistDictionary{{"character", PropertyList("\xEF\x9C\x80")}}),
                       PropertyList(PlistDictionary{{"character", PropertyList("x")}}),
                       PropertyList(PlistDictionary{{"other", PropertyList(1)}})};
    PlistArray named = replaceMetaCharsWithKeyboardEquivalentsInArray(keys);
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(*named[0].stringForKey("character"), "↑");
    EXPECT_EQ(named[1], keys[1]);
    EXPECT_EQ(named[2], keys[2]);
}

} // namespace
} // namespace vtl
