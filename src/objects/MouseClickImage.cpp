#include "objects/MouseClickImage.h"

#include "platform/graphics/GraphicsContext.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

float clampedClickSize(float size) {
    if (!(size > 0)) return 0.0f;
    return std::min(size, kMaximumMouseClickSize);
}

float clampedClickScale(float scale) {
    // A backing or content scale outside this range is a damaged value, not a display.
    if (!(scale > 0)) return 1.0f;
    return std::min(scale, 8.0f);
}

} // namespace

int mouseClickImageSide(float size, float scale) {
    const double side = 8.0 * double(clampedClickSize(size)) * double(clampedClickScale(scale));
    return int(std::min(std::floor(side), double(kMaximumMouseClickImageSide)));
}

void drawMouseClick(std::int32_t strength, const Color& color, bool filled, float fraction, Point center,
                    float size, float scale) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context || strength < 1) return;
    if (!(fraction >= 0.0f && fraction <= 1.0f)) return;
    if (!std::isfinite(center.x) || !std::isfinite(center.y)) return;
    strength = std::min(strength, kMaximumMouseClickStrength);
    scale = clampedClickScale(scale);
    const double unit = double(clampedClickSize(size)) * double(fraction) * double(scale);
    const Color ringColor = color.withAlpha(1.0 - double(fraction));
    context->saveGState();
    for (std::int32_t j = 0; j < strength; ++j) {
        const double r = double(j + 1) * unit;
        const double lineWidth = double(strength - j) * double(scale);
        BezierPath oval;
        oval.appendOvalInRect(Rect(center.x - r, center.y - r, 2 * r, 2 * r));
        if (filled) {
            context->setFillColor(ringColor);
            context->fill(oval);
        } else {
            context->setStrokeColor(ringColor);
            context->setLineWidth(lineWidth);
            context->stroke(oval);
        }
    }
    context->restoreGState();
}

CIImage mouseClickImage(std::int32_t strength, const Color& color, bool filled, float fraction, Point point,
                        float size, float scale) {
    const int side = mouseClickImageSide(size, scale);
    if (side < 1 || !std::isfinite(point.x) || !std::isfinite(point.y)) return {};
    const double half = side * 0.5;
    VTLImageWrapper wrapper;
    if (!wrapper.beginContextWithSize(Size{double(side), double(side)})) return {};
    drawMouseClick(strength, color, filled, fraction, Point{half, half}, size, scale);
    const CIImage image = wrapper.releaseContextAndCreateCIImage();
    if (image.isNull()) return {};
    return image.imageByApplyingTransform(AffineTransform::translation(point.x - half, point.y - half));
}

} // namespace vtl
