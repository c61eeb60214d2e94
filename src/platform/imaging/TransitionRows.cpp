#include "platform/imaging/TransitionRows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl::detail {

const std::uint8_t* InputView::row(int y, int x0, int width, std::uint8_t* scratch) const {
    if (y >= region.y && y < region.maxY() && x0 >= region.x && x0 + width <= region.maxX())
        return span.row(y - region.y) + std::ptrdiff_t(x0 - region.x) * 4;
    std::memset(scratch, 0, std::size_t(width) * 4);
    if (y < region.y || y >= region.maxY()) return scratch;
    int from = std::max(x0, region.x), to = std::min(x0 + width, region.maxX());
    if (to > from)
        std::memcpy(scratch + std::ptrdiff_t(from - x0) * 4, span.row(y - region.y) + std::ptrdiff_t(from - region.x) * 4,
                    std::size_t(to - from) * 4);
    return scratch;
}

void InputView::sampleNearEdge(std::int64_t fx, std::int64_t fy, std::uint8_t* out) const {
    std::memset(out, 0, 4);
    const std::int64_t ix = (fx >> 16) - region.x, iy = (fy >> 16) - region.y;
    if (ix < -1 || iy < -1 || ix >= region.width || iy >= region.height) return;
    static const std::uint8_t transparent[4] = {0, 0, 0, 0};
    const std::uint8_t* taps[4];
    for (int k = 0; k < 4; ++k) {
        std::int64_t tx = ix + (k & 1), ty = iy + (k >> 1);
        taps[k] = tx >= 0 && ty >= 0 && tx < region.width && ty < region.height ? span.row(int(ty)) + tx * 4
                                                                              : transparent;
    }
    blendScalar(taps[0], taps[1], taps[2], taps[3], int(fx >> 9) & 127, int(fy >> 9) & 127, out);
}

RowProjection::RowProjection(double ux, double offset, int x0, int x1)
    : ux_(ux)
    , offset_(offset)
    , x0_(x0)
    , x1_(x1) {}

int RowProjection::edge(double threshold) const {
    double v = (threshold - offset_) / ux_ - 0.5;
    v = ux_ > 0 ? std::ceil(v) : std::floor(v) + 1;
    if (std::isnan(v)) return x0_;
    if (v <= x0_) return x0_;
    if (v >= x1_) return x1_;
    return int(v);
}

PixelRun RowProjection::between(double low, double high) const {
    if (!(low < high)) return {x0_, x0_};
    // Along a direction (nearly) across the row every pixel has the same position.
    if (std::fabs(ux_) < 1e-9) return low <= offset_ && offset_ < high ? PixelRun{x0_, x1_} : PixelRun{x0_, x0_};
    if (ux_ > 0) return {edge(low), edge(high)};
    return {edge(high), edge(low)};
}

Sweep::Sweep(const Rect& area, double angleRadians)
    : ux_(std::cos(angleRadians))
    , uy_(std::sin(angleRadians)) {
    if (area.isEmpty()) return;
    const double xs[2] = {area.minX(), area.maxX()}, ys[2] = {area.minY(), area.maxY()};
    low_ = HUGE_VAL;
    high_ = -HUGE_VAL;
    for (double x : xs)
        for (double y : ys) {
            low_ = std::min(low_, x * ux_ + y * uy_);
            high_ = std::max(high_, x * ux_ + y * uy_);
        }
}

RowScratch::RowScratch(int width, int rows)
    : rowBytes_(std::size_t(std::max(width, 0)) * 4)
    , buffers_(rowBytes_ * std::size_t(std::max(rows, 1))) {}

ShadingTable::ShadingTable(const InputView& view, double minX, double width, double midY)
    : present_(true) {
    // Pixel centres only, so the table never fades into the transparency around the image.
    const double first = width >= 1 ? minX + 0.5 : minX + width * 0.5;
    const double span = width >= 1 ? width - 1 : 0;
    for (int i = 0; i <= steps; ++i)
        view.sample(first + span * i / steps, midY, light_[std::size_t(i)].data());
}

const std::uint8_t* ShadingTable::at(double u) const {
    int i = u > 0 ? (u < 1 ? int(u * steps + 0.5) : steps) : 0;
    return light_[std::size_t(i)].data();
}

PixelShift pixelShift(double distance, double ux, double uy) {
    static constexpr double limit = double(1 << 29);
    auto whole = [](double v) { return std::isfinite(v) ? int(std::clamp(std::round(v), -limit, limit)) : 0; };
    return {whole(distance * ux), whole(distance * uy)};
}

PixelRegion regionMovedBy(const PixelRegion& region, double dx0, double dy0, double dx1, double dy1, int margin) {
    if (region.isEmpty()) return {};
    Rect r = region.rect();
    Rect moved = r.offsetBy(dx0, dy0).unionWith(r.offsetBy(dx1, dy1));
    return pixelRegionCovering(moved).grownBy(margin);
}

} // namespace vtl::detail
