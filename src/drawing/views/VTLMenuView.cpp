#include "drawing/views/VTLMenuView.h"

#include "drawing/views/VTLMenu.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"
#include "platform/graphics/Text.h"

#include <QPalette>

namespace vtl {

VTLMenuView::VTLMenuView()
    : View(Rect()) {}

BezierPath VTLMenuView::path() const {
    const VTLMenuOrigin origin = menu_ ? menu_->origin() : VTLMenuOrigin::PointerLeft;
    constexpr double radius = 14, pointer = 14;
    Rect r = bounds().insetBy(8, 8);
    double x = r.minX(), y = r.minY(), w = r.width(), h = r.height();
    switch (origin) {
    case VTLMenuOrigin::PointerLeft:
        x += pointer, w -= pointer;
        break;
    case VTLMenuOrigin::PointerRight:
        w -= pointer;
        break;
    case VTLMenuOrigin::PointerTop:
        h -= pointer;
        break;
    case VTLMenuOrigin::PointerBottom:
        y += pointer, h -= pointer;
        break;
    }
    const double cx = static_cast<float>(x + w * 0.5);
    const double cy = static_cast<float>(y + h * 0.5);
    BezierPath p;
    // Counter-clockwise from the bottom edge; each corner is a curve whose controls sit on the corner.
    p.moveTo(Point{x + radius, y});
    if (origin == VTLMenuOrigin::PointerBottom) {
        p.lineTo(Point{cx - pointer, y});
        p.lineTo(Point{cx, y - pointer});
        p.lineTo(Point{cx + pointer, y});
    }
    p.lineTo(Point{x + w - radius, y});
    p.curveTo(Point{x + w, y + radius}, Point{x + w, y}, Point{x + w, y});
    if (origin == VTLMenuOrigin::PointerRight) {
        p.lineTo(Point{x + w, cy - pointer});
        p.lineTo(Point{x + w + pointer, cy});
        p.lineTo(Point{x + w, cy + pointer});
    }
    p.lineTo(Point{x + w, y + h - radius});
    p.curveTo(Point{x + w - radius, y + h}, Point{x + w, y + h}, Point{x + w, y + h});
    if (origin == VTLMenuOrigin::PointerTop) {
        p.lineTo(Point{cx + pointer, y + h});
        p.lineTo(Point{cx, y + h + pointer});
        p.lineTo(Point{cx - pointer, y + h});
    }
    p.lineTo(Point{x + radius, y + h});
    p.curveTo(Point{x, y + h - radius}, Point{x, y + h}, Point{x, y + h});
    if (origin == VTLMenuOrigin::PointerLeft) {
        p.lineTo(Point{x, cy + pointer});
        p.lineTo(Point{x - pointer, cy});
        p.lineTo(Point{x, cy - pointer});
    }
    p.lineTo(Point{x, y + radius});
    p.curveTo(Point{x + radius, y}, Point{x, y}, Point{x, y});
    p.closePath();
    return p;
}

void VTLMenuView::drawRect(GraphicsContext& context, const Rect&) {
    const BezierPath outline = path();
    context.saveGState();
    context.setShadow(Size{0, 0}, 8, Color::black().withAlpha(0.5));
    context.setFillColor(qt::fromQColor(palette().color(QPalette::Base)));
    context.fill(outline);
    context.setStrokeColor(Color::white(2.0 / 3.0));
    context.setLineWidth(0.5);
    context.stroke(outline);
    context.restoreGState();

    if (menu_ && menu_->hasTitle()) {
        const Rect titleRect = menu_->titleRect();
        TextAttributes attributes;
        attributes.font = Font::systemFont(titleRect.height() * 0.5);
        attributes.foregroundColor = Color::black();
        attributes.paragraphStyle = ParagraphStyle{TextAlignment::Center, LineBreakMode::TruncatingMiddle, 0};
        drawString(context, *menu_->menuTitle(), titleRect, attributes, 0);
    }
}

} // namespace vtl
