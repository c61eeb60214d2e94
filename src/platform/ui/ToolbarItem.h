#pragma once
// One item of a window's toolbar: an identifier, a label, an image or a view of its own, a target
// and action, an enabled state, a size range and a menu form (what a text-only toolbar or its
// overflow menu shows). The item owns its view and its menu form; the toolbar owns its items;
// target and toolbar are not owned.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Image.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

class QAction;

namespace vtl {

class Responder;
class Toolbar;

class ToolbarItem {
public:
    explicit ToolbarItem(std::string itemIdentifier);
    virtual ~ToolbarItem();
    ToolbarItem(const ToolbarItem&) = delete;
    ToolbarItem& operator=(const ToolbarItem&) = delete;

    const std::string& itemIdentifier() const { return itemIdentifier_; }
    const std::string& label() const { return label_; }
    void setLabel(std::string label) { label_ = std::move(label); }
    virtual ImageRef image() const { return image_; }
    virtual void setImage(ImageRef image);
    QWidget* view() const { return view_; }
    void setView(QWidget* view);
    virtual Responder* target() const { return target_; }
    virtual void setTarget(Responder* target) { target_ = target; }
    // Empty: no action.
    virtual std::string action() const { return action_; }
    virtual void setAction(std::string action) { action_ = std::move(action); }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled);
    Size minSize() const { return minSize_; }
    void setMinSize(Size size);
    Size maxSize() const { return maxSize_; }
    void setMaxSize(Size size);
    virtual std::string toolTip() const { return toolTip_; }
    virtual void setToolTip(std::string toolTip) { toolTip_ = std::move(toolTip); }
    // Owned by the item.
    QAction* menuFormRepresentation() const { return menuForm_.get(); }
    void setMenuFormRepresentation(std::unique_ptr<QAction> action);
    Toolbar* toolbar() const { return toolbar_; }

    // Brings the enabled state up to date. The base judges an item without a view: enabled when
    // it has an action that its target (or the window's first responder) answers.
    virtual void validate();
    // The action sent to the target with the item, when the target answers it.
    void performAction();

private:
    friend class Toolbar;

    std::string itemIdentifier_;
    std::string label_;
    ImageRef image_;
    QPointer<QWidget> view_;
    Responder* target_ = nullptr;
    std::string action_;
    bool enabled_ = true;
    Size minSize_;
    Size maxSize_;
    std::string toolTip_;
    std::unique_ptr<QAction> menuForm_;
    Toolbar* toolbar_ = nullptr;
};

} // namespace vtl
