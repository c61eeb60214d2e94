#pragma once
// The cell of a popup toolbar button: it holds the menu, the image, the target and the action,
// and opens the menu as soon as the button is pressed. Owned by its button; the menu is shared
// with whoever set it, the target is not owned.

#include "platform/graphics/Image.h"

#include <memory>
#include <string>

class QMenu;
class QMouseEvent;
class QRect;
class QWidget;

namespace vtl {

class Responder;

class PopupMenuToolbarItemButtonCell {
public:
    enum class ControlSize { Regular = 0, Small = 1, Mini = 2 };

    explicit PopupMenuToolbarItemButtonCell(std::string title);

    const std::string& title() const { return title_; }
    const std::shared_ptr<QMenu>& menu() const { return menu_; }
    void setMenu(std::shared_ptr<QMenu> menu) { menu_ = std::move(menu); }
    const ImageRef& image() const { return image_; }
    void setImage(ImageRef image) { image_ = std::move(image); }
    Responder* target() const { return target_; }
    void setTarget(Responder* target) { target_ = target; }
    const std::string& action() const { return action_; }
    void setAction(std::string action) { action_ = std::move(action); }
    ControlSize controlSize() const { return controlSize_; }
    void setControlSize(ControlSize size) { controlSize_ = size; }

    // Opens the menu at once, 1 point right of the button's left edge and 5.5 points under it,
    // and answers that the press was handled.
    bool trackMouse(const QMouseEvent& event, const QRect& cellFrame, QWidget* controlView,
                    bool untilMouseUp);

private:
    std::string title_;
    std::shared_ptr<QMenu> menu_;
    ImageRef image_;
    Responder* target_ = nullptr;
    std::string action_;
    ControlSize controlSize_ = ControlSize::Regular;
};

} // namespace vtl
