#include "drawing/views/VTLSimpleSlider.h"

#include "drawing/BezierPathAdditions.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"

#include <QPalette>
#include <algorithm>
#include <cmath>

namespace vtl {

VTLSimpleSlider::VTLSimpleSlider(const Rect& frame, Creation creation)
    : View(frame)
    , knobSize_(creation == Creation::FromInterfaceFile ? 16 : 14) {}

void VTLSimpleSlider::setMinimum(double minimum) {
    minimum_ = minimum;
    setNeedsDisplay();
}

void VTLSimpleSlider::setMaximum(double maximum) {
    maximum_ = maximum;
    setNeedsDisplay();
}

void VTLSimpleSlider::setCurrent(double current) {
    setObservedValue("current", current_, std::min(current, maximum_));
    setNeedsDisplay();
}

void VTLSimpleSlider::setFrame(const Rect& frame) {
    View::setFrame(frame);
    setNeedsDisplay();
}

Rect VTLSimpleSlider::trackRect() const {
    const double inset = static_cast<double>(knobSize_);
    const Rect b = bounds();
    return Rect(b.minX() + inset, b.minY(), b.width() - 2 * inset, b.height());
}

float VTLSimpleSlider::pixelPositionToFraction(float x) const {
    const Rect track = trackRect();
    const float width = static_cast<float>(track.width());
    // A slider narrower than two knobs has no track to slide along.
    if (!(width > 0)) return 0;
    const float fraction = (x - static_cast<float>(track.minX())) / width;
    if (std::isnan(fraction) || fraction < 0) return 0;
    return fraction > 1 ? 1 : fraction;
}

float VTLSimpleSlider::fractionToPixelPosition(float fraction) const {
    const Rect track = trackRect();
    return fraction * static_cast<float>(track.width()) + static_cast<float>(track.minX());
}

Rect VTLSimpleSlider::knobRect() const {
    const std::int64_t k =
        mouseIsDown_ ? knobSize_ : static_cast<std::int64_t>(static_cast<float>(knobSize_) * 0.6f);
    const Rect b = bounds();
    const auto cy = static_cast<std::int64_t>(b.minY() + b.height() * 0.5);
    const double range = maximum_ - minimum_;
    // A zero range puts the knob at the start rather than dividing by zero.
    const double fraction = range != 0 && std::isfinite(range) ? (current_ - minimum_) / range : 0;
    const double x = fractionToPixelPosition(static_cast<float>(fraction));
    const std::int64_t half = k / 2;
    return Rect(x - double(half), double(cy - half), double(k), double(k));
}

double VTLSimpleSlider::valueAtWindowPoint(Point windowPoint) const {
    const Point p = convertPointFromWindow(windowPoint);
    const double fraction = pixelPositionToFraction(static_cast<float>(p.x));
    const double value = fraction * (maximum_ - minimum_) + minimum_;
    return std::clamp(value, std::min(minimum_, maximum_), std::max(minimum_, maximum_));
}

void VTLSimpleSlider::mouseDown(const MouseEvent& event) {
    if (interactionDisabled_) return;
    setObservedValue("mouseIsDown", mouseIsDown_, true);
    setObservedValue("current", current_, valueAtWindowPoint(event.locationInWindow));
    setNeedsDisplay();
}

void VTLSimpleSlider::mouseDragged(const MouseEvent& event) {
    if (interactionDisabled_) return;
    setObservedValue("current", current_, valueAtWindowPoint(event.locationInWindow));
    if (action_) {
        const Action action = action_;
        action(*this);
    }
    setNeedsDisplay();
}

void VTLSimpleSlider::mouseUp(const MouseEvent&) {
    if (interactionDisabled_) return;
    setObservedValue("mouseIsDown", mouseIsDown_, false);
    setNeedsDisplay();
}

void VTLSimpleSlider::drawRect(GraphicsContext& context, const Rect&) {
    if (!(maximum_ > 0)) return;
    const Rect knob = knobRect();
    const Rect b = bounds();
    const auto cy = static_cast<std::int64_t>(b.minY() + b.height() * 0.5);
    const Rect track = trackRect();

    context.saveGState();
    context.setShadow(Size{0, -1}, 2, Color::black().withAlpha(0.5));
    context.setFillColor(Color::whiteColor());
    context.fillEllipseInRect(knob);
    context.setShadow(Size{0, 0}, 0, std::nullopt);

    context.setShadow(Size{0, -1}, 0, Color::whiteColor().withAlpha(0.3));
    context.setFillColor(Color::black().withAlpha(0.2));
    context.fill(BezierPathAdditions::pathWithRect(Rect(track.minX(), double(cy) - 3, track.width(), 6), 3));
    context.setShadow(Size{0, 0}, 0, std::nullopt);

    const Color selection = qt::fromQColor(palette().color(QPalette::Highlight));
    context.setFillColor(selection.withAlpha(0.7));
    context.fillEllipseInRect(knob);

    context.setShadow(Size{0, 0}, 2, Color::black().withAlpha(0.25));
    context.setStrokeColor(Color::whiteColor());
    context.setLineWidth(2);
    BezierPath oval;
    oval.appendOvalInRect(knob);
    context.stroke(oval);
    context.restoreGState();
}

std::any VTLSimpleSlider::valueForKey(const std::string& key) const {
    if (key == "current") return current_;
    if (key == "mouseIsDown") return mouseIsDown_;
    return View::valueForKey(key);
}

} // namespace vtl
