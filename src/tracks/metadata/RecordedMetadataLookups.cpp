#include "tracks/metadata/RecordedMetadataLookups.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

// Entries first..last of a list, inclusive.
template <typename Entry>
std::vector<Entry> slice(const RecordedMetadataList<Entry>& list, std::size_t first, std::size_t last) {
    return std::vector<Entry>(list.entries().begin() + static_cast<std::ptrdiff_t>(first),
                              list.entries().begin() + static_cast<std::ptrdiff_t>(last) + 1);
}

// The window of entries in effect from `from` (never before 0) to `to`.
template <typename Entry>
std::optional<std::pair<std::size_t, std::size_t>> windowOf(const RecordedMetadataList<Entry>& list,
                                                            double from, double to) {
    const std::int32_t first = indexOfTime(std::max(from, 0.0), list);
    const std::int32_t last = indexOfTime(to, list);
    if (first < 0 || last < 0 || last < first) return std::nullopt;
    return std::pair<std::size_t, std::size_t>(static_cast<std::size_t>(first),
                                               static_cast<std::size_t>(last));
}

std::string utf8FromCodePoint(std::uint32_t c) {
    std::string text;
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Surrogate halves have no UTF-8 form of their own.
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return text;
}

// The table's text for the key, or the default when the table has none.
std::string specialCharacter(const std::string& key, const std::string& fallback) {
    std::string found = localizedString(key, "SpecialChars");
    return found == key ? fallback : found;
}

} // namespace

std::int32_t indexOfClosestEvent(std::span<const double> times, double time) {
    const double* data = times.data();
    const std::optional<std::size_t> found =
        indexInEffectAtTime(times.size(), time, [data](std::size_t i) { return data[i]; });
    if (!found) return -1;
    const std::size_t i = *found;
    if (i + 1 >= times.size()) return static_cast<std::int32_t>(i);
    return static_cast<std::int32_t>(std::fabs(times[i] - time) >= std::fabs(times[i + 1] - time) ? i + 1
                                                                                                  : i);
}

Point mouseLocationAtTime(const RecordedMetadataList<MouseLocationEntry>& list, double time, bool* isValid) {
    const std::optional<std::size_t> index = list.indexInEffectAt(time);
    if (isValid) *isValid = index.has_value();
    return index ? list[*index].point : Point();
}

Point smoothedMouseLocationAtTime(const RecordedMetadataList<MouseLocationEntry>& list, double time,
                                  bool* isValid, double windowSeconds, double factor) {
    if (isValid) *isValid = false;
    if (!(factor > 0.0 && factor < 1.0)) {
        assertionFailure("CompositionTrackObject-Metadata", 0,
                         "smoothingFactor for smoothed mouse location out of allowed bounds [0..1]");
        return Point();
    }
    const std::int32_t last = indexOfTime(time, list);
    if (last < 0) return Point();
    std::int32_t first = indexOfTime(time - std::min(time, windowSeconds), list);
    if (first < 0) first = 0;
    // s ← f·p + (1 − f)·s over the entries, oldest first, starting from zero.
    Point sum;
    for (std::int32_t k = first; k <= last; ++k) {
        const Point p = list[static_cast<std::size_t>(k)].point;
        sum.x = factor * p.x + (1.0 - factor) * sum.x;
        sum.y = factor * p.y + (1.0 - factor) * sum.y;
    }
    if (isValid) *isValid = true;
    return sum;
}

Rect focusRectAtTime(const RecordedMetadataList<FocusRectEntry>& list, double time, bool* isValid) {
    const std::optional<std::size_t> index = list.indexInEffectAt(time);
    if (isValid) *isValid = index.has_value();
    return index ? list[*index].focusRect : Rect();
}

std::optional<std::vector<FocusRectEntry>>
focusEntriesValidAtTime(const RecordedMetadataList<FocusRectEntry>& list, double time) {
    const std::optional<std::size_t> found = list.indexInEffectAt(time);
    if (!found) return std::nullopt;
    const std::size_t i = *found;
    const std::size_t n = list.size();
    const std::span<const double> times = list.times();
    std::size_t lower = 0;
    for (std::size_t k = i; k >= 1; --k) {
        if (time - times[k] > 0.5) {
            lower = k;
            break;
        }
    }
    std::size_t upper = n - 1;
    for (std::size_t k = i; k < n; ++k) {
        if (times[k] - time > 0.5) {
            upper = k;
            break;
        }
    }
    return slice(list, lower, upper);
}

std::optional<std::vector<MouseWheelEntry>>
mouseWheelEventsFromTo(const RecordedMetadataList<MouseWheelEntry>& list, double from, double to) {
    const auto window = windowOf(list, from, to);
    if (!window) return std::nullopt;
    return slice(list, window->first, window->second);
}

std::optional<std::vector<MouseClickEntry>>
mouseEventsFromTo(const RecordedMetadataList<MouseClickEntry>& list, std::int64_t eventTypeMask, double from,
                  double to) {
    const auto window = windowOf(list, from, to);
    if (!window) return std::nullopt;
    std::vector<MouseClickEntry> events = slice(list, window->first, window->second);
    std::erase_if(events,
                  [eventTypeMask](const MouseClickEntry& e) { return (e.eventType & eventTypeMask) == 0; });
    return events;
}

std::string modifiersStringFromInt(std::uint32_t flags) {
    static const std::pair<std::uint32_t, const char*> modifiers[] = {{0x200, "ShiftModifier"},
                                                                      {0x1000, "ControlModifier"},
                                                                      {0x800, "AltModifier"},
                                                                      {0x100, "CommandModifier"}};
    std::string text;
    for (const auto& [bit, key] : modifiers) {
        if (!(flags & bit)) continue;
        if (!text.empty()) text += localizedString("ModifierKey_Spacing");
        text += localizedString(key);
    }
    return text;
}

std::vector<std::string> stringFromChars(const std::vector<std::int64_t>& characterCodes) {
    std::vector<std::string> result;
    result.reserve(characterCodes.size());
    for (std::int64_t code : characterCodes) {
        const std::uint32_t c = static_cast<std::uint32_t>(code) & 0xFFFF;
        result.push_back(specialCharacter(std::to_string(c), utf8FromCodePoint(c)));
    }
    return result;
}

PlistArray replaceMetaCharsWithKeyboardEquivalentsInArray(const PlistArray& entries) {
    PlistArray result;
    result.reserve(entries.size());
    for (const PropertyList& entry : entries) {
        const std::string* character = entry.stringForKey("character");
        if (!character) {
            result.push_back(entry);
            continue;
        }
        // The bytes as one little-endian number; bytes past the eighth cannot fit and are left out.
        std::uint64_t code = 0;
        for (std::size_t k = 0; k < character->size() && k < 8; ++k)
            code |= static_cast<std::uint64_t>(static_cast<unsigned char>((*character)[k])) << (8 * k);
        const std::string key = std::to_string(code);
        const std::string replacement = specialCharacter(key, key);
        if (replacement == key) {
            result.push_back(entry);
            continue;
        }
        PropertyList changed = entry;
        changed.set("character", PropertyList(replacement));
        result.push_back(std::move(changed));
    }
    return result;
}

} // namespace vtl
