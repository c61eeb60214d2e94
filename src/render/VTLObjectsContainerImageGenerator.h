#pragma once
// Renders a whole container at a time without a window: through a renderer of its own (clearing
// to transparent) into frames of a fixed output size, the canvas size times a scaling factor.
// Serves the movie export, the document's preview picture, sharing and the picture of selected
// objects. One frame at a time: a draw mutex makes it safe to call from any thread; each export
// thread renders a frozen model through a generator of its own. Owned by its caller.

#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "render/RenderedFramePool.h"

#include <memory>

namespace vtl {

class VTLObjectsContainerRenderer;

// Whether the frames keep the picture's transparency.
enum class GeneratorAlpha { Without, With };

class VTLObjectsContainerImageGenerator {
public:
    // Output size: ⌊width × factor⌋ × ⌊height × factor⌋, in single precision.
    VTLObjectsContainerImageGenerator(Size canvasSize, float scalingFactor, ColorSpaceRef colorSpace,
                                      GeneratorAlpha alpha);
    ~VTLObjectsContainerImageGenerator();
    VTLObjectsContainerImageGenerator(const VTLObjectsContainerImageGenerator&) = delete;
    VTLObjectsContainerImageGenerator& operator=(const VTLObjectsContainerImageGenerator&) = delete;

    // The container whose removals the renderer follows (the frames take theirs per call).
    void setObjectsContainer(const std::shared_ptr<CompositionObjectsContainer>& container);
    // Every later frame comes from this pool (of the output size); none: the generator's own,
    // BGRA premultiplied with alpha, BGRX without.
    void setPixelBufferPool(std::shared_ptr<RenderedFramePool> pool);
    // Stored only: the output size stays the one fixed at creation.
    void setOutputScalingFactor(float factor);
    float outputScalingFactor() const;

    VTLObjectsContainerRenderer& renderer() { return *renderer_; }
    int outputWidth() const { return width_; }
    int outputHeight() const { return height_; }
    bool usesAlpha() const { return alpha_ == GeneratorAlpha::With; }

    // The container at the time, every object at that time, in the pool's format, top row first.
    Result<RenderedFrame> imageFromObjectsContainer(const CompositionObjectsContainer& container, double time,
                                                    bool isPlaying, bool isExporting = false);
    // The same as a premultiplied BGRA picture of the output size.
    Result<BitmapImage> bitmapFromObjectsContainer(const CompositionObjectsContainer& container, double time,
                                                   bool isPlaying);

private:
    Result<RenderedFrame> renderLocked(const CompositionObjectsContainer& container, double time,
                                       bool isPlaying, bool isExporting) VTL_REQUIRES(drawMutex_);

    const GeneratorAlpha alpha_;
    const ColorSpaceRef colorSpace_;
    int width_ = 0, height_ = 0;
    mutable Mutex drawMutex_;
    float outputScalingFactor_ VTL_GUARDED_BY(drawMutex_);
    std::unique_ptr<VTLObjectsContainerRenderer> renderer_;
    std::shared_ptr<RenderedFramePool> pool_ VTL_GUARDED_BY(drawMutex_);
    // Where frames of another format are drawn first; reused while the size holds.
    BitmapImage scratch_ VTL_GUARDED_BY(drawMutex_);
};

} // namespace vtl
