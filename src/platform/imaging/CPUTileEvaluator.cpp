#include "platform/imaging/CPUTileEvaluator.h"

#include "platform/foundation/DispatchApply.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/PixelKernels.h"
#include "platform/imaging/Resample.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vtl {

using namespace detail;

// Fresh memory for every intermediate costs a page fault per page on each draw: a video frame's
// blur passes spend as long faulting in their pictures as computing them. Blocks are handed out
// to one draw at a time; what is kept is bounded.
class CPUTileEvaluator::IntermediatePool {
public:
    static constexpr std::size_t maximumKeptBytes = std::size_t(96) << 20;

    struct Block {
        std::unique_ptr<std::uint8_t[]> memory;
        std::size_t bytes = 0;
    };

    // A block of at least `bytes`; empty when memory runs out.
    Block take(std::size_t bytes) {
        {
            std::lock_guard lock(mutex_);
            // The smallest kept block that is large enough.
            auto best = blocks_.end();
            for (auto it = blocks_.begin(); it != blocks_.end(); ++it)
                if (it->bytes >= bytes && (best == blocks_.end() || it->bytes < best->bytes)) best = it;
            if (best != blocks_.end()) {
                Block found = std::move(*best);
                blocks_.erase(best);
                keptBytes_ -= found.bytes;
                return found;
            }
        }
        Block fresh{std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[bytes]), bytes};
        if (!fresh.memory) fresh.bytes = 0;
        return fresh;
    }

    void giveBack(Block block) {
        if (!block.memory || block.bytes > maximumKeptBytes) return;
        std::lock_guard lock(mutex_);
        // The oldest blocks go first when the new one would not fit.
        while (!blocks_.empty() && keptBytes_ + block.bytes > maximumKeptBytes) {
            keptBytes_ -= blocks_.front().bytes;
            blocks_.erase(blocks_.begin());
        }
        keptBytes_ += block.bytes;
        blocks_.push_back(std::move(block));
    }

private:
    std::mutex mutex_;
    std::vector<Block> blocks_;
    std::size_t keptBytes_ = 0;
};

namespace {

// Per-thread scratch memory taken and given back in stack order, so a tile's intermediates reuse
// the same blocks from tile to tile.
class Scratch {
public:
    static Scratch& forThisThread() {
        thread_local Scratch scratch;
        return scratch;
    }
    std::uint8_t* take(std::size_t bytes) {
        if (used_ == blocks_.size()) {
            blocks_.emplace_back();
            sizes_.push_back(0);
        }
        if (sizes_[used_] < bytes) {
            blocks_[used_].reset(new std::uint8_t[bytes]);
            sizes_[used_] = bytes;
        }
        return blocks_[used_++].get();
    }
    std::size_t mark() const { return used_; }
    void release(std::size_t mark) { used_ = mark; }

private:
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::vector<std::size_t> sizes_;
    std::size_t used_ = 0;
};

class ScratchScope {
public:
    ScratchScope()
        : scratch_(Scratch::forThisThread())
        , mark_(scratch_.mark()) {}
    ~ScratchScope() { scratch_.release(mark_); }
    ScratchScope(const ScratchScope&) = delete;
    ScratchScope& operator=(const ScratchScope&) = delete;
    PixelSpan take(int width, int height) {
        std::uint8_t* p = scratch_.take(std::size_t(width) * height * 4);
        return {p, std::ptrdiff_t(width) * 4, width, height};
    }

private:
    Scratch& scratch_;
    std::size_t mark_;
};

struct Buffer {
    CPUTileEvaluator::IntermediatePool::Block memory;
    PixelSpan span;
    PixelRegion region;
};

// Pixels of a node already in memory, as a whole (for resampling).
struct InMemory {
    ConstPixelSpan span;
    PixelRegion region;
};

struct TileSize {
    int width, height;
};
constexpr TileSize workTile{CPUTileEvaluator::tileWidthPixels, CPUTileEvaluator::tileHeightPixels};
constexpr TileSize overBand{maximumRegionSidePixels, 256};

// Intermediates may take at most this many pixels in all during one draw.
constexpr std::int64_t maximumIntermediatePixels = maximumRegionPixels * 2;

class RenderPass {
public:
    RenderPass(int workers, CPUTileEvaluator::IntermediatePool& pool)
        : workers_(workers)
        , pool_(pool) {}
    ~RenderPass() {
        for (auto& [node, buffer] : buffers_)
            pool_.giveBack(std::move(buffer.memory));
    }
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;

    Status prepare(const ImageNode* root, const PixelRegion& region);
    void evaluate(const ImageNode* node, const PixelRegion& region, PixelSpan out) const;
    // A view of the node's pixels over the region: in place when they are in memory, else
    // computed into the calling thread's scratch (the caller holds a ScratchScope).
    ConstPixelSpan provide(const ImageNode* node, const PixelRegion& region, ScratchScope& scratch) const;
    std::optional<InMemory> inMemory(const ImageNode* node) const;
    void forEachTile(const PixelRegion& region, const std::function<void(const PixelRegion&)>& body) const {
        forEachTile(region, workTile, body);
    }
    void forEachTile(const PixelRegion& region, TileSize size,
                     const std::function<void(const PixelRegion&)>& body) const;

private:
    bool providesInPlace(const ImageNode* node, const PixelRegion& region) const;
    PixelRegion regionOfInput(const ImageNode* node, std::size_t i, const PixelRegion& region) const;

    int workers_;
    CPUTileEvaluator::IntermediatePool& pool_;
    std::unordered_map<const ImageNode*, Buffer> buffers_;
};

const ImageNode* inputOf(const ImageNode* node, std::size_t i = 0) {
    return node->inputs()[i].get();
}

bool isResampled(const ImageNode* node) {
    return node->kind() == ImageNodeKind::Transform &&
           !static_cast<const TransformNode*>(node)->isWholePixelMove();
}

PixelRegion RenderPass::regionOfInput(const ImageNode* node, std::size_t i, const PixelRegion& region) const {
    PixelRegion r;
    switch (node->kind()) {
    case ImageNodeKind::Crop:
        r = region.intersection(node->pixelRegion());
        break;
    case ImageNodeKind::Transform: {
        auto t = static_cast<const TransformNode*>(node);
        if (t->isWholePixelMove())
            r = region.offsetBy(-t->moveX(), -t->moveY());
        else
            r = pixelRegionCovering(t->inverse().applyToRect(region.rect())).grownBy(2);
        break;
    }
    case ImageNodeKind::Kernel:
        r = static_cast<const KernelNode*>(node)->regionOfInput(i, region);
        break;
    default:
        break;
    }
    return r.intersection(inputOf(node, i)->pixelRegion());
}

bool RenderPass::providesInPlace(const ImageNode* node, const PixelRegion& region) const {
    if (auto it = buffers_.find(node); it != buffers_.end()) return it->second.region.contains(region);
    switch (node->kind()) {
    case ImageNodeKind::Raster:
        return node->pixelRegion().contains(region);
    case ImageNodeKind::Constant:
        return true; // a fill, as cheap as a view
    case ImageNodeKind::Crop:
        return node->pixelRegion().contains(region) && providesInPlace(inputOf(node), region);
    case ImageNodeKind::Transform: {
        auto t = static_cast<const TransformNode*>(node);
        return t->isWholePixelMove() &&
               providesInPlace(inputOf(node), region.offsetBy(-t->moveX(), -t->moveY()));
    }
    default:
        return false;
    }
}

std::optional<InMemory> RenderPass::inMemory(const ImageNode* node) const {
    if (auto it = buffers_.find(node); it != buffers_.end())
        return InMemory{it->second.span, it->second.region};
    if (node->kind() == ImageNodeKind::Raster && !node->pixelRegion().isEmpty()) {
        auto raster = static_cast<const RasterNode*>(node);
        return InMemory{raster->pixels(), raster->pixelRegion()};
    }
    // A crop of pixels in memory is a smaller view of them.
    if (node->kind() == ImageNodeKind::Crop && inputOf(node)->kind() == ImageNodeKind::Raster) {
        auto raster = static_cast<const RasterNode*>(inputOf(node));
        PixelRegion r = node->pixelRegion().intersection(raster->pixelRegion());
        if (r.isEmpty()) return std::nullopt;
        return InMemory{raster->pixelsIn(r), r};
    }
    return std::nullopt;
}

Status RenderPass::prepare(const ImageNode* root, const PixelRegion& region) {
    // Nodes children first, with how many times and how each is read.
    std::vector<const ImageNode*> order;
    std::unordered_set<const ImageNode*> seen;
    std::unordered_map<const ImageNode*, int> readers;
    std::unordered_set<const ImageNode*> readAround, resampled;
    std::function<void(const ImageNode*)> visit = [&](const ImageNode* node) {
        if (!seen.insert(node).second) return;
        for (std::size_t i = 0; i < node->inputs().size(); ++i) {
            const ImageNode* input = inputOf(node, i);
            ++readers[input];
            if (isResampled(node)) resampled.insert(input);
            if (node->kind() == ImageNodeKind::Kernel && !static_cast<const KernelNode*>(node)->isPixelwise())
                readAround.insert(input);
            visit(input);
        }
        order.push_back(node);
    };
    visit(root);

    std::unordered_map<const ImageNode*, PixelRegion> needed;
    needed[root] = region.intersection(root->pixelRegion());
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const ImageNode* node = *it;
        PixelRegion r = needed[node];
        if (r.isEmpty()) continue;
        for (std::size_t i = 0; i < node->inputs().size(); ++i) {
            PixelRegion& in = needed[inputOf(node, i)];
            in = in.unionWith(regionOfInput(node, i, r));
        }
    }

    std::int64_t intermediatePixels = 0;
    for (const ImageNode* node : order) {
        if (node == root) continue;
        const PixelRegion r = needed[node];
        if (r.isEmpty()) continue;
        bool keep = false;
        if (resampled.count(node) && !inMemory(node)) keep = true;
        if ((readAround.count(node) || readers[node] > 1) && !providesInPlace(node, r)) keep = true;
        if (!keep) continue;
        intermediatePixels += r.pixelCount();
        if (r.width > maximumRegionSidePixels || r.height > maximumRegionSidePixels ||
            intermediatePixels > maximumIntermediatePixels)
            return fail("The image needs an intermediate picture larger than the imaging layer allows.");
        Buffer buffer;
        buffer.memory = pool_.take(std::size_t(r.pixelCount()) * 4);
        if (!buffer.memory.memory) return fail("There is not enough memory for an intermediate picture.");
        buffer.span = {buffer.memory.memory.get(), std::ptrdiff_t(r.width) * 4, r.width, r.height};
        buffer.region = r;
        forEachTile(r, [&](const PixelRegion& tile) {
            evaluate(node, tile, buffer.span.sub(tile.x - r.x, tile.y - r.y, tile.width, tile.height));
        });
        buffers_.emplace(node, std::move(buffer));
    }
    return {};
}

ConstPixelSpan RenderPass::provide(const ImageNode* node, const PixelRegion& region,
                                   ScratchScope& scratch) const {
    if (auto it = buffers_.find(node); it != buffers_.end() && it->second.region.contains(region)) {
        const Buffer& b = it->second;
        return b.span.sub(region.x - b.region.x, region.y - b.region.y, region.width, region.height);
    }
    switch (node->kind()) {
    case ImageNodeKind::Raster:
        if (node->pixelRegion().contains(region))
            return static_cast<const RasterNode*>(node)->pixelsIn(region);
        break;
    case ImageNodeKind::Crop:
        if (node->pixelRegion().contains(region)) return provide(inputOf(node), region, scratch);
        break;
    case ImageNodeKind::Transform: {
        auto t = static_cast<const TransformNode*>(node);
        if (t->isWholePixelMove())
            return provide(inputOf(node), region.offsetBy(-t->moveX(), -t->moveY()), scratch);
        break;
    }
    default:
        break;
    }
    PixelSpan out = scratch.take(region.width, region.height);
    evaluate(node, region, out);
    return out;
}

void RenderPass::evaluate(const ImageNode* node, const PixelRegion& region, PixelSpan out) const {
    const PixelRegion inside = region.intersection(node->pixelRegion());
    if (inside != region) fillSpan(out, 0);
    if (inside.isEmpty()) return;
    PixelSpan o = out.sub(inside.x - region.x, inside.y - region.y, inside.width, inside.height);
    if (auto it = buffers_.find(node); it != buffers_.end() && it->second.region.contains(inside)) {
        const Buffer& b = it->second;
        copySpan(b.span.sub(inside.x - b.region.x, inside.y - b.region.y, inside.width, inside.height), o);
        return;
    }
    ScratchScope scratch;
    switch (node->kind()) {
    case ImageNodeKind::Raster:
        copySpan(static_cast<const RasterNode*>(node)->pixelsIn(inside), o);
        return;
    case ImageNodeKind::Constant:
        fillSpan(o, static_cast<const ConstantNode*>(node)->pixel());
        return;
    case ImageNodeKind::Crop:
        evaluate(inputOf(node), inside, o);
        return;
    case ImageNodeKind::Transform: {
        auto t = static_cast<const TransformNode*>(node);
        if (t->isWholePixelMove()) {
            evaluate(inputOf(node), inside.offsetBy(-t->moveX(), -t->moveY()), o);
            return;
        }
        if (auto source = inMemory(inputOf(node))) {
            drawTransformed(source->span, source->region, t->transform(), o, inside, false);
            return;
        }
        // Not planned ahead (a draw always plans): compute what the tile needs.
        PixelRegion need = regionOfInput(node, 0, inside);
        if (need.isEmpty() || need.pixelCount() > maximumRegionPixels) {
            fillSpan(o, 0);
            return;
        }
        ConstPixelSpan source = provide(inputOf(node), need, scratch);
        drawTransformed(source, need, t->transform(), o, inside, false);
        return;
    }
    case ImageNodeKind::Kernel: {
        auto k = static_cast<const KernelNode*>(node);
        std::vector<ConstPixelSpan> inputs;
        inputs.reserve(node->inputs().size());
        for (std::size_t i = 0; i < node->inputs().size(); ++i) {
            PixelRegion need = k->regionOfInput(i, inside);
            inputs.push_back(provide(inputOf(node, i), need, scratch));
        }
        k->compute(inside, inputs, o);
        return;
    }
    }
}

void RenderPass::forEachTile(const PixelRegion& region, TileSize size,
                             const std::function<void(const PixelRegion&)>& body) const {
    if (region.isEmpty()) return;
    const int columns = (region.width + size.width - 1) / size.width;
    const int rows = (region.height + size.height - 1) / size.height;
    const std::size_t count = std::size_t(columns) * std::size_t(rows);
    auto tile = [&](std::size_t i) {
        int cx = int(i % std::size_t(columns)), cy = int(i / std::size_t(columns));
        int x = region.x + cx * size.width;
        int y = region.y + cy * size.height;
        return PixelRegion{x, y, std::min(size.width, region.maxX() - x),
                           std::min(size.height, region.maxY() - y)};
    };
    if (workers_ <= 1 || count == 1) {
        for (std::size_t i = 0; i < count; ++i)
            body(tile(i));
        return;
    }
    std::atomic<std::size_t> next{0};
    dispatchApply(std::min<std::size_t>(std::size_t(workers_), count), [&](std::size_t) {
        for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1))
            body(tile(i));
    });
}

// Pixels that reach the final over straight from memory, with no tiled work of their own.
bool comesFromMemory(const ImageNode* node) {
    switch (node->kind()) {
    case ImageNodeKind::Raster:
        return true;
    case ImageNodeKind::Crop:
    case ImageNodeKind::Transform:
        return comesFromMemory(inputOf(node));
    default:
        return false;
    }
}

// Such pixels, and resampled ones, are drawn over in tall whole-row bands: a resampling pass costs
// a painter set-up per band, and whole rows stream through memory.
TileSize overTiles(const ImageNode* root) {
    return isResampled(root) || comesFromMemory(root) ? overBand : workTile;
}

int poolWorkers() {
    return int(std::max(2u, std::thread::hardware_concurrency()));
}

} // namespace

CPUTileEvaluator::CPUTileEvaluator(int workers)
    : pool_(std::make_shared<IntermediatePool>()) {
    setWorkerCount(workers);
}

void CPUTileEvaluator::setWorkerCount(int workers) {
    workers_ = workers <= 0 ? poolWorkers() : std::min(workers, 256);
}

Status CPUTileEvaluator::draw(const CIImage& image, const PixelRegion& region, PixelSpan destination,
                              DrawMode mode) {
    if (region.isEmpty()) return {};
    if (region.width > maximumRegionSidePixels || region.height > maximumRegionSidePixels ||
        region.pixelCount() > maximumRegionPixels)
        return fail("The region to draw is larger than the imaging layer allows.");
    if (!destination.origin || destination.width < region.width || destination.height < region.height)
        return fail("The destination is smaller than the region to draw.");
    if (image.isEmpty()) {
        if (mode == DrawMode::Copy) fillSpan(destination, 0);
        return {};
    }
    const ImageNode* root = image.node().get();
    RenderPass pass(workers_, *pool_);
    try {
        if (Status prepared = pass.prepare(root, region); !prepared) return prepared;
        // A resampled picture, cropped or not, is drawn over straight from memory: resampling it
        // into scratch first and compositing that would pass over every pixel twice.
        const ImageNode* resampled = root;
        PixelRegion resampledArea = root->pixelRegion();
        while (resampled->kind() == ImageNodeKind::Crop) {
            resampled = inputOf(resampled);
            resampledArea = resampledArea.intersection(resampled->pixelRegion());
        }
        std::optional<InMemory> resampledSource;
        if (mode == DrawMode::SourceOver && isResampled(resampled))
            resampledSource = pass.inMemory(inputOf(resampled));
        pass.forEachTile(
            region, mode == DrawMode::SourceOver ? overTiles(root) : workTile, [&](const PixelRegion& tile) {
                PixelSpan d = destination.sub(tile.x - region.x, tile.y - region.y, tile.width, tile.height);
                if (mode == DrawMode::Copy) {
                    pass.evaluate(root, tile, d);
                    return;
                }
                if (resampledSource) {
                    if (resampled == root) {
                        if (!tile.intersection(root->pixelRegion()).isEmpty())
                            drawTransformed(resampledSource->span, resampledSource->region,
                                            static_cast<const TransformNode*>(root)->transform(), d, tile,
                                            true);
                        return;
                    }
                    // The crops bound the pixels drawn, as the painter clips to the view it is given.
                    const PixelRegion inside = tile.intersection(resampledArea);
                    if (inside.isEmpty()) return;
                    PixelSpan into = d.sub(inside.x - tile.x, inside.y - tile.y, inside.width, inside.height);
                    drawTransformed(resampledSource->span, resampledSource->region,
                                    static_cast<const TransformNode*>(resampled)->transform(), into, inside,
                                    true);
                    return;
                }
                PixelRegion inside = tile.intersection(root->pixelRegion());
                if (inside.isEmpty()) return;
                ScratchScope scratch;
                ConstPixelSpan s = pass.provide(root, inside, scratch);
                sourceOverSpan(s, d.sub(inside.x - tile.x, inside.y - tile.y, inside.width, inside.height));
            });
    } catch (const std::bad_alloc&) {
        return fail("There is not enough memory to draw the image.");
    }
    return {};
}

std::unique_ptr<Evaluator> makeDefaultEvaluator() {
    return std::make_unique<CPUTileEvaluator>(0);
}

Result<CIImage> materialize(const CIImage& image, Evaluator& evaluator, std::optional<Rect> rect) {
    if (image.isNull()) return fail("There is no image to compute.");
    if (image.isEmpty()) return CIImage::emptyImage();
    if (image.isInfinite() && !rect)
        return fail("An infinite image can only be computed within a rectangle.");
    Rect area = rect ? rect->intersection(image.extent()) : image.extent();
    PixelRegion region = pixelRegionCovering(area);
    if (region.isEmpty()) return CIImage::emptyImage();
    if (region.width > maximumRegionSidePixels || region.height > maximumRegionSidePixels ||
        region.pixelCount() > maximumRegionPixels)
        return fail("The image is larger than the imaging layer allows.");
    std::shared_ptr<std::uint8_t[]> pixels(new (std::nothrow)
                                               std::uint8_t[std::size_t(region.pixelCount()) * 4]);
    if (!pixels) return fail("There is not enough memory for the image.");
    PixelSpan span{pixels.get(), std::ptrdiff_t(region.width) * 4, region.width, region.height};
    if (Status drawn = evaluator.draw(image, region, span, DrawMode::Copy); !drawn) return drawn.asFailure();
    return CIImage::imageWithPixels(span, region, pixels, image.colorSpace());
}

} // namespace vtl
