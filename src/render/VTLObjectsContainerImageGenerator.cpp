#include "render/VTLObjectsContainerImageGenerator.h"

#include "render/RasterTargetDrawing.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace vtl {

namespace {

// Output sides beyond this are refused (every frame would fail to allocate anyway).
constexpr float maximumOutputSide = 16384;

int outputSide(double canvasSide, float factor) {
    const float side = std::floor(float(canvasSide) * factor);
    return std::isfinite(side) && side >= 1 && side <= maximumOutputSide ? int(side) : 0;
}

// Premultiplied BGRA rows into the frame's format; colour without alpha is the picture over black.
void convertRows(const BitmapImage& from, const RenderedFrame& to) {
    for (int y = 0; y < to.height; ++y) {
        const std::uint8_t* source = from.rowAt(std::size_t(y));
        std::uint8_t* target = to.row(y);
        switch (to.format) {
        case FramePixelFormat::BGRA8Premultiplied:
            std::memcpy(target, source, std::size_t(to.width) * 4);
            break;
        case FramePixelFormat::RGBA8Premultiplied:
            for (int x = 0; x < to.width; ++x, source += 4, target += 4) {
                target[0] = source[2];
                target[1] = source[1];
                target[2] = source[0];
                target[3] = source[3];
            }
            break;
        case FramePixelFormat::BGRX8:
            for (int x = 0; x < to.width; ++x, source += 4, target += 4) {
                target[0] = source[0];
                target[1] = source[1];
                target[2] = source[2];
                target[3] = 255;
            }
            break;
        case FramePixelFormat::RGB8:
            for (int x = 0; x < to.width; ++x, source += 4, target += 3) {
                target[0] = source[2];
                target[1] = source[1];
                target[2] = source[0];
            }
            break;
        }
    }
}

// Four-byte pixels: the picture over black. Premultiplied colour already is that; only the fourth
// byte is set, a whole pixel at a time so the loop vectorizes.
void makeOpaque(std::uint8_t* pixels, int width, int height, std::size_t bytesPerRow) {
    static_assert(std::endian::native == std::endian::little, "the fourth byte is the high one");
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = pixels + std::size_t(y) * bytesPerRow;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + std::size_t(x) * 4, 4);
            pixel |= 0xff000000u;
            std::memcpy(row + std::size_t(x) * 4, &pixel, 4);
        }
    }
}

} // namespace

VTLObjectsContainerImageGenerator::VTLObjectsContainerImageGenerator(Size canvasSize, float scalingFactor,
                                                                     ColorSpaceRef colorSpace,
                                                                     GeneratorAlpha alpha)
    : alpha_(alpha)
    , colorSpace_(colorSpace ? std::move(colorSpace) : ColorSpace::deviceRGB())
    , width_(outputSide(canvasSize.width, scalingFactor))
    , height_(outputSide(canvasSize.height, scalingFactor))
    , outputScalingFactor_(scalingFactor)
    , renderer_(std::make_unique<VTLObjectsContainerRenderer>(nullptr)) {
    renderer_->setClearColor(0);
}

VTLObjectsContainerImageGenerator::~VTLObjectsContainerImageGenerator() = default;

void VTLObjectsContainerImageGenerator::setObjectsContainer(
    const std::shared_ptr<CompositionObjectsContainer>& container) {
    MutexLock lock(drawMutex_);
    renderer_->setObjectsContainer(container);
}

void VTLObjectsContainerImageGenerator::setPixelBufferPool(std::shared_ptr<RenderedFramePool> pool) {
    MutexLock lock(drawMutex_);
    pool_ = std::move(pool);
}

void VTLObjectsContainerImageGenerator::setOutputScalingFactor(float factor) {
    MutexLock lock(drawMutex_);
    outputScalingFactor_ = factor;
}

float VTLObjectsContainerImageGenerator::outputScalingFactor() const {
    MutexLock lock(drawMutex_);
    return outputScalingFactor_;
}

Result<RenderedFrame>
VTLObjectsContainerImageGenerator::imageFromObjectsContainer(const CompositionObjectsContainer& container,
                                                             double time, bool isPlaying, bool isExporting) {
    MutexLock lock(drawMutex_);
    return renderLocked(container, time, isPlaying, isExporting);
}

Result<RenderedFrame>
VTLObjectsContainerImageGenerator::renderLocked(const CompositionObjectsContainer& container, double time,
                                                bool isPlaying, bool isExporting) {
    if (width_ == 0 || height_ == 0) return fail("The picture to render has no pixels.");
    if (!std::isfinite(time)) return fail("The time to render is not a number.");
    if (!pool_)
        pool_ = std::make_shared<RenderedFramePool>(
            width_, height_, usesAlpha() ? FramePixelFormat::BGRA8Premultiplied : FramePixelFormat::BGRX8);
    if (pool_->width() != width_ || pool_->height() != height_)
        return fail("The frames given are " + std::to_string(pool_->width()) + " × " +
                    std::to_string(pool_->height()) + " pixels, not " + std::to_string(width_) + " × " +
                    std::to_string(height_) + ".");
    Result<RenderedFrame> taken = pool_->take();
    if (!taken) return taken;
    RenderedFrame frame = std::move(taken).value();

    // Four-byte BGR frames take the drawing directly; the others are converted from a scratch one.
    const bool direct =
        frame.format == FramePixelFormat::BGRA8Premultiplied || frame.format == FramePixelFormat::BGRX8;
    RasterTarget target;
    if (direct) {
        target = RasterTarget{frame.pixels.get(), width_, height_, frame.bytesPerRow};
    } else {
        if (scratch_.isEmpty() || int(scratch_.width()) != width_ || int(scratch_.height()) != height_)
            scratch_ = BitmapImage(std::size_t(width_), std::size_t(height_));
        if (scratch_.isEmpty()) return fail("There is not enough memory for a frame.");
        target = RasterTarget::over(scratch_);
    }
    {
        RasterTargetDrawing drawing(target);
        ContainerDrawingOptions options;
        options.time = time;
        options.forExport = isExporting;
        options.forPlayback = isPlaying;
        options.colorSpace = colorSpace_;
        options.backingScalingFactor = 1.0f;
        renderer_->drawObjectsContainerObjects(container, {}, Rect(0, 0, width_, height_), drawing, options);
    }
    if (!direct) {
        if (!usesAlpha()) makeOpaque(scratch_.mutableData(), width_, height_, scratch_.bytesPerRow());
        convertRows(scratch_, frame);
    } else if (frame.format == FramePixelFormat::BGRX8 || !usesAlpha()) {
        makeOpaque(frame.pixels.get(), width_, height_, frame.bytesPerRow);
    }
    return frame;
}

Result<BitmapImage>
VTLObjectsContainerImageGenerator::bitmapFromObjectsContainer(const CompositionObjectsContainer& container,
                                                              double time, bool isPlaying) {
    MutexLock lock(drawMutex_);
    Result<RenderedFrame> rendered = renderLocked(container, time, isPlaying, false);
    if (!rendered) return rendered.asFailure();
    const RenderedFrame& frame = rendered.value();
    BitmapImage bitmap{std::size_t(width_), std::size_t(height_)};
    if (bitmap.isEmpty()) return fail("There is not enough memory for a picture.");
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* source = frame.row(y);
        std::uint8_t* target = bitmap.mutableData() + std::size_t(y) * bitmap.bytesPerRow();
        for (int x = 0; x < width_; ++x, target += 4) {
            switch (frame.format) {
            case FramePixelFormat::BGRA8Premultiplied:
            case FramePixelFormat::BGRX8:
                std::memcpy(target, source, 4);
                source += 4;
                break;
            case FramePixelFormat::RGBA8Premultiplied:
                target[0] = source[2], target[1] = source[1], target[2] = source[0], target[3] = source[3];
                source += 4;
                break;
            case FramePixelFormat::RGB8:
                target[0] = source[2], target[1] = source[1], target[2] = source[0], target[3] = 255;
                source += 3;
                break;
            }
        }
    }
    return bitmap;
}

} // namespace vtl
