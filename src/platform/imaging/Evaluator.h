#pragma once
// Turns image recipes into pixels. A context owns one evaluator; the CPU tile evaluator is the one
// there is, and the interface leaves room for another backend. An evaluator is used by one draw at
// a time (the context wrapper's lock sees to that) but spreads each draw over its workers.

#include "platform/foundation/Result.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/PixelSpan.h"

#include <memory>
#include <optional>

namespace vtl {

// How drawn pixels meet what the destination holds.
enum class DrawMode {
    SourceOver, // the image over the destination's pixels
    Copy,       // the image replaces them (transparent where it has no pixels)
};

class Evaluator {
public:
    virtual ~Evaluator() = default;

    // Draws `region` of the image (whole pixels in image space) into `destination`, a view of
    // exactly region.width × region.height pixels. Fails, leaving the destination untouched, when
    // the region or an intermediate picture would exceed the imaging layer's size limits.
    virtual Status draw(const CIImage& image, const PixelRegion& region, PixelSpan destination,
                        DrawMode mode) = 0;

    // Threads a draw spreads over (at least 1). The result does not depend on it.
    virtual int workerCount() const = 0;
    virtual void setWorkerCount(int workers) = 0;
};

// The evaluator behind contexts made without one: CPU tiles over every worker of the pool.
std::unique_ptr<Evaluator> makeDefaultEvaluator();

// The image computed once into memory, as an image backed by those pixels covering the whole
// pixels of its extent (or of `rect` when given, for infinite images). Caches keep such images so
// that, for example, a shadow is blurred once. Fails for an infinite image without a rectangle and
// beyond the size limits.
Result<CIImage> materialize(const CIImage& image, Evaluator& evaluator,
                            std::optional<Rect> rect = std::nullopt);

} // namespace vtl
