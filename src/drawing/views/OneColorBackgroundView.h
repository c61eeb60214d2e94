#pragma once
// A view filled with one colour, optionally with rounded corners (timeline and library panes).
// Owned like any view.

#include "platform/graphics/Color.h"
#include "platform/ui/View.h"

namespace vtl {

class OneColorBackgroundView : public View {
public:
    explicit OneColorBackgroundView(const Rect& frame);

    const Color& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const Color& color);
    float cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(float radius);
    bool canDrawConcurrently() const { return true; }

    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;

private:
    Color backgroundColor_ = Color::white(2.0 / 3.0); // light grey
    float cornerRadius_ = 0;
};

} // namespace vtl
