#include "platform/capture/ScrollDetector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace vtl {

namespace {

// The fourth byte of a pixel carries nothing and is left out of every comparison.
constexpr std::uint32_t kColourMask = 0x00ffffffu;
constexpr std::uint64_t kPairMask = 0x00ffffff00ffffffull;
// Rows and columns are hashed on a few short spans spread over the rectangle, enough to tell
// lines of text apart at a fraction of the reads; candidates are then confirmed on every pixel.
// Few long spans: each is read as one sequential run, which the memory prefetcher follows.
constexpr std::int64_t kSpans = 4;
constexpr std::int64_t kSpanPixels = 64;
constexpr std::int64_t kColumnSpans = 4;
constexpr std::int64_t kColumnSpanRows = 16;
// A hash found more often than this in the searched range (a blank row) says nothing about a shift.
constexpr std::size_t kMaximumRepeats = 4;
constexpr std::size_t kMinimumVotes = 4;

inline std::uint32_t colourAt(const PixelView& view, std::int64_t x, std::int64_t y) {
    std::uint32_t value;
    std::memcpy(
        &value,
        view.pixels + static_cast<std::size_t>(y) * view.bytesPerRow + static_cast<std::size_t>(x) * 4, 4);
    return value & kColourMask;
}

inline std::uint64_t mix(std::uint64_t h, std::uint64_t value) {
    h ^= value;
    h *= 0x9e3779b97f4a7c15ull;
    return h ^ (h >> 29);
}

// Start columns (or rows) of `count` sampled spans of `size` inside [first, first + length).
std::vector<std::pair<std::int64_t, std::int64_t>> spansOf(std::int64_t first, std::int64_t length,
                                                           std::int64_t count, std::int64_t size) {
    std::vector<std::pair<std::int64_t, std::int64_t>> spans;
    if (length <= count * size) {
        spans.emplace_back(first, length);
        return spans;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t start = first + (length - size) * i / (count - 1);
        spans.emplace_back(start, size);
    }
    return spans;
}

std::uint64_t rowHash(const PixelView& view, std::int64_t y,
                      const std::vector<std::pair<std::int64_t, std::int64_t>>& spans) {
    // Two pixels at a time, in two independent lanes.
    std::uint64_t h = 0x84222325cbf29ce4ull, g = 0x9ae16a3b2f90404full;
    const std::uint8_t* row = view.pixels + static_cast<std::size_t>(y) * view.bytesPerRow;
    for (const auto& [start, count] : spans) {
        const std::uint8_t* p = row + static_cast<std::size_t>(start) * 4;
        std::int64_t x = 0;
        for (; x + 4 <= count; x += 4, p += 16) {
            std::uint64_t first, second;
            std::memcpy(&first, p, 8);
            std::memcpy(&second, p + 8, 8);
            h = mix(h, first & kPairMask);
            g = mix(g, second & kPairMask);
        }
        for (; x < count; ++x)
            h = mix(h, colourAt(view, start + x, y));
    }
    return h ^ (g * 0xc2b2ae3d27d4eb4full);
}

// Whether the row segment [x, x + width) of row y in `current` equals that of row y + dy,
// column x + dx, in `previous`.
bool segmentEquals(const PixelView& current, const PixelView& previous, std::int64_t x, std::int64_t y,
                   std::int64_t width, std::int64_t dx, std::int64_t dy) {
    const std::uint8_t* a =
        current.pixels + static_cast<std::size_t>(y) * current.bytesPerRow + static_cast<std::size_t>(x) * 4;
    const std::uint8_t* b = previous.pixels + static_cast<std::size_t>(y + dy) * previous.bytesPerRow +
                            static_cast<std::size_t>(x + dx) * 4;
    std::int64_t i = 0;
    for (; i + 2 <= width; i += 2) {
        std::uint64_t p, q;
        std::memcpy(&p, a + i * 4, 8);
        std::memcpy(&q, b + i * 4, 8);
        if ((p ^ q) & kPairMask) return false;
    }
    for (; i < width; ++i) {
        std::uint32_t p, q;
        std::memcpy(&p, a + i * 4, 4);
        std::memcpy(&q, b + i * 4, 4);
        if ((p ^ q) & kColourMask) return false;
    }
    return true;
}

Rect toRect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
    return Rect(static_cast<double>(x), static_cast<double>(y), static_cast<double>(w),
                static_cast<double>(h));
}

} // namespace

std::size_t ScrollDetector::vote(const std::vector<std::uint64_t>& fresh, std::int64_t firstFresh,
                                 const std::vector<std::uint64_t>& old, std::int64_t firstOld,
                                 std::int64_t& shift) {
    sortedOld_.clear();
    for (std::size_t i = 0; i < old.size(); ++i)
        sortedOld_.emplace_back(old[i], firstOld + static_cast<std::int64_t>(i));
    std::sort(sortedOld_.begin(), sortedOld_.end());
    votes_.assign(static_cast<std::size_t>(2 * kSearchRangePixels + 1), 0);
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        const std::int64_t position = firstFresh + static_cast<std::int64_t>(i);
        // A row that did not change says nothing about where the others went.
        const std::int64_t same = position - firstOld;
        if (same >= 0 && same < static_cast<std::int64_t>(old.size()) &&
            old[static_cast<std::size_t>(same)] == fresh[i])
            continue;
        auto range = std::equal_range(sortedOld_.begin(), sortedOld_.end(),
                                      std::pair<std::uint64_t, std::int64_t>(fresh[i], INT64_MIN),
                                      [](const auto& a, const auto& b) { return a.first < b.first; });
        if (static_cast<std::size_t>(range.second - range.first) > kMaximumRepeats) continue;
        for (auto it = range.first; it != range.second; ++it) {
            const std::int64_t d = it->second - position;
            if (d != 0 && d >= -kSearchRangePixels && d <= kSearchRangePixels)
                ++votes_[static_cast<std::size_t>(d + kSearchRangePixels)];
        }
    }
    auto best = std::max_element(votes_.begin(), votes_.end());
    shift = static_cast<std::int64_t>(best - votes_.begin()) - kSearchRangePixels;
    return *best;
}

bool ScrollDetector::findVertical(const PixelView& previous, const PixelView& current, const Box& box,
                                  std::size_t rectIndex, Candidate& out) {
    if (box.height < 2 * static_cast<std::int64_t>(kMinimumMovedRows) || box.width < kMinimumMovedColumns)
        return false;
    const auto spans = spansOf(box.x, box.width, kSpans, kSpanPixels);
    const std::int64_t oldFirst = std::max<std::int64_t>(0, box.y - kSearchRangePixels);
    const std::int64_t oldEnd =
        std::min<std::int64_t>(previous.height, box.y + box.height + kSearchRangePixels);
    freshHashes_.resize(static_cast<std::size_t>(box.height));
    for (std::int64_t y = 0; y < box.height; ++y)
        freshHashes_[static_cast<std::size_t>(y)] = rowHash(current, box.y + y, spans);
    oldHashes_.resize(static_cast<std::size_t>(oldEnd - oldFirst));
    for (std::int64_t y = oldFirst; y < oldEnd; ++y)
        oldHashes_[static_cast<std::size_t>(y - oldFirst)] = rowHash(previous, y, spans);
    std::int64_t dy = 0;
    if (vote(freshHashes_, box.y, oldHashes_, oldFirst, dy) < kMinimumVotes) return false;

    // Every run of rows that is the previous picture's rows shifted by dy, confirmed on all pixels.
    out = Candidate{};
    out.dy = dy;
    out.rectIndex = rectIndex;
    std::int64_t covered = box.y; // rows above this are moved or handed out as remaining
    std::int64_t runStart = -1;
    auto closeRun = [&](std::int64_t end) {
        if (runStart >= 0 && end - runStart >= static_cast<std::int64_t>(kMinimumMovedRows)) {
            if (runStart > covered) out.remaining.push_back({box.x, covered, box.width, runStart - covered});
            out.moved.push_back({box.x, runStart, box.width, end - runStart});
            out.savedPixels += static_cast<std::uint64_t>(box.width * (end - runStart));
            covered = end;
        }
        runStart = -1;
    };
    for (std::int64_t y = box.y; y < box.y + box.height; ++y) {
        const std::int64_t source = y + dy;
        const bool shifted = source >= 0 && source < previous.height &&
                             segmentEquals(current, previous, box.x, y, box.width, 0, dy);
        if (shifted && runStart < 0) runStart = y;
        if (!shifted) closeRun(y);
    }
    closeRun(box.y + box.height);
    if (out.moved.empty()) return false;
    if (covered < box.y + box.height)
        out.remaining.push_back({box.x, covered, box.width, box.y + box.height - covered});
    return true;
}

bool ScrollDetector::findHorizontal(const PixelView& previous, const PixelView& current, const Box& box,
                                    std::size_t rectIndex, Candidate& out) {
    if (box.width < 2 * static_cast<std::int64_t>(kMinimumMovedColumns) ||
        box.height < static_cast<std::int64_t>(kMinimumMovedRows))
        return false;
    const auto spans = spansOf(box.y, box.height, kColumnSpans, kColumnSpanRows);
    const std::int64_t oldFirst = std::max<std::int64_t>(0, box.x - kSearchRangePixels);
    const std::int64_t oldEnd =
        std::min<std::int64_t>(previous.width, box.x + box.width + kSearchRangePixels);
    // Columns are hashed a row at a time, so the pictures are read in memory order.
    auto columnHashes = [&](const PixelView& view, std::int64_t first, std::int64_t end,
                            std::vector<std::uint64_t>& hashes) {
        hashes.assign(static_cast<std::size_t>(end - first), 0x84222325cbf29ce4ull);
        for (const auto& [start, count] : spans)
            for (std::int64_t y = start; y < start + count; ++y)
                for (std::int64_t x = first; x < end; ++x)
                    hashes[static_cast<std::size_t>(x - first)] =
                        mix(hashes[static_cast<std::size_t>(x - first)], colourAt(view, x, y));
    };
    columnHashes(current, box.x, box.x + box.width, freshHashes_);
    columnHashes(previous, oldFirst, oldEnd, oldHashes_);
    std::int64_t dx = 0;
    if (vote(freshHashes_, box.x, oldHashes_, oldFirst, dx) < kMinimumVotes) return false;

    // The longest run of columns whose sampled hashes match, then confirmed on every row.
    std::int64_t bestStart = 0, bestLength = 0, runStart = -1;
    for (std::int64_t x = box.x; x <= box.x + box.width; ++x) {
        const std::int64_t source = x + dx;
        const bool match = x < box.x + box.width && source >= oldFirst && source < oldEnd &&
                           freshHashes_[static_cast<std::size_t>(x - box.x)] ==
                               oldHashes_[static_cast<std::size_t>(source - oldFirst)];
        if (match && runStart < 0) runStart = x;
        if (!match && runStart >= 0) {
            if (x - runStart > bestLength) {
                bestStart = runStart;
                bestLength = x - runStart;
            }
            runStart = -1;
        }
    }
    if (bestLength < static_cast<std::int64_t>(kMinimumMovedColumns)) return false;
    for (std::int64_t y = box.y; y < box.y + box.height; ++y)
        if (!segmentEquals(current, previous, bestStart, y, bestLength, dx, 0)) return false;
    out = Candidate{};
    out.dx = dx;
    out.rectIndex = rectIndex;
    out.moved.push_back({bestStart, box.y, bestLength, box.height});
    out.savedPixels = static_cast<std::uint64_t>(bestLength * box.height);
    if (bestStart > box.x) out.remaining.push_back({box.x, box.y, bestStart - box.x, box.height});
    if (bestStart + bestLength < box.x + box.width)
        out.remaining.push_back(
            {bestStart + bestLength, box.y, box.x + box.width - bestStart - bestLength, box.height});
    return true;
}

DisplayStreamUpdate ScrollDetector::detect(const PixelView& previous, const PixelView& current,
                                           const std::vector<Rect>& refreshed) {
    if (!previous.pixels || !current.pixels || previous.width != current.width ||
        previous.height != current.height)
        return DisplayStreamUpdate(refreshed);

    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < refreshed.size(); ++i) {
        // Whole pixels inside the picture, grown outward like the changed region's edges.
        const Rect& r = refreshed[i];
        const std::int64_t x0 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(r.minX())), 0, current.width);
        const std::int64_t y0 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::floor(r.minY())), 0, current.height);
        const std::int64_t x1 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(r.maxX())), 0, current.width);
        const std::int64_t y1 =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(std::ceil(r.maxY())), 0, current.height);
        if (x1 <= x0 || y1 <= y0) continue;
        const Box box{x0, y0, x1 - x0, y1 - y0};
        Candidate found;
        if (findVertical(previous, current, box, i, found) ||
            findHorizontal(previous, current, box, i, found))
            candidates.push_back(std::move(found));
    }
    if (candidates.empty()) return DisplayStreamUpdate(refreshed);

    // One offset per update: the one that saves the most pixels over all rectangles.
    std::map<std::pair<std::int64_t, std::int64_t>, std::uint64_t> savings;
    for (const Candidate& c : candidates)
        savings[{c.dx, c.dy}] += c.savedPixels;
    const auto best = std::max_element(savings.begin(), savings.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    const auto [dx, dy] = best->first;

    std::vector<bool> replaced(refreshed.size(), false);
    std::vector<Rect> moved;
    std::vector<Rect> changed;
    for (const Candidate& c : candidates) {
        if (c.dx != dx || c.dy != dy) continue;
        replaced[c.rectIndex] = true;
        for (const Box& b : c.moved)
            moved.push_back(toRect(b.x, b.y, b.width, b.height));
        for (const Box& b : c.remaining)
            changed.push_back(toRect(b.x, b.y, b.width, b.height));
    }
    for (std::size_t i = 0; i < refreshed.size(); ++i)
        if (!replaced[i]) changed.push_back(refreshed[i]);
    return DisplayStreamUpdate(std::move(changed), std::move(moved), static_cast<double>(dx),
                               static_cast<double>(dy));
}

} // namespace vtl
