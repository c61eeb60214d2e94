#pragma once
// The decode-ahead window of one cache: consecutive frame entries in window order with a lookup
// by frame number, over a pool of frame images. Owned by its VistrelDecoderCachedBuffer; every
// operation is thread-safe (accessLock). Entries dropped before they were decoded are abandoned,
// which wakes anyone waiting on them.

#include "tracks/DecompressionInfo.h"
#include "platform/imaging/PixelBufferPool.h"
#include "tracks/VistrelDecodedFrameCache.h"

#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace vtl {

class VistrelRecording;

class VistrelDecodedFrameCacheBuffer {
public:
    static constexpr std::uint64_t kNoFrame = std::numeric_limits<std::uint64_t>::max();

    VistrelDecodedFrameCacheBuffer(std::shared_ptr<const VistrelRecording> recording,
                                   DecompressionInfo* decompressionInfo, std::uint32_t size);
    ~VistrelDecodedFrameCacheBuffer();

    std::shared_ptr<VistrelDecodedFrameCache> frameAtIndex(std::uint64_t frameNumber) const;
    void addFrame(std::shared_ptr<VistrelDecodedFrameCache> frame);
    // Adds an entry for that frame, not decoded yet.
    void generateAndDecodeFrameCacheAtIndex(std::uint64_t frameNumber);
    // Empties the window, then adds entries for from … to − 1.
    void clearCacheAndGenerateFramesFrom(std::uint64_t from, std::uint64_t to);
    std::uint32_t numberOfFrames() const;
    bool isFull() const;
    // kNoFrame when empty.
    std::uint64_t firstFrameNumber() const;
    // The last entry added (0 after a clear).
    std::uint64_t lastFrameNumber() const;
    // Drops the first min(n, count) entries.
    void shiftBy(std::uint32_t n);
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> copyFramesFromBeginning(std::uint32_t n) const;
    void clearCache();
    // Decodes the first entry not decoded yet (outside the lock); answers whether there was one.
    bool decodeFirstUndecodedFrame();
    void releaseCachedResources() { clearCache(); }

    std::uint32_t size() const { return size_; }

private:
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropFirstLocked(std::size_t n);

    std::deque<std::shared_ptr<VistrelDecodedFrameCache>> framesArray_;
    std::unordered_map<std::uint64_t, VistrelDecodedFrameCache*> framesDictionary_;
    std::shared_ptr<PixelBufferPool> pixelBufferPool_;
    std::shared_ptr<const VistrelRecording> recording_;
    DecompressionInfo* decompressionInfo_; // the owner's
    mutable std::mutex accessLock_;
    std::uint64_t firstFrame_ = kNoFrame;
    std::uint64_t lastFrame_ = 0;
    std::uint32_t size_;
};

} // namespace vtl
