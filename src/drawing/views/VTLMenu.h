#pragma once
// The system's own pop-up menu: a row of large icon buttons with short labels, optionally under a
// title line, in a rounded bubble whose pointer touches a point or the edge of another view. The
// bubble is added to a view of the window and grows into place; closing fades it out and takes it
// out of the view tree. Whoever creates the menu owns it; the menu owns its items, their views and
// the bubble, and the tracking area handed to it. Main thread only.

#include "drawing/views/VTLMenuItem.h"
#include "drawing/views/VTLMenuItemSize.h"
#include "drawing/views/VTLMenuItemView.h"
#include "drawing/views/VTLMenuView.h"
#include "platform/graphics/Image.h"
#include "platform/ui/TrackingArea.h"

#include <QPointer>
#include <any>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class VTLMenuDelegate;

class VTLMenu {
public:
    VTLMenu(VTLMenuItemSize itemSize, VTLMenuOrigin origin);
    // Takes the bubble out of the view tree, and the tracking area out of its view, when closing
    // did not already.
    ~VTLMenu();
    VTLMenu(const VTLMenu&) = delete;
    VTLMenu& operator=(const VTLMenu&) = delete;

    // Appends an item with its view and lays the menu out again; the item is the menu's.
    VTLMenuItem* addItem(const std::string& title, ImageRef image, VTLMenuItem::Action action,
                         const std::string& tooltip = {}, std::any representedObject = {});
    // Asks the delegate to close the menu when choices close it.
    void itemWasClicked(VTLMenuItem& item);

    const std::vector<std::shared_ptr<VTLMenuItem>>& menuItems() const { return menuItems_; }
    std::vector<VTLMenuItemView*> itemViews() const;
    VTLMenuView* menuView() const { return menuView_; }
    VTLMenuItemSize itemSize() const { return itemSize_; }
    VTLMenuOrigin origin() const { return origin_; }
    VTLMenuDelegate* delegate() const { return delegate_; }
    void setDelegate(VTLMenuDelegate* delegate) { delegate_ = delegate; }
    bool closesAfterItemWasChosen() const { return closesAfterItemWasChosen_; }
    void setClosesAfterItemWasChosen(bool closes) { closesAfterItemWasChosen_ = closes; }
    const std::optional<std::string>& menuTitle() const { return menuTitle_; }
    void setMenuTitle(std::optional<std::string> title);
    bool hasTitle() const { return menuTitle_.has_value(); }

    // The tracking area the one who shows the menu installs for the bubble, and the view holding it.
    void setTrackingAreaView(View* view);
    View* trackingAreaView() const;
    void setMenuViewTrackingArea(std::shared_ptr<TrackingArea> area) {
        menuViewTrackingArea_ = std::move(area);
    }
    const std::shared_ptr<TrackingArea>& menuViewTrackingArea() const { return menuViewTrackingArea_; }

    // Layout.
    float requiredHeight() const;
    Rect titleRect() const;
    void relayout();
    void positionRelativeToView(const View& view);

    // Showing and closing.
    void animatedShowRelativeToPoint(Point point, View* ofView, View* inView);
    void animatedShowRelativeToView(View* anchor, View* inView);
    void doPostAddAnimation();
    void closeMenu();

private:
    void removeTrackingArea();

    std::vector<std::shared_ptr<VTLMenuItem>> menuItems_;
    std::vector<QPointer<VTLMenuItemView>> itemViews_;
    QPointer<VTLMenuView> menuView_;
    QPointer<View> trackingAreaView_;
    std::shared_ptr<TrackingArea> menuViewTrackingArea_;
    VTLMenuItemSize itemSize_;
    VTLMenuOrigin origin_;
    VTLMenuDelegate* delegate_ = nullptr;
    bool closesAfterItemWasChosen_ = true;
    std::optional<std::string> menuTitle_;
    // Items hold it weakly to learn whether the menu still exists after their action.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

} // namespace vtl
