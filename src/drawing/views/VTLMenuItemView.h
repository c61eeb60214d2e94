#pragma once
// The view of one pop-up menu entry: its image in the upper half and its label under it, dimmed
// while the pointer is outside and shadowed while pressed; a release inside chooses the item.
// A subview of the menu's bubble (owned by it); it keeps its item alive.

#include "drawing/views/VTLMenuItemSize.h"
#include "platform/graphics/Text.h"
#include "platform/ui/View.h"

#include <memory>

namespace vtl {

class VTLMenuItem;

class VTLMenuItemView : public View {
public:
    VTLMenuItemView(std::shared_ptr<VTLMenuItem> item, VTLMenuItemSize size);
    ~VTLMenuItemView() override;

    // Width and height of an item view; zero (and "invalid size" to the assertion handler) for a
    // size outside the three.
    static Size requiredDimensionsForSize(VTLMenuItemSize size);
    // The label's attributes: system font of 10, 12 or 14 points, black, centred, word-wrapped.
    static TextAttributes fontAttributesForSize(VTLMenuItemSize size);

    const std::shared_ptr<VTLMenuItem>& menuItem() const { return menuItem_; }
    VTLMenuItemSize itemSize() const { return itemSize_; }
    Rect imageRect() const;
    Rect textRect() const;
    bool mouseIsInside() const { return mouseIsInside_; }
    bool mouseIsDown() const { return mouseIsDown_; }
    const std::shared_ptr<TrackingArea>& trackingArea() const { return trackingArea_; }

    void setFrame(const Rect& frame) override;
    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;
    void mouseEntered(const MouseEvent& event) override;
    void mouseExited(const MouseEvent& event) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

private:
    std::shared_ptr<VTLMenuItem> menuItem_;
    VTLMenuItemSize itemSize_;
    std::shared_ptr<TrackingArea> trackingArea_;
    bool mouseIsInside_ = false;
    bool mouseIsDown_ = false;
};

} // namespace vtl
