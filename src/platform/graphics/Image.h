#pragma once
// An image with a size in points and one or more bitmap representations of it (for example a 1x
// and a 2x bitmap). Stands for the original's platform image type. Shared through
// std::shared_ptr<Image>; the holder owns it.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Bitmap.h"

#include <memory>
#include <vector>

namespace vtl {

class GraphicsContext;
enum class BlendMode;

class Image {
public:
    Image() = default;
    explicit Image(Size sizePoints)
        : size_(sizePoints) {}
    // One representation whose pixel size is also the size in points.
    static std::shared_ptr<Image> withBitmap(BitmapRef bitmap);

    Size size() const { return size_; }
    void setSize(Size s) { size_ = s; }

    struct Representation {
        BitmapRef bitmap;
        // Pixel size of the representation (the bitmap's size).
        int pixelsWide() const { return bitmap ? bitmap->width() : 0; }
        int pixelsHigh() const { return bitmap ? bitmap->height() : 0; }
    };
    const std::vector<Representation>& representations() const { return reps_; }
    void addRepresentation(BitmapRef bitmap) { reps_.push_back({std::move(bitmap)}); }
    void removeAllRepresentations() { reps_.clear(); }
    bool isValid() const { return !reps_.empty(); }

    // The representation best suited to draw into `pixelSize`: the smallest that is at least that
    // large, else the largest. Null when there is none.
    BitmapRef bestBitmapForPixelSize(Size pixelSize) const;

    // Draws the `fromRect` part of the image (in points; an empty rectangle means the whole image)
    // into `rect` of the context. Like the original, the image's top edge goes to the rectangle's
    // maxY in user space, unless respectFlipped is set and the context is flipped.
    void drawInRect(GraphicsContext& context, const Rect& rect, const Rect& fromRect, BlendMode operation,
                    double fraction, bool respectFlipped = false) const;

private:
    Size size_;
    std::vector<Representation> reps_;
};

using ImageRef = std::shared_ptr<Image>;

} // namespace vtl
