#pragma once
// The CPU evaluator: splits a draw into a fixed grid of tiles and runs them on the dispatch pool's
// workers (`dispatchApply`). Intermediates that are read around a pixel (a blur's neighbourhood,
// a resampled transform) or by several nodes are computed once into memory first; everything
// else is computed tile by tile, each node only for the region asked of it. The tile grid depends
// only on the region drawn, so the output is the same for any number of workers.
// Owned by the context that draws with it.

#include "platform/imaging/Evaluator.h"

#include <memory>

namespace vtl {

class CPUTileEvaluator final : public Evaluator {
public:
    // workers 0: as many as the pool has threads.
    explicit CPUTileEvaluator(int workers = 0);

    Status draw(const CIImage& image, const PixelRegion& region, PixelSpan destination,
                DrawMode mode) override;
    int workerCount() const override { return workers_; }
    void setWorkerCount(int workers) override;

    static constexpr int tileWidthPixels = 512;
    static constexpr int tileHeightPixels = 64;

    // Intermediate pictures given back after a draw, kept for the next draws of this evaluator.
    class IntermediatePool;

private:
    int workers_ = 1;
    std::shared_ptr<IntermediatePool> pool_;
};

} // namespace vtl
