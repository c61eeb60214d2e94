#pragma once
// An update stored as moved blocks (copied from the previous picture) plus JPEG-compressed
// changed rectangles. Many small rectangles are merged first, and all their pixels share one
// pool block, so a frame of small changes costs few buffers.

#include "recorder/VTL3RecorderFrame.h"

#include <span>
#include <vector>

namespace vtl {

class VTLRecorderMoveChangeBlockFrame final : public VTL3RecorderFrame {
public:
    // Changed rectangles of one frame are merged down to at most this many before encoding.
    static constexpr std::size_t kMaximumChangedRects = 32;

    // Rectangles in surface pixels, y downward; the move offset points from a moved rectangle back
    // to where its pixels were.
    VTLRecorderMoveChangeBlockFrame(std::shared_ptr<RecorderSurface> surface, Rect recordedRect,
                                    double timeSeconds, std::int64_t frameIndex,
                                    std::span<const Rect> movedRects, double movedRectDeltaX,
                                    double movedRectDeltaY, std::span<const Rect> changedRects);

    bool processSurface(VTLMallocPool& pool) override;
    Result<EncodedFrame> encode(FrameEncoder& encoder) override;
    double costToEncodeFrame() const override { return cost_; }
    bool isMovieEncodableNonMetaFrame() const override { return true; }

    // Integer rectangle inside the surface.
    struct PixelRect {
        std::uint64_t x = 0, y = 0, width = 0, height = 0;
        std::uint64_t area() const { return width * height; }
        bool operator==(const PixelRect&) const = default;
    };
    // Clips to the surface, drops empty rectangles and merges the rest down to `maximumCount`
    // rectangles that together cover every input pixel.
    static std::vector<PixelRect> coalesceRects(std::span<const Rect> rects, std::uint64_t surfaceWidth,
                                                std::uint64_t surfaceHeight, std::size_t maximumCount);
    // Rectangles of 147,456 pixels or more become ceil(area / 147,456) horizontal bands of
    // floor(height / n) rows, the last band taking the rest.
    static void splitIntoBands(const PixelRect& rect, std::vector<PixelRect>& out);

    const std::vector<PixelRect>& changedBands() const { return bands_; }

private:
    std::vector<Rect> changedRects_; // as reported, until processed
    std::vector<PixelRect> bands_;   // what is stored, after merging and splitting
    std::vector<std::size_t> bandOffsets_;
    std::vector<Rect> movedRects_;
    double movedRectDeltaX_ = 0;
    double movedRectDeltaY_ = 0;
    double cost_ = 0;
    PoolBlock imageData_;
};

} // namespace vtl
