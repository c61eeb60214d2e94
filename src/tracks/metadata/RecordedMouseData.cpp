#include "tracks/metadata/RecordedMouseData.h"

#include "platform/foundation/Log.h"
#include "tracks/reader/VistrelRecording.h"

#include <cmath>
#include <utility>

namespace vtl {

namespace {

// A finite "time" of an entry, or nothing.
std::optional<double> timeOf(const PropertyList& entry) {
    std::optional<double> time = entry.numberForKey("time");
    if (!time || !std::isfinite(*time)) return std::nullopt;
    return time;
}

std::optional<Point> pointOf(const PropertyList& entry, std::string_view key) {
    const std::string* text = entry.stringForKey(key);
    if (!text) return std::nullopt;
    std::optional<Point> point = parsePoint(*text);
    if (!point || !std::isfinite(point->x) || !std::isfinite(point->y)) return std::nullopt;
    return point;
}

std::optional<Rect> rectOf(const PropertyList& entry, std::string_view key) {
    const std::string* text = entry.stringForKey(key);
    if (!text) return std::nullopt;
    std::optional<Rect> rect = parseRect(*text);
    if (!rect || !std::isfinite(rect->origin.x) || !std::isfinite(rect->origin.y) ||
        !std::isfinite(rect->size.width) || !std::isfinite(rect->size.height))
        return std::nullopt;
    return rect;
}

// Reads the entries of one list of the file, counting those that `read` refuses.
template <typename Entry, typename Read>
std::vector<Entry> readList(const PropertyList* file, std::string_view key, std::size_t& dropped, Read read) {
    std::vector<Entry> entries;
    const PlistArray* raw = file ? file->arrayForKey(key) : nullptr;
    if (!raw) return entries;
    entries.reserve(raw->size());
    for (const PropertyList& item : *raw) {
        std::optional<Entry> entry = item.isDictionary() ? read(item) : std::nullopt;
        if (entry)
            entries.push_back(std::move(*entry));
        else
            ++dropped;
    }
    return entries;
}

bool ascending(const auto& entries) {
    for (std::size_t i = 1; i < entries.size(); ++i)
        if (entries[i].time < entries[i - 1].time) return false;
    return true;
}

} // namespace

std::vector<MouseClickEntry> preparedMouseEvents(const std::vector<MouseClickEntry>& events) {
    std::vector<MouseClickEntry> clicks;
    for (const MouseClickEntry& event : events)
        if (event.eventType == 1) clicks.push_back(event);
    std::size_t first = 0;
    while (first < clicks.size() && clicks[first].time > kLatestFirstClickSeconds)
        ++first;
    clicks.erase(clicks.begin(), clicks.begin() + static_cast<std::ptrdiff_t>(first));
    if (clicks.empty()) return clicks;
    std::uint32_t clickCount = 0;
    std::uint32_t clickID = 0;
    double previous = clicks.front().time;
    for (MouseClickEntry& click : clicks) {
        if (click.time - previous > kClickRunGapSeconds) {
            clickCount = 1;
            ++clickID;
        } else {
            ++clickCount;
        }
        click.clickCount = clickCount;
        click.clickID = clickID;
        previous = click.time;
    }
    return clicks;
}

std::vector<FocusRectEntry> thinnedFocusRects(std::vector<FocusRectEntry> entries) {
    if (entries.size() < 2) return entries;
    std::vector<FocusRectEntry> kept;
    kept.reserve(entries.size());
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        if (entries[i + 1].time - entries[i].time >= kFocusThinningSeconds) kept.push_back(entries[i]);
    }
    kept.push_back(entries.back());
    return kept;
}

PreparedMouseMetadata prepareMouseMetadata(const PropertyList* file, double contentScale) {
    if (!std::isfinite(contentScale) || contentScale == 0) contentScale = 1.0;
    if (file && !file->isDictionary()) file = nullptr;
    PreparedMouseMetadata prepared;
    std::size_t dropped = 0;

    std::vector<MouseClickEntry> events = readList<MouseClickEntry>(
        file, "mouseEvents", dropped, [](const PropertyList& item) -> std::optional<MouseClickEntry> {
            auto time = timeOf(item);
            auto point = pointOf(item, "point");
            if (!time || !point) return std::nullopt;
            MouseClickEntry event;
            event.time = *time;
            event.point = *point;
            event.eventType = item.integerForKey("eventType").value_or(0);
            event.button = item.integerForKey("button").value_or(0);
            return event;
        });
    prepared.hasRecordedEvents = !events.empty();
    if (!ascending(events))
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.time < b.time; });

    // Wheel deltas come from the same entries; an entry without them turns nothing.
    std::vector<MouseWheelEntry> wheels;
    if (const PlistArray* raw = file ? file->arrayForKey("mouseEvents") : nullptr) {
        for (const PropertyList& item : *raw) {
            if (!item.isDictionary() || item.integerForKey("button") != -1) continue;
            auto time = timeOf(item);
            auto point = pointOf(item, "point");
            if (!time || !point) continue;
            MouseWheelEntry wheel{*time, *point, item.numberForKey("wheelX").value_or(0),
                                  item.numberForKey("wheelY").value_or(0)};
            if (!std::isfinite(wheel.wheelX)) wheel.wheelX = 0;
            if (!std::isfinite(wheel.wheelY)) wheel.wheelY = 0;
            wheels.push_back(wheel);
        }
    }
    prepared.clicks = makeMetadataSnapshot(preparedMouseEvents(events));
    prepared.wheelEvents = makeMetadataSnapshot(std::move(wheels));

    prepared.locations = makeMetadataSnapshot(readList<MouseLocationEntry>(
        file, "mousePositions", dropped, [](const PropertyList& item) -> std::optional<MouseLocationEntry> {
            auto time = timeOf(item);
            auto point = pointOf(item, "point");
            if (!time || !point) return std::nullopt;
            return MouseLocationEntry{*time, *point};
        }));

    std::vector<FocusRectEntry> focus = readList<FocusRectEntry>(
        file, "focusWindowRects", dropped, [](const PropertyList& item) -> std::optional<FocusRectEntry> {
            auto time = timeOf(item);
            auto rect = rectOf(item, "focusRect");
            if (!time || !rect) return std::nullopt;
            return FocusRectEntry{*time, *rect};
        });
    if (!ascending(focus))
        std::stable_sort(focus.begin(), focus.end(),
                         [](const auto& a, const auto& b) { return a.time < b.time; });
    focus = thinnedFocusRects(std::move(focus));
    // The recorder stores the origin in points and the size in pixels.
    for (FocusRectEntry& entry : focus) {
        entry.focusRect.origin.x *= contentScale;
        entry.focusRect.origin.y *= contentScale;
    }
    prepared.focusRects = makeMetadataSnapshot(std::move(focus));

    prepared.cursorImages = makeMetadataSnapshot(readList<CursorImageEntry>(
        file, "mouseCursorImages", dropped, [](const PropertyList& item) -> std::optional<CursorImageEntry> {
            auto time = timeOf(item);
            auto hotspot = pointOf(item, "hotspot");
            const PlistBytes* data = item.dataForKey("mouseTIFFData");
            if (!time || !hotspot || !data) return std::nullopt;
            return CursorImageEntry{*time, std::make_shared<const PlistBytes>(*data), *hotspot,
                                    item.boolForKey("cursorVisible").value_or(true)};
        }));

    prepared.droppedEntries = dropped;
    if (dropped > 0)
        logMessage("The pointer data of the recording has " + std::to_string(dropped) +
                   " damaged entries; they were left out.");
    return prepared;
}

PreparedMouseMetadata prepareRecordingMouseMetadata(const VistrelRecording* recording) {
    if (!recording) return prepareMouseMetadata(nullptr, 1.0);
    const std::optional<PropertyList> file = recording->metaDataWithPath("mouse");
    return prepareMouseMetadata(file ? &*file : nullptr, recording->recordingContentsScale());
}

std::vector<MouseClickEntry> clicksToVisualize(const RecordedMetadataList<MouseClickEntry>& clicks,
                                               const ClickVisualizationSwitch& clickSwitch) {
    if (!clickSwitch.animated) return clickSwitch.on ? clicks.entries() : std::vector<MouseClickEntry>{};
    std::vector<std::pair<double, double>> spans;
    bool isOpen = clickSwitch.on;
    double openedAt = 0.0;
    for (const ClickSwitchKeyframe& keyframe : clickSwitch.keyframes) {
        if (keyframe.on) {
            if (!isOpen) openedAt = keyframe.time;
            isOpen = true;
        } else if (isOpen) {
            if (keyframe.time > 0.0) spans.emplace_back(openedAt, keyframe.time);
            isOpen = false;
        }
    }
    if (isOpen) spans.emplace_back(openedAt, clickSwitch.duration);
    std::vector<MouseClickEntry> visualized;
    for (const MouseClickEntry& click : clicks.entries()) {
        for (const auto& [from, to] : spans) {
            if (click.time >= from && click.time <= to) {
                visualized.push_back(click);
                break;
            }
        }
    }
    return visualized;
}

PlistArray plistArrayOfClicks(const RecordedMetadataList<MouseClickEntry>& clicks) {
    PlistArray array;
    array.reserve(clicks.size());
    for (const MouseClickEntry& click : clicks.entries()) {
        array.push_back(PropertyList(PlistDictionary{{"time", PropertyList(click.time)},
                                                     {"point", PropertyList(stringFromPoint(click.point))},
                                                     {"eventType", PropertyList(click.eventType)},
                                                     {"button", PropertyList(click.button)},
                                                     {"clickCount", PropertyList(click.clickCount)},
                                                     {"clickID", PropertyList(click.clickID)}}));
    }
    return array;
}

PlistArray plistArrayOfLocations(const RecordedMetadataList<MouseLocationEntry>& locations) {
    PlistArray array;
    array.reserve(locations.size());
    for (const MouseLocationEntry& location : locations.entries()) {
        array.push_back(
            PropertyList(PlistDictionary{{"time", PropertyList(location.time)},
                                         {"point", PropertyList(stringFromPoint(location.point))}}));
    }
    return array;
}

PlistArray plistArrayOfFocusRects(const RecordedMetadataList<FocusRectEntry>& focusRects) {
    PlistArray array;
    array.reserve(focusRects.size());
    for (const FocusRectEntry& entry : focusRects.entries()) {
        array.push_back(
            PropertyList(PlistDictionary{{"time", PropertyList(entry.time)},
                                         {"focusRect", PropertyList(stringFromRect(entry.focusRect))}}));
    }
    return array;
}

} // namespace vtl
