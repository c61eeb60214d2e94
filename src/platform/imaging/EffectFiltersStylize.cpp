// Stylizing effects: the picture rebuilt from cells (squares, hexagons, crystals, dots) or drawn
// as a black and white halftone screen. Cells and screens are laid out from the centre, so moving
// the centre moves the pattern.

#include "platform/imaging/EffectFilter.h"
#include "platform/imaging/EffectKernelNodes.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterAttributeBuilders.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace vtl::detail {

namespace {

constexpr double pi = std::numbers::pi;
const std::string stylizeCategory = "CICategoryStylize";
const std::string halftoneCategory = "CICategoryHalftoneEffect";

// Cells of `size` pixels along one axis from `origin`: which cell a pixel column (or row) is in,
// and the first pixel of a cell. Membership is decided by cellOf alone, so cells tile exactly.
struct CellAxis {
    double origin, size;
    std::int64_t cellOf(std::int64_t x) const {
        return std::int64_t(std::floor((double(x) + 0.5 - origin) / size));
    }
    std::int64_t firstPixel(std::int64_t cell) const {
        auto x = std::int64_t(std::ceil(origin + double(cell) * size - 0.5));
        while (cellOf(x - 1) >= cell)
            --x;
        while (cellOf(x) < cell)
            ++x;
        return x;
    }
};

// Square cells, each filled with the mean of its pixels.
class PixellateKernel final : public KernelNode {
public:
    PixellateKernel(ImageNodeRef input, Point center, double size)
        : KernelNode(grownRect(input->extent(), size + 1, size + 1), {input})
        , xs_{center.x, size}
        , ys_{center.y, size} {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        std::int64_t x0 = xs_.firstPixel(xs_.cellOf(region.x)),
                     x1 = xs_.firstPixel(xs_.cellOf(region.maxX() - 1) + 1);
        std::int64_t y0 = ys_.firstPixel(ys_.cellOf(region.y)),
                     y1 = ys_.firstPixel(ys_.cellOf(region.maxY() - 1) + 1);
        return {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelRegion need = regionOfInput(0, region);
        for (std::int64_t cy = ys_.cellOf(region.y); cy <= ys_.cellOf(region.maxY() - 1); ++cy) {
            const std::int64_t top0 = ys_.firstPixel(cy), top1 = ys_.firstPixel(cy + 1);
            for (std::int64_t cx = xs_.cellOf(region.x); cx <= xs_.cellOf(region.maxX() - 1); ++cx) {
                const std::int64_t left0 = xs_.firstPixel(cx), left1 = xs_.firstPixel(cx + 1);
                std::uint32_t sum[4] = {0, 0, 0, 0};
                for (std::int64_t y = top0; y < top1; ++y) {
                    const std::uint8_t* p = in[0].row(int(y - need.y)) + (left0 - need.x) * 4;
                    for (std::int64_t x = left0; x < left1; ++x, p += 4)
                        for (int c = 0; c < 4; ++c)
                            sum[c] += p[c];
                }
                const auto count = std::uint32_t((top1 - top0) * (left1 - left0));
                std::uint8_t mean[4];
                for (int c = 0; c < 4; ++c)
                    mean[c] = std::uint8_t((sum[c] + count / 2) / count);
                const int xa = int(std::max<std::int64_t>(left0, region.x)),
                          xb = int(std::min<std::int64_t>(left1, region.maxX()));
                const int ya = int(std::max<std::int64_t>(top0, region.y)),
                          yb = int(std::min<std::int64_t>(top1, region.maxY()));
                for (int y = ya; y < yb; ++y) {
                    std::uint8_t* d = out.row(y - region.y) + std::ptrdiff_t(xa - region.x) * 4;
                    for (int x = xa; x < xb; ++x, d += 4)
                        std::memcpy(d, mean, 4);
                }
            }
        }
    }

private:
    CellAxis xs_, ys_;
};

CIImage pixellate(const EffectFilter& f, const CIImage& input) {
    return EffectFilter::imageOf(
        input, std::make_shared<PixellateKernel>(input.node(), f.center(), f.ranged("inputScale")));
}

// Hexagonal cells in rows `size` apart horizontally, every other row shifted by half a cell; each
// cell shows the colour at its centre.
class HexagonalPixellateKernel final : public KernelNode {
public:
    HexagonalPixellateKernel(ImageNodeRef input, Point center, double size)
        : KernelNode(grownRect(input->extent(), size + 2, size + 2), {input})
        , c_(center)
        , s_(size)
        , h_(size * std::sqrt(3.0) / 2) {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return region.grownBy(int(std::ceil(s_)) + 2).intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelSampler sampler(in[0], regionOfInput(0, region));
        for (int j = 0; j < region.height; ++j) {
            const double py = region.y + j + 0.5 - c_.y;
            const std::int64_t row0 = floorToInt(py / h_);
            std::int64_t cachedRow = 0, cachedColumn = 0;
            bool cached = false;
            std::uint8_t colour[4] = {0, 0, 0, 0};
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4) {
                const double px = region.x + i + 0.5 - c_.x;
                std::int64_t bestRow = 0, bestColumn = 0;
                double best = HUGE_VAL;
                for (std::int64_t row = row0; row <= row0 + 1; ++row) {
                    const double shift = (row & 1) ? 0.5 : 0.0;
                    const std::int64_t column = floorToInt(px / s_ - shift + 0.5);
                    const double dx = px - (double(column) + shift) * s_, dy = py - double(row) * h_;
                    const double distance = dx * dx + dy * dy;
                    if (distance < best) {
                        best = distance;
                        bestRow = row;
                        bestColumn = column;
                    }
                }
                if (!cached || bestRow != cachedRow || bestColumn != cachedColumn) {
                    const double shift = (bestRow & 1) ? 0.5 : 0.0;
                    sampler.bilinear(c_.x + (double(bestColumn) + shift) * s_, c_.y + double(bestRow) * h_,
                                     colour);
                    cached = true;
                    cachedRow = bestRow;
                    cachedColumn = bestColumn;
                }
                std::memcpy(d, colour, 4);
            }
        }
    }

private:
    Point c_;
    double s_, h_;
};

CIImage hexagonalPixellate(const EffectFilter& f, const CIImage& input) {
    return EffectFilter::imageOf(
        input, std::make_shared<HexagonalPixellateKernel>(input.node(), f.center(), f.ranged("inputScale")));
}

// One point per square cell of a grid laid from the centre, placed in the cell by a hash of the
// cell, with the points of the cells around a region (and a colour for each) kept for the
// region's pixels.
class JitteredPoints {
public:
    // Points of the cells around `region`, one cell beyond it; `inset` keeps points that far (as a
    // fraction of the cell) from the cell's edges.
    JitteredPoints(Point center, double cell, double inset, const PixelRegion& region)
        : c_(center)
        , cell_(cell) {
        i0_ = cellOf(region.x + 0.5, c_.x) - 1;
        j0_ = cellOf(region.y + 0.5, c_.y) - 1;
        columns_ = int(cellOf(region.maxX() - 0.5, c_.x) + 1 - i0_ + 1);
        const int rows = int(cellOf(region.maxY() - 0.5, c_.y) + 1 - j0_ + 1);
        points_.resize(std::size_t(columns_) * std::size_t(rows));
        for (int b = 0; b < rows; ++b)
            for (int a = 0; a < columns_; ++a) {
                double jx, jy;
                cellJitter(i0_ + a, j0_ + b, jx, jy);
                points_[std::size_t(b) * std::size_t(columns_) + std::size_t(a)] = {
                    c_.x + (double(i0_ + a) + inset + (1 - 2 * inset) * jx) * cell_,
                    c_.y + (double(j0_ + b) + inset + (1 - 2 * inset) * jy) * cell_};
            }
        colors_.resize(points_.size());
        xs_.resize(points_.size());
        for (std::size_t i = 0; i < points_.size(); ++i)
            xs_[i] = points_[i].x;
        columnCells_.resize(std::size_t(region.width));
        for (int i = 0; i < region.width; ++i)
            columnCells_[std::size_t(i)] = int(cellOf(region.x + i + 0.5, c_.x) - i0_);
        x0_ = region.x;
    }

    std::size_t size() const { return points_.size(); }
    const Point& point(std::size_t i) const { return points_[i]; }
    // The colour kept for point i.
    std::array<std::uint8_t, 4>& color(std::size_t i) { return colors_[i]; }
    const std::array<std::uint8_t, 4>& color(std::size_t i) const { return colors_[i]; }

    // For the pixel centres of row y of the region, the nearest point among the 3 × 3 cells around
    // each one's cell and its squared distance; the cells of each column and the squared vertical
    // distances of the row's three cell rows are worked out once, not per pixel.
    void nearestInRow(int y, std::vector<std::uint32_t>& index, std::vector<double>& distanceSquared) {
        const double cy = y + 0.5;
        const auto cj = std::size_t(cellOf(cy, c_.y) - j0_);
        const auto columns = std::size_t(columns_);
        rowDy_.resize(3 * columns);
        for (std::size_t b = 0; b < 3; ++b)
            for (std::size_t a = 0; a < columns; ++a) {
                const double dy = points_[(cj - 1 + b) * columns + a].y - cy;
                rowDy_[b * columns + a] = dy * dy;
            }
        const std::size_t width = columnCells_.size();
        index.resize(width);
        distanceSquared.resize(width);
        for (std::size_t i = 0; i < width; ++i) {
            const double x = x0_ + double(i) + 0.5;
            const auto ci = std::size_t(columnCells_[i]);
            std::size_t best = 0;
            double nearest = HUGE_VAL;
            for (std::size_t b = 0; b < 3; ++b) {
                const double* xs = xs_.data() + (cj - 1 + b) * columns;
                const double* dys = rowDy_.data() + b * columns;
                for (std::size_t a = ci - 1; a <= ci + 1; ++a) {
                    const double dx = xs[a] - x, d = dx * dx + dys[a];
                    if (d < nearest) {
                        nearest = d;
                        best = (cj - 1 + b) * columns + a;
                    }
                }
            }
            index[i] = std::uint32_t(best);
            distanceSquared[i] = nearest;
        }
    }

private:
    std::int64_t cellOf(double v, double origin) const { return floorToInt((v - origin) / cell_); }

    Point c_;
    double cell_;
    std::int64_t i0_ = 0, j0_ = 0;
    int columns_ = 0, x0_ = 0;
    std::vector<Point> points_;
    std::vector<std::array<std::uint8_t, 4>> colors_;
    std::vector<double> xs_, rowDy_;
    std::vector<int> columnCells_; // the cell column of each pixel column of the region
};

// Crystals: each pixel takes the colour of the input under the nearest of the jittered points.
class CrystallizeKernel final : public KernelNode {
public:
    CrystallizeKernel(ImageNodeRef input, Point center, double radius)
        : KernelNode(grownRect(input->extent(), 2 * radius + 2, 2 * radius + 2), {input})
        , c_(center)
        , r_(radius) {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return region.grownBy(int(std::ceil(2 * r_)) + 2).intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelSampler sampler(in[0], regionOfInput(0, region));
        JitteredPoints points(c_, r_, 0, region);
        for (std::size_t i = 0; i < points.size(); ++i) {
            const std::uint8_t* s =
                sampler.pixel(floorToInt(points.point(i).x), floorToInt(points.point(i).y));
            points.color(i) =
                s ? std::array<std::uint8_t, 4>{s[0], s[1], s[2], s[3]} : std::array<std::uint8_t, 4>{};
        }
        std::vector<std::uint32_t> nearest;
        std::vector<double> distances;
        for (int j = 0; j < region.height; ++j) {
            points.nearestInRow(region.y + j, nearest, distances);
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4)
                std::memcpy(d, points.color(nearest[std::size_t(i)]).data(), 4);
        }
    }

private:
    Point c_;
    double r_;
};

CIImage crystallize(const EffectFilter& f, const CIImage& input) {
    return EffectFilter::imageOf(
        input, std::make_shared<CrystallizeKernel>(input.node(), f.center(), f.ranged("inputRadius")));
}

// Dots of the radius, one in each cell twice the radius wide, coloured by the input at their
// centres, on white paper as opaque as the input.
class PointillizeKernel final : public KernelNode {
public:
    PointillizeKernel(ImageNodeRef input, Point center, double radius)
        : KernelNode(grownRect(input->extent(), radius + 2, radius + 2), {input})
        , c_(center)
        , r_(radius) {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return region.grownBy(int(std::ceil(4 * r_)) + 2).intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelSampler sampler(in[0], regionOfInput(0, region));
        JitteredPoints points(c_, 2 * r_, 0.2, region);
        for (std::size_t i = 0; i < points.size(); ++i)
            sampler.bilinear(points.point(i).x, points.point(i).y, points.color(i).data());
        // Whole dot inside r − ½, paper beyond r + ½, an anti-aliased rim between.
        const double inner = std::max(r_ - 0.5, 0.0) * std::max(r_ - 0.5, 0.0),
                     outer = (r_ + 0.5) * (r_ + 0.5);
        std::vector<std::uint32_t> nearest;
        std::vector<double> distances;
        for (int j = 0; j < region.height; ++j) {
            const int y = region.y + j;
            points.nearestInRow(y, nearest, distances);
            // The paper under the row, read in one run where the view holds the row whole.
            const PixelRegion& view = sampler.region();
            const std::uint8_t* row =
                y >= view.y && y < view.maxY() && region.x >= view.x && region.maxX() <= view.maxX()
                    ? sampler.pixel(region.x, y)
                    : nullptr;
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4) {
                const std::size_t dot = nearest[std::size_t(i)];
                const double distance = distances[std::size_t(i)];
                if (distance <= inner) {
                    std::memcpy(d, points.color(dot).data(), 4);
                    continue;
                }
                const std::uint8_t* s = row ? row + std::ptrdiff_t(i) * 4 : sampler.pixel(region.x + i, y);
                const std::uint32_t paper = s ? s[3] : 0;
                if (distance >= outer) {
                    d[0] = d[1] = d[2] = d[3] = std::uint8_t(paper);
                    continue;
                }
                const auto cover =
                    std::uint32_t(std::lround(std::clamp(r_ - std::sqrt(distance) + 0.5, 0.0, 1.0) * 255));
                for (int c = 0; c < 4; ++c)
                    d[c] = std::uint8_t(
                        divideBy255(points.color(dot)[std::size_t(c)] * cover + paper * (255 - cover)));
            }
        }
    }

private:
    Point c_;
    double r_;
};

CIImage pointillize(const EffectFilter& f, const CIImage& input) {
    return EffectFilter::imageOf(
        input, std::make_shared<PointillizeKernel>(input.node(), f.center(), f.ranged("inputRadius")));
}

// A halftone screen: black where the luminance lies below the screen's pattern value at the pixel,
// white elsewhere, with an edge as soft as the sharpness leaves it; alpha kept.
template <class Pattern> CIImage screen(const EffectFilter& f, const CIImage& input, Pattern pattern) {
    const double softness = std::max(1 - f.ranged("inputSharpness"), 0.01) * 0.5;
    return EffectFilter::imageOf(
        input, makePositionKernel(input.node(), [pattern, softness](int x0, int y, const std::uint8_t* s,
                                                                    std::uint8_t* d, int n) {
            for (int i = 0; i < n; ++i, s += 4, d += 4) {
                if (s[3] == 0) {
                    std::memset(d, 0, 4);
                    continue;
                }
                const double l = byteLuminance256(s) / (256.0 * s[3]);
                const double white = pattern(x0 + i + 0.5, y + 0.5, l, softness);
                d[0] = d[1] = d[2] = std::uint8_t(std::lround(white * s[3]));
                d[3] = s[3];
            }
        }));
}

// The pixel's position in screen cells: u along the angle, v across it.
struct ScreenAxes {
    Point c;
    double ux, uy; // (cos, sin) / width
    ScreenAxes(Point center, double angle, double width)
        : c(center)
        , ux(std::cos(angle) / width)
        , uy(std::sin(angle) / width) {}
    double u(double x, double y) const { return (x - c.x) * ux + (y - c.y) * uy; }
    double v(double x, double y) const { return (y - c.y) * ux - (x - c.x) * uy; }
};

double whiteAbove(double l, double threshold, double softness) {
    return smoothStep(-softness, softness, l - threshold);
}

CIImage dotScreen(const EffectFilter& f, const CIImage& input) {
    const ScreenAxes axes(f.center(), f.ranged("inputAngle"), f.ranged("inputWidth"));
    return screen(f, input, [axes](double x, double y, double l, double soft) {
        double p = 0.5 + 0.25 * (cosineOfTurns(axes.u(x, y)) + cosineOfTurns(axes.v(x, y)));
        return whiteAbove(l, p, soft);
    });
}

CIImage lineScreen(const EffectFilter& f, const CIImage& input) {
    const ScreenAxes axes(f.center(), f.ranged("inputAngle"), f.ranged("inputWidth"));
    return screen(f, input, [axes](double x, double y, double l, double soft) {
        return whiteAbove(l, 0.5 + 0.5 * cosineOfTurns(axes.v(x, y)), soft);
    });
}

// Lines along the angle for all but the light tones; crossing lines added in the dark ones.
CIImage hatchedScreen(const EffectFilter& f, const CIImage& input) {
    const ScreenAxes axes(f.center(), f.ranged("inputAngle"), f.ranged("inputWidth"));
    return screen(f, input, [axes](double x, double y, double l, double soft) {
        double along = whiteAbove(l, 0.5 + 0.5 * cosineOfTurns(axes.v(x, y)), soft);
        double across = whiteAbove(l, 0.25 + 0.25 * cosineOfTurns(axes.u(x, y)), soft);
        return std::min(along, across);
    });
}

CIImage circularScreen(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const double width = f.ranged("inputWidth");
    return screen(f, input, [c, width](double x, double y, double l, double soft) {
        return whiteAbove(
            l, 0.5 + 0.5 * cosineOfTurns(std::sqrt((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y)) / width),
            soft);
    });
}

std::vector<FilterAttribute> screenInputs(bool withAngle) {
    std::vector<FilterAttribute> inputs{effectImageInput(), centerInput()};
    if (withAngle) inputs.push_back(angleInput(0, -pi, pi));
    inputs.push_back(numberInput("inputWidth", "Width", 6, 1, 50, 1, 50, FilterAttributeType::Distance));
    inputs.push_back(numberInput("inputSharpness", "Sharpness", 0.7, 0, 1, 0, 1));
    return inputs;
}

} // namespace

void registerStylizeEffects() {
    const FilterAttribute image = effectImageInput();
    registerEffect("CIPixellate", "Pixellate", stylizeCategory,
                   {image, centerInput(),
                    numberInput("inputScale", "Scale", 8, 1, 100, 1, 100, FilterAttributeType::Distance)},
                   pixellate);
    registerEffect("CIHexagonalPixellate", "Hexagonal Pixellate", stylizeCategory,
                   {image, centerInput(),
                    numberInput("inputScale", "Scale", 8, 1, 100, 1, 100, FilterAttributeType::Distance)},
                   hexagonalPixellate);
    registerEffect("CICrystallize", "Crystallize", stylizeCategory,
                   {image, centerInput(),
                    numberInput("inputRadius", "Radius", 20, 1, 100, 1, 100, FilterAttributeType::Distance)},
                   crystallize);
    registerEffect("CIPointillize", "Pointillize", stylizeCategory,
                   {image, centerInput(),
                    numberInput("inputRadius", "Radius", 20, 1, 100, 1, 100, FilterAttributeType::Distance)},
                   pointillize);
    registerEffect("CIDotScreen", "Dot Screen", halftoneCategory, screenInputs(true), dotScreen);
    registerEffect("CILineScreen", "Line Screen", halftoneCategory, screenInputs(true), lineScreen);
    registerEffect("CIHatchedScreen", "Hatched Screen", halftoneCategory, screenInputs(true), hatchedScreen);
    registerEffect("CICircularScreen", "Circular Screen", halftoneCategory, screenInputs(false),
                   circularScreen);
}

} // namespace vtl::detail
