#include "drawing/views/VTLMenu.h"

#include "drawing/views/VTLMenuDelegate.h"
#include "drawing/views/VTLMenuItemView.h"
#include "drawing/views/VTLMenuView.h"

namespace vtl {

namespace {
constexpr double kItemSpacing = 6;
constexpr double kMargin = 16;
constexpr double kPointerRoom = 14;
constexpr double kShowSeconds = 0.3;

bool pointerOnSide(VTLMenuOrigin origin) {
    return origin == VTLMenuOrigin::PointerLeft || origin == VTLMenuOrigin::PointerRight;
}
} // namespace

VTLMenu::VTLMenu(VTLMenuItemSize itemSize, VTLMenuOrigin origin)
    : menuView_(new VTLMenuView())
    , itemSize_(itemSize)
    , origin_(origin) {
    menuView_->setMenu(this);
}

VTLMenu::~VTLMenu() {
    removeTrackingArea();
    for (auto& item : menuItems_)
        item->setMenu(nullptr, {});
    if (VTLMenuView* bubble = menuView_) {
        bubble->setMenu(nullptr);
        // Deferred: the menu may be released from an item's action, inside the bubble's own event.
        bubble->hide();
        bubble->deleteLater();
    }
}

std::vector<VTLMenuItemView*> VTLMenu::itemViews() const {
    std::vector<VTLMenuItemView*> views;
    for (const auto& view : itemViews_)
        views.push_back(view);
    return views;
}

void VTLMenu::setMenuTitle(std::optional<std::string> title) {
    menuTitle_ = std::move(title);
}

void VTLMenu::setTrackingAreaView(View* view) {
    trackingAreaView_ = view;
}

View* VTLMenu::trackingAreaView() const {
    return trackingAreaView_;
}

VTLMenuItem* VTLMenu::addItem(const std::string& title, ImageRef image, VTLMenuItem::Action action,
                              const std::string& tooltip, std::any representedObject) {
    auto item = std::make_shared<VTLMenuItem>();
    item->setTitle(title);
    item->setImage(std::move(image));
    item->setAction(std::move(action));
    item->setRepresentedObject(std::move(representedObject));
    item->setMenu(this, alive_);
    menuItems_.push_back(item);
    auto* view = new VTLMenuItemView(item, itemSize_);
    // The tooltip is the view's own; the item's field stays unset.
    if (!tooltip.empty()) view->setToolTip(QString::fromStdString(tooltip));
    item->setMenuItemView(view);
    itemViews_.emplace_back(view);
    if (menuView_) menuView_->addSubview(view);
    relayout();
    return item.get();
}

void VTLMenu::itemWasClicked(VTLMenuItem&) {
    if (closesAfterItemWasChosen_ && delegate_) delegate_->closeMenu(*this);
}

float VTLMenu::requiredHeight() const {
    const Size d = VTLMenuItemView::requiredDimensionsForSize(itemSize_);
    double height = d.height + 2 * kMargin;
    if (hasTitle()) height += d.height * 0.375;
    if (!pointerOnSide(origin_)) height += kPointerRoom;
    return static_cast<float>(height);
}

Rect VTLMenu::titleRect() const {
    const Size d = VTLMenuItemView::requiredDimensionsForSize(itemSize_);
    const double n = static_cast<double>(menuItems_.size());
    const double x = origin_ == VTLMenuOrigin::PointerLeft ? kMargin + kPointerRoom : kMargin;
    const double y = d.height + kMargin + (origin_ == VTLMenuOrigin::PointerBottom ? kPointerRoom : 0);
    return Rect(x, y, n * d.width + (n - 1) * kItemSpacing, d.height * 0.375);
}

void VTLMenu::relayout() {
    const Size d = VTLMenuItemView::requiredDimensionsForSize(itemSize_);
    const double n = static_cast<double>(menuItems_.size());
    float width = static_cast<float>(n * d.width + (n - 1) * kItemSpacing + 2 * kMargin);
    float height = static_cast<float>(d.height + 2 * kMargin + (hasTitle() ? d.height * 0.375 : 0));
    if (pointerOnSide(origin_))
        width = static_cast<float>(double(width) + kPointerRoom);
    else
        height = static_cast<float>(double(height) + kPointerRoom);
    const double itemsY = kMargin + (origin_ == VTLMenuOrigin::PointerBottom ? kPointerRoom : 0);
    const double firstX = origin_ == VTLMenuOrigin::PointerLeft ? kMargin + kPointerRoom : kMargin;
    for (std::size_t i = 0; i < itemViews_.size(); ++i) {
        if (!itemViews_[i]) continue;
        const double di = static_cast<double>(i);
        const float x = static_cast<float>(std::round(di * d.width + firstX + di * kItemSpacing));
        itemViews_[i]->setFrame(Rect(x, static_cast<float>(itemsY), d.width, d.height));
    }
    if (menuView_) menuView_->setFrameSize(Size{width, height});
}

void VTLMenu::positionRelativeToView(const View& view) {
    if (!menuView_) return;
    const Rect v = view.frame();
    const double mw = menuView_->frame().width(), mh = menuView_->frame().height();
    auto single = [](double value) { return static_cast<double>(static_cast<float>(value)); };
    const double sideY = single(v.minY() + v.height() * 0.5 - mh * 0.5);
    const double centreX = single(v.minX() + v.width() * 0.5 - mw * 0.5);
    Point origin;
    switch (origin_) {
    case VTLMenuOrigin::PointerLeft:
        origin = {single(v.minX() + v.width() - 8), sideY};
        break;
    case VTLMenuOrigin::PointerRight:
        origin = {single(v.minX() + 8 - mw), sideY};
        break;
    case VTLMenuOrigin::PointerTop:
        origin = {centreX, single(v.minY() + 8 - mh)};
        break;
    case VTLMenuOrigin::PointerBottom:
        origin = {centreX, single(v.minY() + v.height() - 8)};
        break;
    }
    menuView_->setFrameOrigin(origin);
}

void VTLMenu::animatedShowRelativeToPoint(Point point, View* ofView, View* inView) {
    if (!menuView_ || !inView) return;
    inView->addSubview(menuView_);
    inView->setWindowAcceptsMouseMovedEvents();
    const Point p = inView->convertPointFromView(point, ofView);
    const double mw = menuView_->frame().width(), mh = menuView_->frame().height();
    Point origin;
    switch (origin_) {
    case VTLMenuOrigin::PointerLeft:
        origin = {p.x - 8, p.y - mh * 0.5};
        break;
    case VTLMenuOrigin::PointerRight:
        origin = {p.x + 8 - mw, p.y - mh * 0.5};
        break;
    case VTLMenuOrigin::PointerTop:
        origin = {p.x - mw * 0.5, p.y - 8 - mh};
        break;
    case VTLMenuOrigin::PointerBottom:
        origin = {p.x - mw * 0.5, p.y + 8};
        break;
    }
    menuView_->setFrameOrigin(origin);
    doPostAddAnimation();
}

void VTLMenu::animatedShowRelativeToView(View* anchor, View* inView) {
    if (!menuView_ || !inView || !anchor) return;
    inView->addSubview(menuView_);
    inView->setWindowAcceptsMouseMovedEvents();
    positionRelativeToView(*anchor);
    doPostAddAnimation();
}

void VTLMenu::doPostAddAnimation() {
    if (!menuView_) return;
    const double bw = menuView_->bounds().width(), bh = menuView_->bounds().height();
    menuView_->setAlphaValue(0);
    menuView_->animateAlphaValue(1);
    auto grow = [&](const char* keyPath, double from) {
        BasicAnimation animation(keyPath, from, from == 0 ? 1 : 0, kShowSeconds,
                                 MediaTimingFunction::EaseOut);
        animation.setRemovedOnCompletion(false);
        menuView_->addAnimation(animation);
    };
    grow("transform.scale.x", 0);
    grow("transform.scale.y", 0);
    if (pointerOnSide(origin_))
        grow("transform.translation.y", bh * 0.5);
    else
        grow("transform.translation.x", bw * 0.5);
    if (origin_ == VTLMenuOrigin::PointerRight) grow("transform.translation.x", bw);
    if (origin_ == VTLMenuOrigin::PointerBottom) grow("transform.translation.y", bh);
}

void VTLMenu::removeTrackingArea() {
    if (menuViewTrackingArea_ && trackingAreaView_)
        trackingAreaView_->removeTrackingArea(menuViewTrackingArea_);
    menuViewTrackingArea_.reset();
}

void VTLMenu::closeMenu() {
    if (delegate_) delegate_->vtlMenuWillClose(*this);
    removeTrackingArea();
    if (!menuView_) return;
    QPointer<VTLMenuView> bubble = menuView_;
    menuView_->animateAlphaValue(0, View::defaultAnimationDurationSeconds, [bubble] {
        if (bubble) bubble->removeFromSuperview();
    });
}

} // namespace vtl
