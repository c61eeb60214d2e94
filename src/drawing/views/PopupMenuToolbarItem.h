#pragma once
// A toolbar item whose 32 × 32 button opens a menu right under itself when pressed, and whose
// toolbar image carries a small triangle that marks it as a menu. The menu, image, target and
// action live in the button's cell. Owned by its toolbar; it owns its button.

#include "drawing/views/PopupMenuToolbarItemButton.h"
#include "drawing/views/VTLToolbarItem.h"

#include <memory>

class QMenu;

namespace vtl {

class PopupMenuToolbarItem : public VTLToolbarItem {
public:
    explicit PopupMenuToolbarItem(std::string itemIdentifier);

    PopupMenuToolbarItemButtonCell& popupCell() const;
    PopupMenuToolbarItemButton* button() const { return button_; }

    void setMenu(std::shared_ptr<QMenu> menu);
    const std::shared_ptr<QMenu>& menu() const;
    void setAction(std::string action) override;
    std::string action() const override;
    void setTarget(Responder* target) override;
    Responder* target() const override;
    // The plain image, kept by the cell; with a menu set, it also builds the toolbar image.
    void setImage(ImageRef image) override;
    ImageRef image() const override;
    // The toolbar's own image: the plain image with the menu triangle.
    ImageRef menuImage() const { return ToolbarItem::image(); }
    void setToolTip(std::string toolTip) override;
    std::string toolTip() const override;

    void createAndSetMenuImage();
    void validate() override;

    bool stillNeedsToSetMenuImage() const { return stillNeedsToSetMenuImage_; }
    bool menuImageCreated() const { return menuImageCreated_; }

private:
    ImageRef image_;
    PopupMenuToolbarItemButton* button_; // the item's view, which the item owns
    bool stillNeedsToSetMenuImage_ = false;
    bool menuImageCreated_ = false;
};

} // namespace vtl
