#include "drawing/views/LightGradientBackgroundView.h"

#include "drawing/BezierPathAdditions.h"
#include "platform/graphics/GraphicsContext.h"

namespace vtl {

LightGradientBackgroundView::LightGradientBackgroundView(const Rect& frame)
    : View(frame) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LightGradientBackgroundView::setDarkColor(const Color& color) {
    darkColor_ = color;
    setNeedsDisplay();
}

void LightGradientBackgroundView::setLightColor(const Color& color) {
    lightColor_ = color;
    setNeedsDisplay();
}

void LightGradientBackgroundView::drawRect(GraphicsContext& context, const Rect&) {
    const Rect b = bounds();
    BezierPath rect;
    rect.appendRect(b);
    BezierPathAdditions::fillPath(rect, darkColor_, lightColor_);
    context.saveGState();
    context.setLineWidth(1);
    auto hairline = [&](double y, const Color& color) {
        context.setStrokeColor(color);
        context.beginPath();
        context.moveTo(Point{b.minX(), y});
        context.addLineTo(Point{b.minX() + b.width(), y});
        context.strokePath();
    };
    hairline(b.minY() + 0.5, Color::white(2.0 / 3.0, 0.3));
    hairline(b.minY() + b.height() - 0.5, Color::white(1.0 / 3.0, 0.3));
    context.restoreGState();
}

} // namespace vtl
