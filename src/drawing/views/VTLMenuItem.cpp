#include "drawing/views/VTLMenuItem.h"

#include "drawing/views/VTLMenu.h"
#include "drawing/views/VTLMenuItemView.h"

namespace vtl {

void VTLMenuItem::redraw() {
    if (menuItemView_) menuItemView_->setNeedsDisplay();
}

void VTLMenuItem::setTitle(std::string title) {
    title_ = std::move(title);
    redraw();
}

void VTLMenuItem::setImage(ImageRef image) {
    image_ = std::move(image);
    redraw();
}

void VTLMenuItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    redraw();
}

void VTLMenuItem::setMenuItemView(VTLMenuItemView* view) {
    menuItemView_ = view;
}

void VTLMenuItem::setMenu(VTLMenu* menu, std::weak_ptr<void> menuAlive) {
    menu_ = menu;
    menuAlive_ = std::move(menuAlive);
}

void VTLMenuItem::performAction() {
    const std::shared_ptr<VTLMenuItem> self = shared_from_this();
    if (action_) {
        const Action action = action_; // the action may replace itself
        action(*this);
    }
    if (menu_ && !menuAlive_.expired()) menu_->itemWasClicked(*this);
}

} // namespace vtl
