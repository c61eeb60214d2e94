// Preparing a recording's "mouse" file: click runs, thinning and scaling of focus rectangles,
// sorting, what happens to damaged entries, and which clicks a track's click switch shows.

#include "tracks/metadata/RecordedMouseData.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vtl {
namespace {

PropertyList fileEvent(double time, int eventType, int button, const char* point = "{10, 20}") {
    return PropertyList(PlistDictionary{{"point", PropertyList(point)},
                                        {"time", PropertyList(time)},
                                        {"eventType", PropertyList(eventType)},
                                        {"button", PropertyList(button)}});
}

PropertyList focusEntry(double time, const char* rect) {
    return PropertyList(PlistDictionary{{"focusRect", PropertyList(rect)}, {"time", PropertyList(time)}});
}

PropertyList mouseFile(PlistArray events, PlistArray focus = {}, PlistArray positions = {},
                       PlistArray cursors = {}) {
    return PropertyList(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                        {"eventsVisible", PropertyList(true)},
                                        {"mousePositions", PropertyList(std::move(positions))},
                                        {"mouseEvents", PropertyList(std::move(events))},
                                        {"mouseCursorImages", PropertyList(std::move(cursors))},
                                        {"focusWindowRects", PropertyList(std::move(focus))}});
}

TEST(MouseFile, ClicksGetCountsAndIDsByTheirGaps) {
    const PropertyList file = mouseFile({fileEvent(1.0, 1, 1), fileEvent(1.1, 2, 1), fileEvent(1.3, 1, 1),
                                         fileEvent(2.0, 1, 2), fileEvent(2.5, 10, -1)});
    PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 1.0);
    ASSERT_EQ(prepared.clicks->size(), 3u);
    const std::uint32_t counts[] = {1, 2, 1}, ids[] = {0, 0, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ((*prepared.clicks)[i].clickCount, counts[i]) << i;
        EXPECT_EQ((*prepared.clicks)[i].clickID, ids[i]) << i;
    }
    EXPECT_EQ((*prepared.clicks)[2].button, 2);
    ASSERT_EQ(prepared.wheelEvents->size(), 1u);
    EXPECT_EQ((*prepared.wheelEvents)[0].time, 2.5);
    EXPECT_TRUE(prepared.hasRecordedEvents);
}

TEST(MouseFile, LeadingClicksAfterTwoHoursAreDropped) {
    struct Case {
        std::vector<double> times;
        std::size_t kept;
    };
    const Case cases[] = {{{7300.0}, 0}, {{7200.0}, 1}, {{7200.0, 7300.0}, 2}, {{7250.0, 7300.0}, 0}};
    for (const Case& c : cases) {
        PlistArray events;
        for (double t : c.times)
            events.push_back(fileEvent(t, 1, 1));
        const PropertyList file = mouseFile(events);
        PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 1.0);
        EXPECT_EQ(prepared.clicks->size(), c.kept) << c.times.front();
    }
}

TEST(MouseFile, FocusRectanglesAreThinnedAndTheirOriginScaled) {
    struct Case {
        std::vector<double> times;
        std::vector<double> kept;
    };
    const Case cases[] = {
        {{1.0, 1.3}, {1.3}},
        {{1.0, 1.3, 1.6}, {1.6}},
        {{1.0, 1.5, 3.0}, {1.0, 1.5, 3.0}},
        {{2.0}, {2.0}},
    };
    for (const Case& c : cases) {
        PlistArray focus;
        for (double t : c.times)
            focus.push_back(focusEntry(t, "{{10, 20}, {200, 100}}"));
        const PropertyList file = mouseFile({}, focus);
        PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 2.0);
        ASSERT_EQ(prepared.focusRects->size(), c.kept.size());
        for (std::size_t i = 0; i < c.kept.size(); ++i) {
            EXPECT_EQ((*prepared.focusRects)[i].time, c.kept[i]);
            EXPECT_EQ((*prepared.focusRects)[i].focusRect, Rect(20, 40, 200, 100))
                << "size already in pixels";
        }
    }
    for (double scale :
         {0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const PropertyList file = mouseFile({}, {focusEntry(1, "{{10, 20}, {200, 100}}")});
        EXPECT_EQ((*prepareMouseMetadata(&file, scale).focusRects)[0].focusRect, Rect(10, 20, 200, 100))
            << scale;
    }
}

TEST(MouseFile, DamagedEntriesAreLeftOutAndUnsortedListsSorted) {
    PlistArray events = {
        fileEvent(2.0, 1, 1),
        fileEvent(std::numeric_limits<double>::quiet_NaN(), 1, 1),
        fileEvent(1.0, 1, 1, "{nonsense}"),
        PropertyList(PlistDictionary{{"point", PropertyList("{1, 2}")}, {"eventType", PropertyList(1)}}),
        PropertyList("not a dictionary"),
        fileEvent(1.0, 1, 1)};
    PlistArray positions = {
        PropertyList(PlistDictionary{{"point", PropertyList("{3, 4}")}, {"time", PropertyList(5.0)}}),
        PropertyList(PlistDictionary{{"point", PropertyList("{1, 2}")}, {"time", PropertyList(4.0)}}),
        PropertyList(PlistDictionary{{"point", PropertyList(7)}, {"time", PropertyList(6.0)}})};
    PlistArray cursors = {PropertyList(PlistDictionary{{"time", PropertyList(1.0)},
                                                       {"mouseTIFFData", PropertyList(PlistBytes{1, 2, 3})},
                                                       {"hotspot", PropertyList("{4, 5}")},
                                                       {"cursorVisible", PropertyList(false)}}),
                          PropertyList(PlistDictionary{{"time", PropertyList(2.0)},
                                                       {"mouseTIFFData", PropertyList("text")},
                                                       {"hotspot", PropertyList("{4, 5}")}}),
                          PropertyList(PlistDictionary{{"time", PropertyList(3.0)},
                                                       {"mouseTIFFData", PropertyList(PlistBytes{1})},
                                                       {"hotspot", PropertyList("{x}")}})};
    PlistArray focus = {focusEntry(1, "{{1, 2}, {3}}"), focusEntry(9, "{{1, 2}, {3, 4}}")};
    const PropertyList file = mouseFile(events, focus, positions, cursors);
    PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 1.0);
    EXPECT_EQ(prepared.droppedEntries, 4u + 1u + 2u + 1u);
    ASSERT_EQ(prepared.clicks->size(), 2u);
    EXPECT_EQ((*prepared.clicks)[0].time, 1.0) << "sorted";
    EXPECT_EQ((*prepared.clicks)[1].clickID, 1u);
    ASSERT_EQ(prepared.locations->size(), 2u);
    EXPECT_EQ((*prepared.locations)[0].point, (Point{1.0, 2.0}));
    ASSERT_EQ(prepared.cursorImages->size(), 1u);
    EXPECT_EQ(*(*prepared.cursorImages)[0].tiffData, (PlistBytes{1, 2, 3}));
    EXPECT_EQ((*prepared.cursorImages)[0].hotspot, (Point{4.0, 5.0}));
    EXPECT_FALSE((*prepared.cursorImages)[0].cursorVisible);
    ASSERT_EQ(prepared.focusRects->size(), 1u);
    EXPECT_EQ((*prepared.focusRects)[0].time, 9.0);
}

TEST(MouseFile, AMissingOrStrangeFileGivesEmptyLists) {
    const PropertyList notADictionary = PropertyList::array({PropertyList(1)});
    for (const PropertyList* file : {static_cast<const PropertyList*>(nullptr), &notADictionary}) {
        PreparedMouseMetadata prepared = prepareMouseMetadata(file, 1.0);
        EXPECT_TRUE(prepared.clicks->empty());
        EXPECT_TRUE(prepared.wheelEvents->empty());
        EXPECT_TRUE(prepared.locations->empty());
        EXPECT_TRUE(prepared.focusRects->empty());
        EXPECT_TRUE(prepared.cursorImages->empty());
        EXPECT_FALSE(prepared.hasRecordedEvents);
    }
}

// The spans an animated switch opens end at the clip's media; unanimated, it shows every click,
// even those the recorder stored before or after the frames.
TEST(MouseFile, TheClickSwitchShowsClicksInsideItsSpans) {
    struct Case {
        const char* what;
        ClickVisualizationSwitch clickSwitch;
        std::vector<double> shown;
    };
    const Case cases[] = {
        {"unanimated, on", {false, true, {}, 2.0}, {-0.5, 0.0, 1.0, 2.0, 2.5}},
        {"unanimated, off", {false, false, {}, 2.0}, {}},
        {"animated, on from the start", {true, true, {}, 2.0}, {0.0, 1.0, 2.0}},
        {"off at 0 closes nothing", {true, true, {{0.0, false}}, 2.0}, {}},
        {"on at 1 after the start was off", {true, false, {{1.0, true}}, 2.0}, {1.0, 2.0}},
        {"off at 1, ends included", {true, true, {{1.0, false}}, 2.0}, {0.0, 1.0}},
        {"no media: nothing after the last switch on", {true, true, {}, 0.0}, {0.0}},
    };
    const PropertyList file = mouseFile({fileEvent(-0.5, 1, 1), fileEvent(0.0, 1, 1), fileEvent(1.0, 1, 1),
                                         fileEvent(2.0, 1, 1), fileEvent(2.5, 1, 1)});
    const PreparedMouseMetadata prepared = prepareMouseMetadata(&file, 1.0);
    ASSERT_EQ(prepared.clicks->size(), 5u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> shown;
        for (const MouseClickEntry& click : clicksToVisualize(*prepared.clicks, c.clickSwitch))
            shown.push_back(click.time);
        EXPECT_EQ(shown, c.shown);
    }
    EXPECT_EQ(clicksToVisualize(*prepared.clicks, ClickVisualizationSwitch{}).size(), 5u)
        << "a fresh track shows every click";
}

TEST(MouseFile, DictionaryFormsForTheTriggeredStates) {
    RecordedMetadataList<FocusRectEntry> focus({{1.0, Rect(1, 2, 3, 4)}});
    PlistArray array = plistArrayOfFocusRects(focus);
    ASSERT_EQ(array.size(), 1u);
    EXPECT_EQ(rectFromString(*array[0].stringForKey("focusRect")), Rect(1, 2, 3, 4));
    RecordedMetadataList<MouseLocationEntry> locations({{2.0, Point{5.0, 6.0}}});
    EXPECT_EQ(pointFromString(*plistArrayOfLocations(locations)[0].stringForKey("point")), (Point{5.0, 6.0}));
}

} // namespace
} // namespace vtl
