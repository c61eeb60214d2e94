#pragma once
// A window's toolbar: a row of toolbar items shown by a QToolBar, with a delegate that may
// validate them. Owns its items; the delegate is not owned. Items are validated when
// validateVisibleItems() is called (the window does so as its state changes).

#include <QToolBar>
#include <memory>
#include <vector>

namespace vtl {

class Responder;
class ToolbarItem;

class Toolbar : public QToolBar {
public:
    explicit Toolbar(QWidget* parent = nullptr);
    ~Toolbar() override;

    Responder* delegate() const { return delegate_; }
    void setDelegate(Responder* delegate) { delegate_ = delegate; }

    // Appends the item, which shows its view, or its image and label as a button.
    ToolbarItem* insertItem(std::unique_ptr<ToolbarItem> item);
    const std::vector<std::unique_ptr<ToolbarItem>>& items() const { return items_; }
    void validateVisibleItems();
    // Shows the item's current image and enabled state (items call it when those change).
    void itemChanged(ToolbarItem& item);

private:
    Responder* delegate_ = nullptr;
    std::vector<std::unique_ptr<ToolbarItem>> items_;
    std::vector<QAction*> actions_; // one per item, in the same order
};

} // namespace vtl
