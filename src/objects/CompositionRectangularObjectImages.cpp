// The per-object image pipeline: the object's picture with rounded corners, its shadow and frame,
// their caches in the renderer, and the combining under effects and partial opacity.

#include "objects/CompositionRectangularObject.h"
#include "objects/ImageStamp.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/CIImageTools.h"

#include <algorithm>
#include <cmath>

namespace vtl {

using Object = CompositionRectangularObject;

namespace {

// Tags of the stamps, so that stamps of different images never meet.
constexpr std::uint64_t cornerMaskTag = 0x636f726e65726d6bull;
constexpr std::uint64_t shadowTag = 0x736861646f77696dull;
constexpr std::uint64_t frameTag = 0x6672616d65696d67ull;

CIColor ciColorOf(const RGBAColor& c) {
    return CIColor(c.red, c.green, c.blue, c.alpha);
}

void addColor(ImageStamp& stamp, const RGBAColor& c) {
    stamp.add(c.red).add(c.green).add(c.blue).add(c.alpha);
}

// Sine and cosine of whole quarter turns are exact, so a shadow at 90° moves only sideways.
double snappedToInteger(double v) {
    const double r = std::round(v);
    return std::abs(v - r) < 1e-9 ? r : v;
}

// The cached image when the entry exists under that stamp and holds one; none otherwise.
CIImage cachedUnderStamp(const ObjectRendererResources* renderer, const Object& object, const char* path,
                         std::uint64_t stamp) {
    if (!renderer) return {};
    bool valid = false;
    const std::uint64_t stored = renderer->timeForObject(object, path, &valid);
    if (!valid || stored != stamp) return {};
    return renderer->cachedImageForObject(object, path);
}

// What the cache keeps is computed once, so the next frames reuse its pixels.
CIImage keep(ObjectRendererResources* renderer, const Object& object, const char* path, const CIImage& image,
             std::uint64_t stamp) {
    if (!renderer) return image;
    CIImage kept = image.isNull() ? image : renderer->materializedImage(image);
    renderer->setCachedImage(kept, object, path, stamp);
    return kept;
}

} // namespace

// --- Hooks of the kinds

CIImage Object::createImageAtTime(const ObjectImageRequest&) {
    return {};
}

std::optional<std::uint64_t> Object::pictureStampAtTime(const ObjectImageRequest&) const {
    return std::nullopt;
}

Size Object::frameImageSizeAtTime(double, double, float) const {
    return originalSize();
}

// --- The list

std::vector<CIImage> Object::createScaledImagesForTime(const ObjectImageRequest& request,
                                                       BackAndFrontImages backAndFront) {
    CIImage image = createImageAtTime(request);
    if (image.isNull()) return {};
    const double t = request.compositionTime;
    const bool include = backAndFront == BackAndFrontImages::Include;
    std::vector<CIImage> list;
    if (cornerRadiusForTime(t) != 0) image = imageWithRoundedCornersFromImage(image, request);
    if (include) {
        for (CIImage& under : additionalImagesInObjectSpaceToDrawUnderImage(request, image))
            if (!under.isNull()) list.push_back(std::move(under));
    }
    list.push_back(image);
    if (include) {
        const bool unscaled = request.xFactor == 1.0 && request.yFactor == 1.0f;
        for (CIImage& above : additionalImagesInObjectSpaceToDrawAboveImage(request, image)) {
            CIImage placed =
                unscaled ? std::move(above) : imageScaledBy(above, request.xFactor, request.yFactor);
            if (!placed.isNull()) list.push_back(std::move(placed));
        }
    }
    const bool effects = hasEffectsAtTime(t);
    const float opacity = opacityForTime(t);
    if (effects || opacity != 1.0f) {
        CIImage combined = vtltools::imageFromImages(list);
        if (effects) combined = imageWithFiltersAppliedAtTime(t, combined);
        if (opacity != 1.0f) combined = vtltools::imageWithAlpha(combined, opacity);
        list.clear();
        if (!combined.isNull()) list.push_back(std::move(combined));
    }
    return list;
}

std::vector<CIImage> Object::additionalImagesInObjectSpaceToDrawUnderImage(const ObjectImageRequest& request,
                                                                           const CIImage& baseImage) {
    std::vector<CIImage> images;
    if (!drawsShadowAtTime(request.compositionTime)) return images;
    CIImage shadow = shadowImageAtTime(request, baseImage);
    if (!shadow.isNull()) images.push_back(std::move(shadow));
    return images;
}

std::vector<CIImage> Object::additionalImagesInObjectSpaceToDrawAboveImage(const ObjectImageRequest& request,
                                                                           const CIImage&) {
    std::vector<CIImage> images;
    if (!drawsFrameAtTime(request.compositionTime)) return images;
    CIImage frame = frameImageForTime(request);
    if (!frame.isNull()) images.push_back(std::move(frame));
    return images;
}

CIImage Object::imageScaledBy(const CIImage& image, double x, float y) {
    if (image.isNull()) return {};
    return image.imageByApplyingTransform(AffineTransform::scale(x, double(y)));
}

bool Object::needsToRenderAdditionalImageIntoImageAtTime(double t) const {
    const Rect rect = rectForTime(t);
    return !namesOfActiveEffectsAtTime(t).empty() || rect.origin.x != 0 || rect.origin.y != 0 ||
           xScalingFactorForTime(t) != 1 || yScalingFactorForTime(t) != 1 || rotationForTime(t) != 0 ||
           opacityForTime(t) != 1;
}

// --- Rounded corners

std::uint64_t Object::cornerMaskImageCacheHashForTime(double t, double xFactor, float yFactor) const {
    const Rect rect = rectForTime(t);
    const Size natural = frameImageSizeAtTime(t, xFactor, yFactor);
    const bool frame = drawsFrameAtTime(t);
    ImageStamp stamp(cornerMaskTag);
    stamp.add(rect.size.width).add(rect.size.height).add(natural.width).add(natural.height);
    stamp.add(xFactor).add(yFactor).add(cornerRadiusForTime(t)).add(frame);
    if (frame) stamp.add(frameThicknessForTime(t));
    return stamp.value();
}

CIImage Object::cornersMaskForTime(const ObjectImageRequest& request) {
    const double t = request.compositionTime;
    const std::uint64_t stamp = cornerMaskImageCacheHashForTime(t, request.xFactor, request.yFactor);
    if (CIImage cached = cachedUnderStamp(request.renderer, *this, kCachePathCornerMask, stamp);
        !cached.isNull())
        return cached;
    const float r = cornerRadiusForTime(t);
    if (!(r > 0)) return {};
    double radius = double(r) * std::max(request.xFactor, double(request.yFactor));
    const Size natural = frameImageSizeAtTime(t, request.xFactor, request.yFactor);
    const Size size{std::ceil(float(natural.width * request.xFactor)),
                    std::ceil(float(natural.height * double(request.yFactor)))};
    // Without a size there is nothing to round; a mask of no size would hide the whole picture.
    if (!(size.width > 0) || !(size.height > 0)) return {};
    if (drawsFrameAtTime(t)) radius += double(frameThicknessForTime(t)) / 2;
    const CIImage mask = vtltools::imageWithRoundedRectOfSize(size, radius, Color::rgb(0, 0, 0, 0), 1.0);
    return keep(request.renderer, *this, kCachePathCornerMask, mask, stamp);
}

CIImage Object::imageWithRoundedCornersFromImage(const CIImage& image, const ObjectImageRequest& request) {
    const CIImage mask = cornersMaskForTime(request);
    if (mask.isNull()) return image;
    return vtltools::imageFromImageMaskImage(image, mask);
}

// --- Shadow

std::optional<std::uint64_t> Object::shadowImageCacheHashForTime(const ObjectImageRequest& request,
                                                                 const CIImage& image) const {
    const double t = request.compositionTime;
    ImageStamp stamp(shadowTag);
    if (isAlwaysCompletelyOpaque()) {
        // Only the extent of an opaque picture shows in its silhouette.
        const Rect e = image.extent();
        stamp.add(e.origin.x).add(e.origin.y).add(e.size.width).add(e.size.height);
    } else {
        std::optional<std::uint64_t> picture = pictureStampAtTime(request);
        if (!picture) return std::nullopt;
        stamp.add(*picture);
    }
    const Rect rect = rectForTime(t);
    stamp.add(request.xFactor).add(request.yFactor).add(rotationForTime(t));
    stamp.add(rect.size.width).add(rect.size.height).add(cornerRadiusForTime(t)).add(drawsShadowAtTime(t));
    stamp.add(shadowDistanceForTime(t)).add(shadowAngleForTime(t)).add(shadowRadiusForTime(t));
    stamp.add(shadowOpacityForTime(t));
    addColor(stamp, shadowColorForTime(t));
    return stamp.value();
}

CIImage Object::shadowImageForTime(double t, const CIImage& image) const {
    if (image.isNull()) return {};
    // Blurring and moving are linear, so the shadow opacity goes into the colour's alpha: the same
    // shadow without a pass over every pixel of it.
    CIColor color = ciColorOf(shadowColorForTime(t));
    color.alpha *= std::clamp(double(shadowOpacityForTime(t)), 0.0, 1.0);
    std::unique_ptr<CIFilter> blur = CIFilter::filterWithName("CIGaussianBlur");
    if (!blur) return {};
    const CIImage source =
        isAlwaysCompletelyOpaque()
            ? CIImage::imageWithColor(CIColor(0, 0, 0, 1)).imageByCroppingToRect(image.extent())
            : image;
    // A silhouette of one colour with the picture's alpha (what a false-colour filter with both
    // colours alike gives), by integer blending.
    const CIImage silhouette = vtltools::imageFromImageMaskImage(CIImage::imageWithColor(color), source);
    blur->setValue("inputImage", silhouette);
    blur->setValue("inputRadius", double(shadowRadiusForTime(t)));
    const double angle = double(shadowAngleForTime(t)) * 0.017453292519943295;
    const double distance = shadowDistanceForTime(t);
    const CIImage moved = blur->outputImage().imageByApplyingTransform(AffineTransform::translation(
        snappedToInteger(std::sin(angle) * distance), snappedToInteger(std::cos(angle) * distance)));
    return moved;
}

CIImage Object::shadowImageAtTime(const ObjectImageRequest& request, const CIImage& image) {
    const double t = request.compositionTime;
    if (!drawsShadowAtTime(t)) return {};
    if (createsNewShadowImageEveryTime()) return shadowImageForTime(t, image);
    const std::optional<std::uint64_t> stamp = shadowImageCacheHashForTime(request, image);
    if (!stamp) return shadowImageForTime(t, image);
    if (CIImage cached = cachedUnderStamp(request.renderer, *this, kCachePathShadowImage, *stamp);
        !cached.isNull())
        return cached;
    return keep(request.renderer, *this, kCachePathShadowImage, shadowImageForTime(t, image), *stamp);
}

// --- Frame

std::uint64_t Object::frameImageCacheHashForTime(double t, double xFactor, float yFactor) const {
    const Size size = frameImageSizeAtTime(t, xFactor, yFactor);
    ImageStamp stamp(frameTag);
    stamp.add(size.width).add(size.height).add(xFactor).add(yFactor);
    stamp.add(frameThicknessForTime(t)).add(cornerRadiusForTime(t));
    addColor(stamp, frameColorForTime(t));
    return stamp.value();
}

CIImage Object::frameImageForTime(const ObjectImageRequest& request) {
    const double t = request.compositionTime;
    const std::uint64_t stamp = frameImageCacheHashForTime(t, request.xFactor, request.yFactor);
    if (CIImage cached = cachedUnderStamp(request.renderer, *this, kCachePathFrameImage, stamp);
        !cached.isNull())
        return cached;
    CIImage frame;
    const float width = frameThicknessForTime(t);
    if (width > 0) {
        const Size natural = frameImageSizeAtTime(t, request.xFactor, request.yFactor);
        const Size size{std::ceil(float(natural.width)), std::ceil(float(natural.height))};
        if (size.width > 0 && size.height > 0) {
            const RGBAColor c = frameColorForTime(t);
            frame = vtltools::imageWithRoundedFrameOfSize(size, cornerRadiusForTime(t), width,
                                                          Color::rgb(c.red, c.green, c.blue, c.alpha));
        }
    }
    // A none frame removes the entry.
    return keep(request.renderer, *this, kCachePathFrameImage, frame, stamp);
}

} // namespace vtl
