#include "platform/capture/CaptureGeometry.h"

#include <algorithm>
#include <limits>

namespace vtl {

// y mirrors about the reference's bottom edge: the bottom edge in one space is the top in the other.
Rect X11CoordinateSpace::fromX11(const Rect& x11) const {
    Rect r = x11.standardized();
    return {r.minX() - reference_.minX(), reference_.maxY() - r.maxY(), r.width(), r.height()};
}

Rect X11CoordinateSpace::toX11(const Rect& yUp) const {
    Rect r = yUp.standardized();
    return {r.minX() + reference_.minX(), reference_.maxY() - r.maxY(), r.width(), r.height()};
}

Point X11CoordinateSpace::fromX11(Point x11) const {
    return {x11.x - reference_.minX(), reference_.maxY() - x11.y};
}

Point X11CoordinateSpace::toX11(Point yUp) const {
    return {yUp.x + reference_.minX(), reference_.maxY() - yUp.y};
}

ChangedRegion::ChangedRegion(std::size_t maximumCount)
    : maximumCount_(std::max<std::size_t>(1, maximumCount)) {}

void ChangedRegion::add(const Rect& rect) {
    if (rect.isEmpty()) return;
    Rect r = rect.integral();
    for (const Rect& held : rects_)
        if (held.containsRect(r)) return;
    // Rectangles the new one swallows add nothing.
    std::erase_if(rects_, [&](const Rect& held) { return r.containsRect(held); });
    rects_.push_back(r);
    while (rects_.size() > maximumCount_)
        mergeCheapestPair();
}

void ChangedRegion::add(const std::vector<Rect>& rects) {
    for (const Rect& r : rects)
        add(r);
}

void ChangedRegion::mergeCheapestPair() {
    auto area = [](const Rect& r) { return r.width() * r.height(); };
    double bestCost = std::numeric_limits<double>::infinity();
    std::size_t bestI = 0, bestJ = 1;
    for (std::size_t i = 0; i < rects_.size(); ++i) {
        for (std::size_t j = i + 1; j < rects_.size(); ++j) {
            const Rect& a = rects_[i];
            const Rect& b = rects_[j];
            double covered = area(a) + area(b) - area(a.intersection(b));
            double cost = area(a.unionWith(b)) - covered;
            if (cost < bestCost) {
                bestCost = cost;
                bestI = i;
                bestJ = j;
            }
        }
    }
    Rect merged = rects_[bestI].unionWith(rects_[bestJ]);
    rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(bestJ));
    rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(bestI));
    std::erase_if(rects_, [&](const Rect& held) { return merged.containsRect(held); });
    rects_.push_back(merged);
}

} // namespace vtl
