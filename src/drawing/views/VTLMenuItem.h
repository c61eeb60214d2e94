#pragma once
// One entry of a pop-up menu: title, image, tooltip, the action sent when it is chosen, and
// objects the caller attaches. Owned by its VTLMenu (shared, so that an item survives its own
// action); its view and its menu are not owned.

#include "drawing/views/VTLMenuItemView.h"
#include "platform/graphics/Image.h"

#include <QPointer>
#include <any>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class VTLMenu;

class VTLMenuItem : public std::enable_shared_from_this<VTLMenuItem> {
public:
    // The target's action, called with the item; empty when there is none.
    using Action = std::function<void(VTLMenuItem&)>;

    VTLMenuItem() = default;

    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    const ImageRef& image() const { return image_; }
    void setImage(ImageRef image);
    const std::string& tooltip() const { return tooltip_; }
    void setTooltip(std::string tooltip) { tooltip_ = std::move(tooltip); }
    const Action& action() const { return action_; }
    // The original's setTarget:action:.
    void setAction(Action action) { action_ = std::move(action); }
    void* context() const { return context_; }
    void setContext(void* context) { context_ = context; }
    const std::any& representedObject() const { return representedObject_; }
    void setRepresentedObject(std::any object) { representedObject_ = std::move(object); }
    VTLMenuItemView* menuItemView() const { return menuItemView_; }
    void setMenuItemView(VTLMenuItemView* view);
    VTLMenu* menu() const { return menu_; }
    void setMenu(VTLMenu* menu, std::weak_ptr<void> menuAlive);
    // Stored and redrawn; neither drawing nor clicks consult it.
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);

    // Sends the action with the item, then tells the menu that the item was chosen (if the
    // menu still exists: the action may have released it).
    void performAction();

private:
    void redraw();

    std::string title_;
    ImageRef image_;
    std::string tooltip_;
    Action action_;
    void* context_ = nullptr;
    std::any representedObject_;
    QPointer<VTLMenuItemView> menuItemView_;
    VTLMenu* menu_ = nullptr;
    std::weak_ptr<void> menuAlive_;
    bool enabled_ = false;
};

} // namespace vtl
