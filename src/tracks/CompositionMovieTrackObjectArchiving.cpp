// The movie track's archive and the drawing of its thumbnail strip.

#include "objects/MouseVisualization.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsContext.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <cstring>

namespace vtl {

using Track = CompositionMovieTrackObject;

namespace {

// Thumbnails are opaque, so their bytes are the same premultiplied or not.
Bitmap movieThumbnailBitmap(const BitmapImage& image) {
    Bitmap bitmap(static_cast<int>(image.width()), static_cast<int>(image.height()));
    if (bitmap.isNull()) return bitmap;
    const std::size_t rowBytes = image.width() * 4;
    for (std::size_t y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.data() + y * bitmap.bytesPerRow(), image.rowAt(y), rowBytes);
    return bitmap;
}

BitmapImage movieThumbnailFromBitmap(const Bitmap& bitmap) {
    if (bitmap.isNull()) return BitmapImage();
    BitmapImage image(static_cast<std::size_t>(bitmap.width()), static_cast<std::size_t>(bitmap.height()));
    if (image.isEmpty()) return image;
    const std::size_t rowBytes = image.width() * 4;
    for (std::size_t y = 0; y < image.height(); ++y)
        std::memcpy(image.mutableData() + y * image.bytesPerRow(), bitmap.data() + y * bitmap.bytesPerRow(),
                    rowBytes);
    return image;
}

} // namespace

void Track::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionQTTrack::encodeWithCoder(coder);
    if (mouseVisualizationStyle())
        coder.encodeObject("key_mouseVisualization", ArchivedValue(mouseVisualizationStyle()));
    coder.encodeBool("key_previewThumbnailsGenerated", previewThumbnailsGenerated());
    // The list is replaced whole, never changed in place: the snapshot is what the lock guards.
    if (std::shared_ptr<const ThumbnailList> thumbnails = previewThumbnails()) {
        ArchivedArray images;
        images.reserve(thumbnails->size());
        for (const BitmapImage& thumbnail : *thumbnails) {
            // A slot whose picture could not be made is kept (as an empty image) so that the
            // thumbnails after it keep their times.
            ArchivedImage archived;
            if (!thumbnail.isEmpty()) archived.pngData = movieThumbnailBitmap(thumbnail).pngData();
            images.emplace_back(std::move(archived));
        }
        coder.encodeObject("key_previewThumbnails", ArchivedValue(std::move(images)));
    }
    if (hasOverrideSize_) {
        coder.encodeObject("key_hasOverrideSize", ArchivedValue(true));
        coder.encodeString("key_overrideSizeString", stringFromSize(overrideSize_));
    }
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    CompositionQTTrack::initWithCoder(coder);
    // Decoded objects do not follow the thumbnails of an original.
    stopObservingThumbnails();
    addObservers();
    setMouseVisualization(coder.decodeObjectOfClass<MouseVisualization>("key_mouseVisualization"));
    if (std::optional<ArchivedArray> images = coder.decodeArrayForKey("key_previewThumbnails")) {
        ThumbnailList thumbnails;
        thumbnails.reserve(images->size());
        for (const ArchivedValue& value : *images) {
            const ArchivedImage* archived = value.imageValue();
            std::shared_ptr<Bitmap> bitmap =
                archived && !archived->pngData.empty() ? Bitmap::fromData(archived->pngData) : nullptr;
            thumbnails.push_back(bitmap ? movieThumbnailFromBitmap(*bitmap) : BitmapImage());
        }
        MutexLock lock(thumbnailsMutex_);
        for (const BitmapImage& image : thumbnails) {
            if (image.isEmpty()) continue;
            thumbSize_ = Size{static_cast<double>(image.width()), static_cast<double>(image.height())};
            break;
        }
        previewThumbnails_ = std::make_shared<const ThumbnailList>(std::move(thumbnails));
    }
    previewThumbnailsGenerated_.store(coder.decodeBoolForKey("key_previewThumbnailsGenerated"));
    isInitialRead_ = false;
    if (coder.containsValueForKey("key_hasOverrideSize") && coder.decodeBoolForKey("key_hasOverrideSize")) {
        const Size size = sizeFromString(coder.decodeStringForKey("key_overrideSizeString").value_or(""));
        // A damaged size would give a picture of no or absurd size: the track's own size stays.
        if (size.width >= 1 && size.height >= 1 && size.width <= 16384 && size.height <= 16384) {
            overrideSize_ = size;
            hasOverrideSize_ = true;
        }
    }
}

void Track::drawThumbs(GraphicsContext& context, Size size, double fromSecond, double pixelsPerSecond,
                       Point origin, double scrubTime) const {
    std::shared_ptr<const ThumbnailList> thumbnails = previewThumbnails();
    if (!thumbnails) return;
    const std::vector<ThumbnailPlacement> placements =
        thumbPlacements(size, fromSecond, pixelsPerSecond, origin, scrubTime);
    context.saveGState();
    context.setLineWidth(1.0);
    for (const ThumbnailPlacement& placement : placements) {
        const BitmapImage& thumbnail = (*thumbnails)[placement.index];
        if (thumbnail.isEmpty()) continue;
        context.drawImage(placement.rect, movieThumbnailBitmap(thumbnail));
    }
    context.restoreGState();
}

} // namespace vtl
