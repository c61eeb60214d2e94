// The compositing half of the renderer: drawing order, skip rules, masks, placement of each
// object's pictures and the canvas background.
#include "drawing/GeometryFunctions.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "render/RasterTargetDrawing.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

bool finiteRect(const Rect& r) {
    return std::isfinite(r.minX()) && std::isfinite(r.minY()) && std::isfinite(r.width()) &&
           std::isfinite(r.height());
}

Rect scaledRect(const Rect& r, double sx, double sy) {
    return Rect(r.minX() * sx, r.minY() * sy, r.width() * sx, r.height() * sy);
}

bool trackIsDisabled(const CompositionBaseObject& object) {
    const auto& track = object.containerTrack();
    return track && track->isDisabled();
}

bool listContains(const ObjectList& list, const CompositionBaseObject* object) {
    return std::any_of(list.begin(), list.end(), [&](const auto& o) { return o.get() == object; });
}

ImagePurpose purposeOf(bool forPlayback, bool forExport) {
    if (forExport) return ImagePurpose::Export;
    return forPlayback ? ImagePurpose::Playback : ImagePurpose::Preview;
}

// A colour as premultiplied bytes B, G, R, A.
struct PremultipliedPixel {
    double b, g, r, a;
};

PremultipliedPixel premultiplied(const RGBAColor& color) {
    auto unit = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    const double a = unit(color.alpha);
    return {unit(color.blue) * a * 255.0, unit(color.green) * a * 255.0, unit(color.red) * a * 255.0,
            a * 255.0};
}

void putBlend(std::uint8_t* pixel, const PremultipliedPixel& from, const PremultipliedPixel& to, double t) {
    t = std::clamp(t, 0.0, 1.0);
    pixel[0] = std::uint8_t(std::lround(from.b + (to.b - from.b) * t));
    pixel[1] = std::uint8_t(std::lround(from.g + (to.g - from.g) * t));
    pixel[2] = std::uint8_t(std::lround(from.r + (to.r - from.r) * t));
    pixel[3] = std::uint8_t(std::lround(from.a + (to.a - from.a) * t));
}

// A refused draw (a region larger than the imaging layer allows) loses that picture only.
void drawLogged(RasterTargetDrawing& drawing, const CIImage& image, const Rect& inRect,
                const Rect& fromRect) {
    if (Status drawn = drawing.drawImage(image, inRect, fromRect); !drawn)
        logMessage("A picture of the composition could not be drawn: " + drawn.error());
}

// Canvases are at most this many units a side for the background picture; larger ones are
// refused rather than allocated.
constexpr double maximumBackgroundSide = 16384;

} // namespace

// --- Background

CIImage VTLObjectsContainerRenderer::backgroundImage(const CompositionObjectsContainer& container) {
    const Size canvas = container.canvasSize();
    BackgroundKey key{&container, canvas, container.backgroundColor1(), container.backgroundColor2(),
                      container.backgroundKind()};
    MutexLock lock(backgroundMutex_);
    // A canvas smaller than one unit keeps the previous picture.
    if (!(canvas.width >= 1.0 && canvas.height >= 1.0)) return background_;
    if (backgroundKey_ && *backgroundKey_ == key) return background_;
    backgroundKey_ = key;
    background_ = CIImage();
    if (key.kind == BackgroundKind::None || !(canvas.width <= maximumBackgroundSide) ||
        !(canvas.height <= maximumBackgroundSide))
        return background_;
    const std::size_t width = std::size_t(canvas.width), height = std::size_t(canvas.height);
    BitmapImage bitmap(width, height);
    if (bitmap.isEmpty()) return background_;
    const PremultipliedPixel from = premultiplied(key.color1), to = premultiplied(key.color2);
    std::uint8_t* pixels = bitmap.mutableData();
    if (key.kind == BackgroundKind::LinearGradient) {
        // From the first colour at the top to the second at the bottom.
        for (std::size_t y = 0; y < height; ++y) {
            std::uint8_t row[4];
            putBlend(row, from, to, (double(y) + 0.5) / double(height));
            std::uint8_t* line = pixels + y * bitmap.bytesPerRow();
            for (std::size_t x = 0; x < width; ++x)
                std::copy(row, row + 4, line + x * 4);
        }
    } else {
        // From the first colour at the centre to the second at the corners.
        const double cx = double(width) / 2, cy = double(height) / 2;
        const double radius = std::hypot(cx, cy);
        for (std::size_t y = 0; y < height; ++y) {
            std::uint8_t* line = pixels + y * bitmap.bytesPerRow();
            const double dy = double(y) + 0.5 - cy;
            for (std::size_t x = 0; x < width; ++x)
                putBlend(line + x * 4, from, to, std::hypot(double(x) + 0.5 - cx, dy) / radius);
        }
    }
    background_ = CIImage::imageWithBitmapImage(bitmap, ColorSpace::deviceRGB());
    ++backgroundBuilds_;
    return background_;
}

std::uint64_t VTLObjectsContainerRenderer::backgroundBuildCount() const {
    MutexLock lock(backgroundMutex_);
    return backgroundBuilds_;
}

// --- Entries

void VTLObjectsContainerRenderer::drawObjectsInTargetRect(RasterTargetDrawing& drawing,
                                                          const Rect& targetRect,
                                                          const ObjectList& maskObjects,
                                                          const ContainerDrawingOptions& options) {
    const std::shared_ptr<CompositionObjectsContainer> container = container_.lock();
    if (!container) return;
    drawObjectsContainerObjects(*container, maskObjects, targetRect, drawing, options);
}

void VTLObjectsContainerRenderer::drawObjectsContainerObjects(const CompositionObjectsContainer& container,
                                                              const ObjectList& maskObjects,
                                                              const Rect& targetRect,
                                                              RasterTargetDrawing& drawing,
                                                              const ContainerDrawingOptions& options) {
    drawObjectsCore(container.transitionsAndObjects(), maskObjects, drawing, targetRect,
                    container.canvasSize(), options, &container, nullptr, 1.0);
}

void VTLObjectsContainerRenderer::drawObjects(const ObjectList& objects, const ObjectList& maskObjects,
                                              RasterTargetDrawing& drawing, const Rect& targetRect,
                                              Size canvasSize, const ContainerDrawingOptions& options,
                                              IncludeBackground background, const std::vector<double>* times,
                                              double additionalScaling) {
    const std::shared_ptr<CompositionObjectsContainer> container =
        background == IncludeBackground::Yes ? container_.lock() : nullptr;
    drawObjectsCore(objects, maskObjects, drawing, targetRect, canvasSize, options, container.get(), times,
                    additionalScaling);
}

// --- The compositing core

void VTLObjectsContainerRenderer::drawObjectsCore(const ObjectList& objects, const ObjectList& maskObjects,
                                                  RasterTargetDrawing& drawing, const Rect& targetRect,
                                                  Size canvasSize, const ContainerDrawingOptions& options,
                                                  const CompositionObjectsContainer* backgroundSource,
                                                  const std::vector<double>* times,
                                                  double additionalScaling) {
    if (!options.colorSpace || !drawing.isValid()) return;
    releaseRetiredResources();

    ObjectList list = objects;
    for (const auto& mask : maskObjects)
        if (mask && !listContains(list, mask.get())) list.push_back(mask);

    drawing.clear(clearColor_);
    if (!(canvasSize.width > 0) || !(canvasSize.height > 0) || !finiteRect(targetRect)) return;
    const double a = std::isfinite(additionalScaling) && additionalScaling > 0 ? additionalScaling : 1.0;
    // Single precision, as every caller's factors are.
    const double sx = float(targetRect.width() / canvasSize.width);
    const double sy = float(targetRect.height() / canvasSize.height);
    const bool playback = options.forPlayback;
    // Display scaling once: by the placement in playback, by the rectangles otherwise.
    const double rectX = (playback ? 1.0 : sx) * a, rectY = (playback ? 1.0 : sy) * a;

    drawing.pushTransform();
    drawing.translate(targetRect.minX(), targetRect.minY());
    if (playback) drawing.scale(sx, sy);

    if (backgroundSource) {
        const CIImage background = backgroundImage(*backgroundSource);
        if (!background.isNull())
            drawLogged(drawing, background,
                       scaledRect(Rect(0, 0, canvasSize.width, canvasSize.height), rectX, rectY),
                       background.extent());
    }

    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::shared_ptr<CompositionBaseObject>& base = list[i];
        auto* object = dynamic_cast<CompositionRectangularObject*>(base.get());
        if (!object || !object->drawsInPreviewView() || trackIsDisabled(*object)) continue;
        const bool isMask = object->isAMask();
        if (isMask && (playback || options.forExport || !listContains(maskObjects, object))) continue;
        double time = options.time;
        if (times && i < times->size() && std::isfinite((*times)[i])) time = (*times)[i];
        if (!object->needsToDrawAtTime(time)) continue;

        if (const std::shared_ptr<CompositionBaseObject> mask = object->maskObject()) {
            const VisualCapability* maskVisual = mask->asVisual();
            if (maskVisual && maskVisual->needsToDrawAtTime(time)) {
                if (trackIsDisabled(*mask)) continue;
                const CIImage maskImage =
                    imageToDrawAtTime(time, *mask, playback, options.forExport, options.backingScalingFactor,
                                      sx, sy, a, options.colorSpace);
                const CIImage image =
                    imageToDrawAtTime(time, *object, playback, options.forExport,
                                      options.backingScalingFactor, sx, sy, a, options.colorSpace);
                const CIImage masked = vtltools::imageFromImageMaskImage(image, maskImage);
                if (!masked.isNull() && !masked.isEmpty() && finiteRect(masked.extent()))
                    drawLogged(drawing, masked, masked.extent(), masked.extent());
                continue;
            }
        }

        const double xFactor = object->xScalingFactorForTime(time);
        const float yFactor = float(object->yScalingFactorForTime(time));
        Rect rect = object->rectForTime(time);
        ObjectImageRequest request;
        request.compositionTime = time;
        request.renderer = this;
        request.xFactor = xFactor;
        request.yFactor = yFactor;
        request.backingScalingFactor = options.backingScalingFactor;
        request.purpose = purposeOf(playback, options.forExport);
        const std::vector<CIImage> images =
            object->createScaledImagesForTime(request, BackAndFrontImages::Include);
        if (images.empty()) continue;
        const std::optional<AffineTransform> transform =
            objectTransform(*object, time, rect, xFactor, yFactor);
        for (const CIImage& picture : images) {
            if (picture.isNull() || picture.isEmpty()) continue;
            CIImage placed = transform ? picture.imageByApplyingTransform(*transform) : picture;
            if (isMask) placed = ghostOf(placed);
            const Rect extent = placed.extent();
            if (!finiteRect(extent)) continue;
            const Rect destination(extent.minX() + rect.minX(), extent.minY() + rect.minY(), extent.width(),
                                   extent.height());
            drawLogged(drawing, placed, scaledRect(destination, rectX, rectY), extent);
        }
    }

    if (options.afterObjects) {
        // The block draws in canvas units whether or not the rectangles carried the scaling.
        drawing.pushTransform();
        if (!playback) drawing.scale(sx, sy);
        if (a != 1.0) drawing.scale(a, a);
        options.afterObjects(drawing);
        drawing.popTransform();
    }
    drawing.popTransform();
}

std::optional<AffineTransform>
VTLObjectsContainerRenderer::objectTransform(const CompositionRectangularObject& object, double time,
                                             const Rect& rect, double xFactor, double yFactor) const {
    Size size = object.originalSize();
    if (size.width == 0 && size.height == 0) size = rect.size;
    size = Size{size.width * xFactor, size.height * yFactor};
    std::optional<AffineTransform> transform =
        object.compositingTransformWithRect(Rect(0, 0, size.width, size.height), time);
    if (transform &&
        !(std::isfinite(transform->a) && std::isfinite(transform->b) && std::isfinite(transform->c) &&
          std::isfinite(transform->d) && std::isfinite(transform->tx) && std::isfinite(transform->ty)))
        return std::nullopt;
    return transform;
}

CIImage VTLObjectsContainerRenderer::ghostOf(const CIImage& image) {
    if (!monochromeMaskFilter_) {
        registerBuiltinFilters();
        monochromeMaskFilter_ = CIFilter::filterWithName("CIColorMonochrome");
        if (!monochromeMaskFilter_) return vtltools::imageWithAlpha(image, 0.25);
        monochromeMaskFilter_->setValue("inputColor", CIColor(0, 0, 0, 1));
        monochromeMaskFilter_->setValue("inputIntensity", 1.0);
    }
    monochromeMaskFilter_->setValue("inputImage", image);
    CIImage grey = monochromeMaskFilter_->outputImage();
    monochromeMaskFilter_->setValue("inputImage", CIImage());
    return vtltools::imageWithAlpha(grey.isNull() ? image : grey, 0.25);
}

CIImage VTLObjectsContainerRenderer::imageToDrawAtTime(double time, CompositionBaseObject& base,
                                                       bool forPlayback, bool forExport,
                                                       float backingScalingFactor, double displayScalingX,
                                                       double displayScalingY, double additionalScaling,
                                                       const ColorSpaceRef& colorSpace) {
    auto* object = dynamic_cast<CompositionRectangularObject*>(&base);
    if (!object || !colorSpace) return {};
    const double a = std::isfinite(additionalScaling) && additionalScaling > 0 ? additionalScaling : 1.0;
    const double rectX = (forPlayback ? 1.0 : displayScalingX) * a;
    const double rectY = (forPlayback ? 1.0 : displayScalingY) * a;
    const double xFactor = object->xScalingFactorForTime(time);
    const float yFactor = float(object->yScalingFactorForTime(time));
    const Rect rect = object->rectForTime(time);
    ObjectImageRequest request;
    request.compositionTime = time;
    request.renderer = this;
    request.xFactor = xFactor;
    request.yFactor = yFactor;
    request.backingScalingFactor = backingScalingFactor;
    request.purpose = purposeOf(forPlayback, forExport);
    const std::vector<CIImage> images =
        object->createScaledImagesForTime(request, BackAndFrontImages::Include);
    const std::optional<AffineTransform> transform = objectTransform(*object, time, rect, xFactor, yFactor);
    std::vector<CIImage> mapped;
    for (const CIImage& picture : images) {
        if (picture.isNull() || picture.isEmpty()) continue;
        const CIImage placed = transform ? picture.imageByApplyingTransform(*transform) : picture;
        const Rect extent = placed.extent();
        if (!finiteRect(extent) || extent.isEmpty()) continue;
        const Rect destination = scaledRect(
            Rect(extent.minX() + rect.minX(), extent.minY() + rect.minY(), extent.width(), extent.height()),
            rectX, rectY);
        if (!finiteRect(destination) || destination.isEmpty()) continue;
        mapped.push_back(placed.imageByCroppingToRect(extent).imageByApplyingTransform(
            CGAffineTransformFromRectToRect(extent, destination)));
    }
    return vtltools::imageFromImages(mapped);
}

void VTLObjectsContainerRenderer::drawCIImageInContext(const CIImage& image, RasterTargetDrawing& drawing,
                                                       const Rect& targetRect) {
    if (image.isNull() || image.isEmpty() || !finiteRect(image.extent())) return;
    drawLogged(drawing, image, targetRect, image.extent());
}

} // namespace vtl
