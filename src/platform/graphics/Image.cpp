#include "platform/graphics/Image.h"

#include "platform/graphics/GraphicsContext.h"

namespace vtl {

std::shared_ptr<Image> Image::withBitmap(BitmapRef bitmap) {
    if (!bitmap || bitmap->isNull()) return nullptr;
    auto image = std::make_shared<Image>(
        Size{static_cast<double>(bitmap->width()), static_cast<double>(bitmap->height())});
    image->addRepresentation(std::move(bitmap));
    return image;
}

BitmapRef Image::bestBitmapForPixelSize(Size pixelSize) const {
    BitmapRef best;
    BitmapRef largest;
    for (const Representation& rep : reps_) {
        if (!rep.bitmap) continue;
        if (!largest || (rep.pixelsWide() >= largest->width() && rep.pixelsHigh() >= largest->height()))
            largest = rep.bitmap;
        if (rep.pixelsWide() >= pixelSize.width && rep.pixelsHigh() >= pixelSize.height &&
            (!best || (rep.pixelsWide() <= best->width() && rep.pixelsHigh() <= best->height())))
            best = rep.bitmap;
    }
    return best ? best : largest;
}

void Image::drawInRect(GraphicsContext& context, const Rect& rect, const Rect& fromRect, BlendMode operation,
                       double fraction, bool respectFlipped) const {
    if (size_.width <= 0 || size_.height <= 0) return;
    Size deviceSize = context.ctm().applyToRect(rect).size;
    BitmapRef bmp = bestBitmapForPixelSize(deviceSize);
    if (!bmp) return;
    // The source rectangle is in points, y up from the image's bottom; the bitmap's rows run top down.
    Rect source;
    if (!fromRect.isEmpty()) {
        double sx = bmp->width() / size_.width, sy = bmp->height() / size_.height;
        source = Rect(fromRect.minX() * sx, (size_.height - fromRect.maxY()) * sy, fromRect.width() * sx,
                      fromRect.height() * sy);
    }
    context.drawBitmap(*bmp, rect, source, operation, fraction, respectFlipped && context.isFlipped());
}

} // namespace vtl
