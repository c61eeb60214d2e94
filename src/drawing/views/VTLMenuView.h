#pragma once
// The bubble of a pop-up menu: a rounded outline with a triangular pointer on one side, a shadow,
// the optional title line, and the item views as subviews. Owned by its VTLMenu; while shown it is
// a subview of the view that holds it.

#include "platform/graphics/BezierPath.h"
#include "platform/ui/View.h"

namespace vtl {

class VTLMenu;

class VTLMenuView : public View {
public:
    VTLMenuView();

    VTLMenu* menu() const { return menu_; }
    void setMenu(VTLMenu* menu) { menu_ = menu; }
    // The outline with the pointer of the menu's origin, inside the bounds inset by 8 points.
    BezierPath path() const;
    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;

private:
    VTLMenu* menu_ = nullptr;
};

} // namespace vtl
