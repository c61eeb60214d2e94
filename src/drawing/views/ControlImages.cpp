#include "drawing/views/ControlImages.h"

#include "drawing/BezierPathAdditions.h"
#include "platform/graphics/GraphicsContext.h"

namespace vtl {

ImageRef menuTriangleImage() {
    static const ImageRef image = [] {
        constexpr int width = 10, height = 8;
        auto context = GraphicsContext::createBitmapContext(width, height);
        context->setFillColor(Color::white(0.25));
        // Direction 2 points down; the triangle sits in the lower part, as a menu mark does.
        context->fill(BezierPathAdditions::pathWithTrianglePointingTo(2, Rect(1, 1, 8, 5)));
        auto result = Image::withBitmap(context->makeImage());
        result->setSize(Size{width, height});
        return result;
    }();
    return image;
}

} // namespace vtl
