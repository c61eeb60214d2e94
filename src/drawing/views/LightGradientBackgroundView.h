#pragma once
// A view filled with a light grey fill between two greys, with hairlines at its bottom and top
// edges. Opaque. Owned like any view.

#include "platform/graphics/Color.h"
#include "platform/ui/View.h"

namespace vtl {

class LightGradientBackgroundView : public View {
public:
    explicit LightGradientBackgroundView(const Rect& frame);

    const Color& darkColor() const { return darkColor_; }
    void setDarkColor(const Color& color);
    const Color& lightColor() const { return lightColor_; }
    void setLightColor(const Color& color);

    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;

private:
    Color darkColor_ = Color::white(0.8549);
    Color lightColor_ = Color::white(0.9686);
};

} // namespace vtl
