#pragma once
// Finds scrolled content in a display update: the damage extension reports a scroll as one large
// changed rectangle, although most of it is the previous picture's content shifted. For each
// changed rectangle the detector compares row (and column) hashes of the new picture with those of
// the previous one over a bounded search range, confirms the candidate pixel by pixel, and turns
// the shifted part into moved rectangles, leaving only what is really new (the exposed strip) as
// changed. An update carries one move offset, so the offset that saves the most pixels wins.
// Owned by one display stream, used on its thread only; it keeps scratch space between calls.

#include "platform/capture/DisplayStreamUpdate.h"
#include "platform/foundation/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vtl {

// Read-only view of 32-bit B, G, R, X pixels, rows top to bottom.
struct PixelView {
    const std::uint8_t* pixels = nullptr;
    std::size_t bytesPerRow = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

class ScrollDetector {
public:
    // Largest shift looked for, in rows or columns.
    static constexpr std::int64_t kSearchRangePixels = 512;
    // Smallest moved block worth a record: shorter runs of shifted rows stay changed.
    static constexpr std::uint32_t kMinimumMovedRows = 8;
    static constexpr std::uint32_t kMinimumMovedColumns = 16;

    // The update that takes `previous` to `current` (same size) when `refreshed` (surface pixels)
    // holds everything that changed: shifted content as moved rectangles at their new position,
    // with the one offset pointing back to where their pixels were, the rest as refreshed
    // rectangles. Without any shifted content the rectangles come back as they were.
    DisplayStreamUpdate detect(const PixelView& previous, const PixelView& current,
                               const std::vector<Rect>& refreshed);

private:
    struct Box {
        std::int64_t x = 0, y = 0, width = 0, height = 0;
    };
    struct Candidate {
        std::int64_t dx = 0, dy = 0;
        std::size_t rectIndex = 0;
        std::vector<Box> moved;
        std::vector<Box> remaining;
        std::uint64_t savedPixels = 0;
    };
    bool findVertical(const PixelView& previous, const PixelView& current, const Box& box,
                      std::size_t rectIndex, Candidate& out);
    bool findHorizontal(const PixelView& previous, const PixelView& current, const Box& box,
                        std::size_t rectIndex, Candidate& out);
    // Picks the shift that most rows (columns) of `fresh` find among `old`, where index i of
    // `fresh` sits at position firstFresh + i and of `old` at firstOld + i. Answers the number of
    // votes it got.
    std::size_t vote(const std::vector<std::uint64_t>& fresh, std::int64_t firstFresh,
                     const std::vector<std::uint64_t>& old, std::int64_t firstOld, std::int64_t& shift);

    std::vector<std::uint64_t> freshHashes_;
    std::vector<std::uint64_t> oldHashes_;
    std::vector<std::pair<std::uint64_t, std::int64_t>> sortedOld_;
    std::vector<std::uint32_t> votes_;
};

} // namespace vtl
