#pragma once
// A made-up screen for tests, benchmarks and the developer tool: a still background with
// rectangles that move, rectangles whose content changes, and optionally a scrolling area that
// produces moved blocks. Every update says exactly what changed, like a capture would.

#include "platform/foundation/Geometry.h"
#include "recorder/RecorderSurface.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vtl {

struct SyntheticScreenSettings {
    std::uint32_t width = 1920;
    std::uint32_t height = 1080;
    unsigned movingRects = 2;
    std::uint32_t movingRectSize = 96;
    unsigned changingRects = 2;
    std::uint32_t changingRectWidth = 240;
    std::uint32_t changingRectHeight = 24;
    // A scrolling area on the right half, moved up by scrollStepRows every frame.
    bool movedBlocks = false;
    std::uint32_t scrollStepRows = 8;
    std::uint64_t seed = 1;
    // A row of black and white cells at the top-left that codes the frame number (lowest bit
    // first, white = 1), so a player's output can be matched to the frame it shows.
    bool frameNumberBlock = false;
};

struct SyntheticUpdate {
    std::shared_ptr<MemorySurface> surface; // the source's own surface, changed in place
    std::vector<Rect> changedRects;         // y downward, surface pixels
    std::vector<Rect> movedRects;
    double movedDeltaX = 0;
    double movedDeltaY = 0;
};

class SyntheticScreenSource {
public:
    static constexpr std::uint32_t frameNumberCellPixels = 16;
    static constexpr std::uint32_t frameNumberBits = 16;

    explicit SyntheticScreenSource(SyntheticScreenSettings settings);

    // The next picture; the first one reports the whole surface as changed. The surface is
    // changed again by the following call, so copy what is needed first.
    SyntheticUpdate nextFrame();
    std::uint64_t frameNumber() const { return frameNumber_; }
    // An independent copy of the current picture.
    std::shared_ptr<MemorySurface> snapshot() const;

private:
    struct Mover {
        double x, y, vx, vy;
        std::uint32_t colour;
    };
    void paintBackground();
    void restoreBackground(const Rect& rect);
    void fillRect(const Rect& rect, std::uint32_t colour, bool framed);
    void paintChanging(const Rect& rect, std::uint64_t step);
    void paintScrollRows(std::uint32_t firstRow, std::uint32_t rowCount);
    void paintFrameNumber(std::uint64_t frame, SyntheticUpdate& update);
    std::uint32_t scrollPixel(std::uint64_t documentRow, std::uint32_t x) const;
    std::uint64_t random();

    SyntheticScreenSettings settings_;
    std::shared_ptr<MemorySurface> surface_;
    std::vector<std::uint8_t> background_;
    std::vector<Mover> movers_;
    std::vector<Rect> changing_;
    Rect scrollArea_;
    std::uint64_t scrollOffset_ = 0;
    std::uint64_t frameNumber_ = 0;
    std::uint64_t random_;
};

} // namespace vtl
