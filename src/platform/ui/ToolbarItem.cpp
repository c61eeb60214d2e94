#include "platform/ui/ToolbarItem.h"

#include "platform/ui/Responder.h"
#include "platform/ui/Toolbar.h"

#include <QAction>
#include <QWidget>

namespace vtl {

ToolbarItem::ToolbarItem(std::string itemIdentifier)
    : itemIdentifier_(std::move(itemIdentifier)) {}

ToolbarItem::~ToolbarItem() {
    delete view_.data();
}

void ToolbarItem::setImage(ImageRef image) {
    image_ = std::move(image);
    if (toolbar_) toolbar_->itemChanged(*this);
}

void ToolbarItem::setView(QWidget* view) {
    if (view_ == view) return;
    delete view_.data();
    view_ = view;
}

void ToolbarItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (toolbar_) toolbar_->itemChanged(*this);
}

void ToolbarItem::setMinSize(Size size) {
    minSize_ = size;
    if (toolbar_) toolbar_->itemChanged(*this);
}

void ToolbarItem::setMaxSize(Size size) {
    maxSize_ = size;
    if (toolbar_) toolbar_->itemChanged(*this);
}

void ToolbarItem::setMenuFormRepresentation(std::unique_ptr<QAction> action) {
    menuForm_ = std::move(action);
}

void ToolbarItem::validate() {
    if (view_) return;
    const std::string name = action();
    if (name.empty()) return;
    const Responder* receiver = target();
    if (!receiver && toolbar_) receiver = Responder::firstResponderOfWindow(toolbar_);
    setEnabled(receiver && receiver->respondsToAction(name));
}

void ToolbarItem::performAction() {
    const std::string name = action();
    Responder* receiver = target();
    if (!receiver && toolbar_) receiver = Responder::firstResponderOfWindow(toolbar_);
    if (!name.empty() && receiver && receiver->respondsToAction(name))
        receiver->performAction(name, std::any(this));
}

} // namespace vtl
