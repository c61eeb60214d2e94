// CompositionTextObject: the text picture for the pipeline, the typewriter appearance and the
// cache key of every input.

#include "objects/CompositionTextObject.h"
#include "objects/ImageCacheKey.h"
#include "objects/ObjectRendererResources.h"
#include "objects/TextPicture.h"
#include "platform/imaging/ColorSpace.h"

#include <cmath>

namespace vtl {

std::size_t CompositionTextObject::visibleTextUnitsAtTime(double compositionTime) const {
    const std::size_t length = utf16Length(text_);
    const int32_t mode = textVisualization_ ? textVisualization_->appearMode() : 0;
    if (mode == 0) return length;
    if (mode != 1) return 0;
    // An object without length has no first half to type in: it shows the whole text.
    const double duration = this->duration();
    if (!(duration > 0) || !std::isfinite(duration)) return length;
    const double elapsed = compositionTime - startTime();
    if (!(elapsed > 0)) return 0;
    const double units = std::floor(elapsed * static_cast<double>(length) / (duration * 0.5));
    if (!(units < static_cast<double>(length))) return length;
    return static_cast<std::size_t>(units);
}

CIImage CompositionTextObject::renderedText(const std::string& text, const Rect& rect,
                                            const TextVisualization& style, double compositionTime,
                                            const ColorSpaceRef& colorSpace, double xFactor,
                                            double yFactor) const {
    if (!(rect.size.width > 0) || !(rect.size.height > 0)) return {};
    const std::size_t visible = &text == &text_ ? visibleTextUnitsAtTime(compositionTime) : utf16Length(text);
    CIImage picture = renderTextPicture(text, visible, rect.size, textPictureStyleFor(style),
                                        rotationForTime(compositionTime), xFactor, yFactor, colorSpace);
    if (!picture.isNull()) rasterisations_.fetch_add(1, std::memory_order_relaxed);
    return picture;
}

uint64_t CompositionTextObject::imageCacheHashForTime(double t, double factor) const {
    ImageCacheKey key;
    const TextVisualization* style = textVisualization_.get();
    const CompositionRectangularState* state = style ? style->state().get() : nullptr;
    if (style) {
        key.addText(style->font().name);
        key.addScaled(style->font().pointSize, 1000);
    }
    key.addScaled(rotationForTime(t), 10000);
    key.add((drawsFrameAtTime(t) ? 1 : 0) | (state && state->drawsShadow() ? 2 : 0) |
            (state && state->drawsBackground() ? 4 : 0));
    const Rect rect = rectForTime(t);
    key.addScaled(rect.size.width, 1000);
    key.addScaled(rect.size.height, 1000);
    if (state) {
        key.addScaled(state->shadowDistance(), 10);
        key.addScaled(state->shadowAngle(), 10);
        key.addScaled(state->shadowOpacity(), 10);
        key.addScaled(state->shadowRadius(), 10);
    }
    if (style) {
        key.addScaled(style->alignment(), 10);
        key.addScaled(style->verticalAlignment(), 10);
        key.addScaled(style->appearMode(), 10);
        key.addScaled(style->horizontalPadding(), 10);
        key.addScaled(style->verticalPadding(), 10);
    }
    auto addColor = [&key](const RGBAColor& c) {
        key.addScaled(c.red, 100);
        key.addScaled(c.green, 100);
        key.addScaled(c.blue, 100);
        key.addScaled(c.alpha, 100);
    };
    addColor(frameColorForTime(t));
    key.addScaled(frameThicknessForTime(t), 10);
    key.addScaled(factor, 10);
    key.addText(text_);
    if (style) {
        const ArchivedColor& c = style->color();
        addColor(RGBAColor{c.red, c.green, c.blue, c.alpha, true});
    }
    if (state) {
        addColor(state->shadowColor().value_or(RGBAColor{}));
        addColor(state->backgroundColor().value_or(RGBAColor{}));
    }
    key.addScaled(xScalingFactorForTime(t), 10000);
    key.addScaled(yScalingFactorForTime(t), 10000);
    return key.value();
}

std::optional<std::uint64_t>
CompositionTextObject::pictureStampAtTime(const ObjectImageRequest& request) const {
    const double t = request.compositionTime;
    const std::uint64_t key = imageCacheHashForTime(t, 1.0);
    if (!textVisualization_ || textVisualization_->appearMode() == 0) return key;
    ImageCacheKey typed;
    typed.add(key);
    typed.add(static_cast<std::uint64_t>(visibleTextUnitsAtTime(t)));
    return typed.value();
}

CIImage CompositionTextObject::createImageAtTime(const ObjectImageRequest& request) {
    const double compositionTime = request.compositionTime;
    const std::shared_ptr<TextVisualization> style = textVisualization_;
    if (!style) return {};
    const std::string path = request.forExport() ? kCachePathExportImage : kCachePathImage;
    ObjectRendererResources* cache = request.renderer;
    // The product of the factors alone would give (2, 0.5) the key of (1, 1): both go in.
    ImageCacheKey scaled;
    scaled.add(imageCacheHashForTime(compositionTime, request.xFactor * request.yFactor));
    scaled.addScaled(request.xFactor, 10000);
    scaled.addScaled(request.yFactor, 10000);
    const uint64_t key = scaled.value();
    const bool bypass = takeInvalidateCachedVersionNextRun();
    if (cache && !bypass && style->appearMode() == 0) {
        bool valid = false;
        if (cache->timeForObject(*this, path, &valid) == key && valid) {
            CIImage cached = cache->cachedImageForObject(*this, path);
            if (!cached.isNull()) return cached;
        }
    }
    CIImage picture =
        renderedText(text_, rectForTime(compositionTime), *style, compositionTime,
                     cache ? cache->workingColorSpace() : ColorSpaceRef(), request.xFactor, request.yFactor);
    if (cache) cache->setCachedImage(picture, *this, path, key);
    return picture;
}

} // namespace vtl
