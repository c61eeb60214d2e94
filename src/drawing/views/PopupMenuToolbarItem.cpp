#include "drawing/views/PopupMenuToolbarItem.h"

#include "drawing/views/ControlImages.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Toolbar.h"

#include <QAction>
#include <QMenu>

namespace vtl {

PopupMenuToolbarItem::PopupMenuToolbarItem(std::string itemIdentifier)
    : VTLToolbarItem(std::move(itemIdentifier))
    , button_(new PopupMenuToolbarItemButton(QRect(0, 0, 32, 32))) {
    setView(button_);
    setMinSize(Size{32, 32});
    setMaxSize(Size{32, 32});
}

PopupMenuToolbarItemButtonCell& PopupMenuToolbarItem::popupCell() const {
    return button_->cell();
}

void PopupMenuToolbarItem::setMenu(std::shared_ptr<QMenu> menu) {
    popupCell().setMenu(menu);
    // What a text-only toolbar or the overflow menu shows: the label with the menu under it.
    auto form = std::make_unique<QAction>(QString::fromStdString(label()));
    form->setMenu(menu.get());
    setMenuFormRepresentation(std::move(form));
    if (!image_) stillNeedsToSetMenuImage_ = true;
    if (!menuImageCreated_ && !stillNeedsToSetMenuImage_) createAndSetMenuImage();
}

const std::shared_ptr<QMenu>& PopupMenuToolbarItem::menu() const {
    return popupCell().menu();
}

void PopupMenuToolbarItem::setAction(std::string action) {
    popupCell().setAction(std::move(action));
}

std::string PopupMenuToolbarItem::action() const {
    return popupCell().action();
}

void PopupMenuToolbarItem::setTarget(Responder* target) {
    popupCell().setTarget(target);
}

Responder* PopupMenuToolbarItem::target() const {
    return popupCell().target();
}

void PopupMenuToolbarItem::setImage(ImageRef image) {
    image_ = image;
    popupCell().setImage(std::move(image));
    button_->update();
    if (menu()) createAndSetMenuImage();
}

ImageRef PopupMenuToolbarItem::image() const {
    return popupCell().image();
}

void PopupMenuToolbarItem::setToolTip(std::string toolTip) {
    button_->setToolTip(QString::fromStdString(toolTip));
}

std::string PopupMenuToolbarItem::toolTip() const {
    return button_->toolTip().toStdString();
}

void PopupMenuToolbarItem::createAndSetMenuImage() {
    const ImageRef triangle = menuTriangleImage();
    if (!image_ || !triangle) return;
    const Size size = image_->size();
    const double tw = triangle->size().width;
    const Size combined{size.width + tw * 0.5, size.height};
    auto context =
        GraphicsContext::createBitmapContext(pixelCount(combined.width), pixelCount(combined.height));
    if (!context) return;
    image_->drawInRect(*context, Rect(0, 0, size.width, size.height), Rect(), BlendMode::SourceOver, 1.0);
    triangle->drawInRect(*context, Rect(size.width - tw * 0.5, 0, tw, triangle->size().height), Rect(),
                         BlendMode::SourceOver, 1.0);
    auto result = Image::withBitmap(context->makeImage());
    result->setSize(combined);
    ToolbarItem::setImage(result);
    setMinSize(combined);
    setMaxSize(combined);
    menuImageCreated_ = true;
}

void PopupMenuToolbarItem::validate() {
    bool enabled = true;
    Toolbar* bar = toolbar();
    if (bar && bar->delegate()) {
        Responder* delegate = bar->delegate();
        if (auto answer = delegate->validateToolbarItem(*this))
            enabled = *answer;
        else if (auto general = delegate->validateUserInterfaceItem(*this))
            enabled = *general;
    } else {
        const std::string name = action();
        if (name.empty()) {
            ToolbarItem::validate();
            return;
        }
        const Responder* receiver = target();
        if (!receiver) receiver = Responder::firstResponderOfWindow(view());
        enabled = receiver && receiver->respondsToAction(name);
    }
    applyEnabled(enabled);
}

} // namespace vtl
