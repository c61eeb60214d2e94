#include "drawing/views/VTLMenuItemView.h"

#include "drawing/views/VTLMenuItem.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"

#include <QPointer>
#include <algorithm>
#include <cmath>

namespace vtl {

VTLMenuItemView::VTLMenuItemView(std::shared_ptr<VTLMenuItem> item, VTLMenuItemSize size)
    : View(Rect())
    , menuItem_(std::move(item))
    , itemSize_(size) {}

VTLMenuItemView::~VTLMenuItemView() = default;

Size VTLMenuItemView::requiredDimensionsForSize(VTLMenuItemSize size) {
    switch (size) {
    case VTLMenuItemSize::Small:
        return {60, 64};
    case VTLMenuItemSize::Medium:
        return {72, 80};
    case VTLMenuItemSize::Large:
        return {96, 112};
    }
    VTL_ASSERT(false, "invalid size");
    return {0, 0};
}

TextAttributes VTLMenuItemView::fontAttributesForSize(VTLMenuItemSize size) {
    const double points = size == VTLMenuItemSize::Medium ? 12 : size == VTLMenuItemSize::Large ? 14 : 10;
    TextAttributes attributes;
    attributes.font = Font::systemFont(points);
    attributes.foregroundColor = Color::black();
    attributes.paragraphStyle = ParagraphStyle{TextAlignment::Center, LineBreakMode::WordWrapping, 0};
    return attributes;
}

Rect VTLMenuItemView::imageRect() const {
    const Size d = requiredDimensionsForSize(itemSize_);
    const double side = d.height * 0.5;
    if (d.width > side) return Rect(std::round((d.width - side) * 0.5), std::round(side), side, side);
    return Rect(0, std::round(side), d.width, side);
}

Rect VTLMenuItemView::textRect() const {
    const Size d = requiredDimensionsForSize(itemSize_);
    return Rect(0, 0, d.width, d.height * 0.5).integral();
}

void VTLMenuItemView::setFrame(const Rect& frame) {
    View::setFrame(frame);
    if (trackingArea_) removeTrackingArea(trackingArea_);
    trackingArea_ =
        std::make_shared<TrackingArea>(bounds(), TrackingMouseEnteredAndExited | TrackingActiveAlways, this);
    addTrackingArea(trackingArea_);
}

void VTLMenuItemView::drawRect(GraphicsContext& context, const Rect&) {
    context.saveGState();
    if (!mouseIsInside_) context.setAlpha(0.8);
    if (mouseIsDown_) context.setShadow(Size{0, 0}, 2.0, Color::grayColor().withAlpha(0.7));
    if (menuItem_ && menuItem_->image())
        menuItem_->image()->drawInRect(context, imageRect(), Rect(), BlendMode::SourceOver,
                                       mouseIsInside_ ? 1.0 : 0.8);
    if (menuItem_ && !menuItem_->title().empty()) {
        const TextAttributes attributes = fontAttributesForSize(itemSize_);
        const Rect text = textRect();
        const Rect measured = boundingRectForString(menuItem_->title(), text.size, attributes,
                                                    StringDrawingUsesLineFragmentOrigin);
        const Size label{std::min(measured.width(), text.width()),
                         std::min(measured.height(), text.height())};
        const Point origin{std::round((text.width() - label.width) * 0.5),
                           std::round((text.height() - label.height) * 0.5)};
        drawString(context, menuItem_->title(), Rect(origin, label), attributes,
                   StringDrawingUsesLineFragmentOrigin);
    }
    context.restoreGState();
}

void VTLMenuItemView::mouseEntered(const MouseEvent&) {
    mouseIsInside_ = true;
    setNeedsDisplay();
}

void VTLMenuItemView::mouseExited(const MouseEvent&) {
    mouseIsInside_ = false;
    setNeedsDisplay();
}

void VTLMenuItemView::mouseDown(const MouseEvent&) {
    mouseIsDown_ = true;
    mouseIsInside_ = true;
    setNeedsDisplay();
}

void VTLMenuItemView::mouseDragged(const MouseEvent&) {}

void VTLMenuItemView::mouseUp(const MouseEvent&) {
    mouseIsDown_ = false;
    setNeedsDisplay();
    if (mouseIsInside_ && menuItem_) {
        const std::shared_ptr<VTLMenuItem> item = menuItem_;
        item->performAction(); // may release the menu and with it this view (later)
    }
}

} // namespace vtl
