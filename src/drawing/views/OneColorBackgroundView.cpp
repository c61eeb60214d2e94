#include "drawing/views/OneColorBackgroundView.h"

#include "drawing/BezierPathAdditions.h"
#include "platform/graphics/GraphicsContext.h"

namespace vtl {

OneColorBackgroundView::OneColorBackgroundView(const Rect& frame)
    : View(frame) {}

void OneColorBackgroundView::setBackgroundColor(const Color& color) {
    backgroundColor_ = color;
    setNeedsDisplay();
}

void OneColorBackgroundView::setCornerRadius(float radius) {
    cornerRadius_ = radius;
    setNeedsDisplay();
}

void OneColorBackgroundView::drawRect(GraphicsContext& context, const Rect& dirtyRect) {
    context.saveGState();
    context.setFillColor(backgroundColor_);
    if (cornerRadius_ <= 0)
        context.fillRect(dirtyRect);
    else
        context.fill(BezierPathAdditions::pathWithRect(bounds(), cornerRadius_));
    context.restoreGState();
}

} // namespace vtl
