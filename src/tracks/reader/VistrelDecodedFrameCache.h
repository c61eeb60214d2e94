#pragma once
// One frame of a decode-ahead window: decoded by the cache's thread into a pooled image, then
// handed to the upload hook. Shared by the window and by any requester waiting on it; a waiter
// keeps it alive even after the window has dropped it.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "platform/imaging/pixels/PixelBufferPool.h"
#include "tracks/reader/DecompressionInfo.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>

namespace vtl {

class VistrelDecodedFrameCache {
public:
    // Receives each frame the cache prepares ahead of need (the renderer's GPU upload).
    using UploadHook = std::function<void(std::uint64_t frameIndex, const BitmapImage& image)>;

    VistrelDecodedFrameCache(std::uint64_t frameIndex, std::shared_ptr<PixelBufferPool> pixelBufferPool,
                             DecompressionInfo* decompressionInfo);
    ~VistrelDecodedFrameCache();
    VistrelDecodedFrameCache(const VistrelDecodedFrameCache&) = delete;
    VistrelDecodedFrameCache& operator=(const VistrelDecodedFrameCache&) = delete;

    std::uint64_t frameNumber() const { return frameIndex_; }
    bool hasBeenDecoded() const VTL_EXCLUDES(decodeLock_);
    // Whether it will never be decoded (dropped from the window or cancelled before its turn).
    bool isAbandoned() const VTL_EXCLUDES(decodeLock_);

    // Decodes the frame into a pooled image (caching thread only); nothing when already done or
    // abandoned. Wakes the waiters either way.
    void decode() VTL_EXCLUDES(decodeLock_);
    // Decodes if needed, then hands the image to the hook once.
    void uploadToGPU(const UploadHook& hook) VTL_EXCLUDES(uploadLock_, decodeLock_);
    // Wakes the waiters with no frame, unless the frame was decoded already.
    void abandon() VTL_EXCLUDES(decodeLock_);
    // Returns once the entry was decoded (true) or abandoned (false).
    bool waitForDecodeCompletion() const VTL_EXCLUDES(decodeLock_);
    // The decoded picture after waiting for it; empty when abandoned.
    BitmapImage image() const VTL_EXCLUDES(decodeLock_);

private:
    enum class Phase { Pending, Decoded, Abandoned };

    std::uint64_t frameIndex_;
    std::shared_ptr<PixelBufferPool> pixelBufferPool_;
    DecompressionInfo* decompressionInfo_; // the cache's, not owned

    // The completion latch.
    mutable Mutex decodeLock_;
    mutable std::condition_variable_any decoded_;
    Phase phase_ VTL_GUARDED_BY(decodeLock_) = Phase::Pending;
    BitmapImage pixelBuffer_ VTL_GUARDED_BY(decodeLock_);

    Mutex uploadLock_;
    bool uploaded_ VTL_GUARDED_BY(uploadLock_) = false;
};

} // namespace vtl
