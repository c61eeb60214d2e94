#pragma once
// The decode-ahead window of one cache: consecutive frame entries in window order with a lookup
// by frame number, over a pool of frame images. Owned by its VistrelDecoderCachedBuffer; every
// operation is thread-safe (accessLock). Entries dropped before they were decoded are abandoned,
// which wakes anyone waiting on them.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/pixels/PixelBufferPool.h"
#include "tracks/reader/DecompressionInfo.h"
#include "tracks/reader/VistrelDecodedFrameCache.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

namespace vtl {

class VistrelDecodedFrameCacheBuffer {
public:
    static constexpr std::uint64_t kNoFrame = std::numeric_limits<std::uint64_t>::max();

    // A window of `size` frames decoded through the cache's decoder, into images of its size.
    VistrelDecodedFrameCacheBuffer(DecompressionInfo* decompressionInfo, std::uint32_t size);
    ~VistrelDecodedFrameCacheBuffer();

    std::shared_ptr<VistrelDecodedFrameCache> frameAtIndex(std::uint64_t frameNumber) const
        VTL_EXCLUDES(accessLock_);
    void addFrame(std::shared_ptr<VistrelDecodedFrameCache> frame) VTL_EXCLUDES(accessLock_);
    // Adds an entry for that frame, not decoded yet.
    void generateAndDecodeFrameCacheAtIndex(std::uint64_t frameNumber);
    // Empties the window, then adds entries for from … to − 1.
    void clearCacheAndGenerateFramesFrom(std::uint64_t from, std::uint64_t to);
    std::uint32_t numberOfFrames() const VTL_EXCLUDES(accessLock_);
    bool isFull() const VTL_EXCLUDES(accessLock_);
    // kNoFrame when empty.
    std::uint64_t firstFrameNumber() const VTL_EXCLUDES(accessLock_);
    // The last entry added (0 after a clear).
    std::uint64_t lastFrameNumber() const VTL_EXCLUDES(accessLock_);
    // Drops the first min(n, count) entries.
    void shiftBy(std::uint32_t n) VTL_EXCLUDES(accessLock_);
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> copyFramesFromBeginning(std::uint32_t n) const
        VTL_EXCLUDES(accessLock_);
    void clearCache() VTL_EXCLUDES(accessLock_);
    // Decodes the first entry not decoded yet (outside the lock); answers whether there was one.
    bool decodeFirstUndecodedFrame() VTL_EXCLUDES(accessLock_);
    void releaseCachedResources() { clearCache(); }

    std::uint32_t size() const { return size_; }

private:
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropFirstLocked(std::size_t n)
        VTL_REQUIRES(accessLock_);

    std::shared_ptr<PixelBufferPool> pixelBufferPool_;
    DecompressionInfo* decompressionInfo_; // the owner's
    const std::uint32_t size_;
    mutable Mutex accessLock_;
    std::deque<std::shared_ptr<VistrelDecodedFrameCache>> framesArray_ VTL_GUARDED_BY(accessLock_);
    std::unordered_map<std::uint64_t, VistrelDecodedFrameCache*>
        framesDictionary_ VTL_GUARDED_BY(accessLock_);
    std::uint64_t firstFrame_ VTL_GUARDED_BY(accessLock_) = kNoFrame;
    std::uint64_t lastFrame_ VTL_GUARDED_BY(accessLock_) = 0;
};

} // namespace vtl
