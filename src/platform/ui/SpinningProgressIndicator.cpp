#include "platform/ui/SpinningProgressIndicator.h"

#include "platform/graphics/GraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vtl {

SpinningProgressIndicator::SpinningProgressIndicator(const Rect& frame)
    : View(frame) {
    timer_.setInterval(1000 / spokeCount);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { advance(); });
}

void SpinningProgressIndicator::startAnimation() {
    if (!timer_.isActive()) timer_.start();
}

void SpinningProgressIndicator::stopAnimation() {
    timer_.stop();
    update();
}

void SpinningProgressIndicator::advance() {
    phase_ = (phase_ + 1) % spokeCount;
    update();
}

void SpinningProgressIndicator::drawRect(GraphicsContext& context, const Rect&) {
    const Rect b = bounds();
    const double radius = std::min(b.width(), b.height()) * 0.5;
    if (radius <= 0) return;
    const Point centre = b.center();
    context.saveGState();
    context.setLineCap(LineCap::Round);
    context.setLineWidth(std::max(1.0, radius * 0.16));
    for (int i = 0; i < spokeCount; ++i) {
        // Spokes clockwise from the top; the brightest is the phase, the others fade behind it.
        const double angle = std::numbers::pi / 2 - 2 * std::numbers::pi * i / spokeCount;
        const int behind = ((phase_ - i) % spokeCount + spokeCount) % spokeCount;
        const double alpha = isAnimating() ? 1.0 - 0.75 * behind / (spokeCount - 1) : 0.35;
        context.setStrokeColor(Color::white(0.2, alpha));
        context.beginPath();
        context.moveTo(
            Point{centre.x + std::cos(angle) * radius * 0.45, centre.y + std::sin(angle) * radius * 0.45});
        context.addLineTo(
            Point{centre.x + std::cos(angle) * radius * 0.85, centre.y + std::sin(angle) * radius * 0.85});
        context.strokePath();
    }
    context.restoreGState();
}

} // namespace vtl
