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
        std::memcpy(scratch + std::ptrdiff_t(from - x0) * 4,
                    span.row(y - region.y) + std::ptrdiff_t(from - region.x) * 4, std::size_t(to - from) * 4);
    return scratch;
}

// Some of the four taps lie outside the view (sampleFixed has sent the others elsewhere).
void InputView::sampleNearEdge(std::int64_t fx, std::int64_t fy, std::uint8_t* out) const {
    const std::int64_t ix = (fx >> 16) - region.x, iy = (fy >> 16) - region.y;
    static const std::uint8_t transparent[4] = {0, 0, 0, 0};
    const std::uint8_t* taps[4];
    for (int k = 0; k < 4; ++k) {
        std::int64_t tx = ix + (k & 1), ty = iy + (k >> 1);
        taps[k] = tx >= 0 && ty >= 0 && tx < region.width && ty < region.height ? span.row(int(ty)) + tx * 4
                                                                                : transparent;
    }
    blendScalar(taps[0], taps[1], taps[2], taps[3], int(fx >> 9) & 127, int(fy >> 9) & 127, out);
}

namespace {

std::int64_t floorDivide(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// The x with low ≤ start + step · x ≤ high, as [first, last + 1), unbounded ends as given.
PixelRun solveLinear(std::int64_t start, std::int64_t step, std::int64_t low, std::int64_t high, int begin,
                     int end) {
    if (step == 0) return low <= start && start <= high ? PixelRun{begin, end} : PixelRun{begin, begin};
    std::int64_t first, last;
    if (step > 0) {
        first = -floorDivide(-(low - start), step);
        last = floorDivide(high - start, step);
    } else {
        first = -floorDivide(-(high - start), step);
        last = floorDivide(low - start, step);
    }
    first = std::max<std::int64_t>(first, begin);
    last = std::min<std::int64_t>(last, std::int64_t(end) - 1);
    return last < first ? PixelRun{begin, begin} : PixelRun{int(first), int(last + 1)};
}

} // namespace

PixelRun InputView::runReading(int begin, int end, std::int64_t startX, std::int64_t stepX,
                               std::int64_t startY, std::int64_t stepY, bool anyTap) const {
    if (region.isEmpty() || end <= begin || (!anyTap && (region.width < 2 || region.height < 2)))
        return {begin, begin};
    constexpr std::int64_t one = 65536;
    // Quick case: the taps' lower-left pixel from the first to the last but one; any tap: from one
    // before the first to the last.
    const std::int64_t before = anyTap ? 1 : 0, after = anyTap ? 0 : 1;
    PixelRun xs = solveLinear(startX, stepX, (region.x - before) * one,
                              (std::int64_t(region.x) + region.width - after) * one - 1, begin, end);
    PixelRun ys = solveLinear(startY, stepY, (region.y - before) * one,
                              (std::int64_t(region.y) + region.height - after) * one - 1, begin, end);
    PixelRun both{std::max(xs.begin, ys.begin), std::min(xs.end, ys.end)};
    return both.isEmpty() ? PixelRun{begin, begin} : both;
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
    if (std::fabs(ux_) < 1e-9)
        return low <= offset_ && offset_ < high ? PixelRun{x0_, x1_} : PixelRun{x0_, x0_};
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

PixelShift pixelShift(double distance, double ux, double uy) {
    static constexpr double limit = double(1 << 29);
    auto whole = [](double v) {
        return std::isfinite(v) ? int(std::clamp(std::round(v), -limit, limit)) : 0;
    };
    return {whole(distance * ux), whole(distance * uy)};
}

PixelRegion regionMovedBy(const PixelRegion& region, double dx0, double dy0, double dx1, double dy1,
                          int margin) {
    if (region.isEmpty()) return {};
    Rect r = region.rect();
    Rect moved = r.offsetBy(dx0, dy0).unionWith(r.offsetBy(dx1, dy1));
    return pixelRegionCovering(moved).grownBy(margin);
}

} // namespace vtl::detail
