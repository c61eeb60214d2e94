#include "drawing/views/VTLProgressIndicator.h"

#include "platform/graphics/GraphicsContext.h"

#include <algorithm>

namespace vtl {

namespace {
constexpr int kFirstFiringMs = 1;
constexpr int kIntervalMs = 1000 / 30;
} // namespace

VTLProgressIndicator::VTLProgressIndicator(const Rect& frame)
    : View(frame) {
    QObject::connect(&indeterminateTimer_, &QTimer::timeout, this, [this] {
        if (indeterminateTimer_.interval() != kIntervalMs) indeterminateTimer_.setInterval(kIntervalMs);
        advanceIndeterminateAnimation();
    });
}

void VTLProgressIndicator::startTimer() {
    if (indeterminateTimer_.isActive()) return;
    indeterminateTimer_.start(kFirstFiringMs);
}

void VTLProgressIndicator::stopTimer() {
    indeterminateTimer_.stop();
}

void VTLProgressIndicator::setIndeterminate(bool indeterminate) {
    indeterminate_ = indeterminate;
    if (indeterminate)
        startTimer();
    else
        stopTimer();
    setNeedsDisplay();
}

void VTLProgressIndicator::setMinimum(double minimum) {
    min_ = minimum;
    setNeedsDisplay();
}

void VTLProgressIndicator::setMaximum(double maximum) {
    max_ = maximum;
    setNeedsDisplay();
}

void VTLProgressIndicator::setCurrent(double current) {
    current_ = current;
    setNeedsDisplay();
}

void VTLProgressIndicator::setVisible(bool visible) {
    View::setVisible(visible);
    if (!visible)
        stopTimer();
    else if (indeterminate_)
        startTimer();
}

void VTLProgressIndicator::advanceIndeterminateAnimation() {
    indeterminateProgress_ = (indeterminateProgress_ + 1) % stripePhases;
    repaint();
}

void VTLProgressIndicator::drawRect(GraphicsContext& context, const Rect&) {
    const Rect b = bounds();
    const double w = b.width(), h = b.height();
    context.saveGState();
    context.setFillColor(Color::deviceRGB(0.7, 0.7, 1.0, 1.0));
    context.fillRect(Rect(0, 0, w, h));
    context.setFillColor(Color::deviceRGB(0, 0, 0.8, 1.0));
    if (!indeterminate_) {
        const double v = std::clamp(current_, std::min(min_, max_), std::max(min_, max_));
        const double range = max_ - min_;
        // An empty range shows an empty bar rather than dividing by zero.
        const float fill = range != 0 ? static_cast<float>((v - min_) * (w / range)) : 0.0f;
        if (fill > 0) context.fillRect(Rect(0, 0, fill, h));
    } else {
        const float stripe = static_cast<float>(w * 0.1);
        const float offset = static_cast<float>(indeterminateProgress_) * 0.13333334f;
        for (int k = -2; k <= 8; k += 2)
            context.fillRect(Rect((static_cast<float>(k) + offset) * stripe, 0, stripe, h));
    }
    context.restoreGState();
}

} // namespace vtl
