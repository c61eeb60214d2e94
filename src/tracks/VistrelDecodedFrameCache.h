#pragma once
// One frame of a decode-ahead window: decoded by the cache's thread into a pooled image, then
// handed to the upload hook. Shared by the window and by any requester waiting on it; a waiter
// keeps it alive even after the window has dropped it.

#include "platform/imaging/BitmapImage.h"
#include "tracks/DecompressionInfo.h"
#include "platform/imaging/PixelBufferPool.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vtl {

class VistrelRecording;

class VistrelDecodedFrameCache {
public:
    // Receives each frame the cache prepares ahead of need (the renderer's GPU upload).
    using UploadHook = std::function<void(std::uint64_t frameIndex, const BitmapImage& image)>;

    VistrelDecodedFrameCache(std::uint64_t frameIndex, std::shared_ptr<PixelBufferPool> pixelBufferPool,
                             std::shared_ptr<const VistrelRecording> recording,
                             DecompressionInfo* decompressionInfo);
    ~VistrelDecodedFrameCache();
    VistrelDecodedFrameCache(const VistrelDecodedFrameCache&) = delete;
    VistrelDecodedFrameCache& operator=(const VistrelDecodedFrameCache&) = delete;

    std::uint64_t frameNumber() const { return frameIndex_; }
    bool hasBeenDecoded() const;
    // Whether it will never be decoded (dropped from the window or cancelled before its turn).
    bool isAbandoned() const;

    // Decodes the frame into a pooled image (caching thread only); nothing when already done or
    // abandoned. Wakes the waiters either way.
    void decode();
    // Decodes if needed, then hands the image to the hook once.
    void uploadToGPU(const UploadHook& hook);
    // Wakes the waiters with no frame, unless the frame was decoded already.
    void abandon();
    // Returns once the entry was decoded (true) or abandoned (false).
    bool waitForDecodeCompletion() const;
    // The decoded picture after waiting for it; empty when abandoned.
    BitmapImage image() const;

private:
    enum class Phase { Pending, Decoded, Abandoned };

    std::uint64_t frameIndex_;
    std::shared_ptr<PixelBufferPool> pixelBufferPool_;
    std::shared_ptr<const VistrelRecording> recording_;
    DecompressionInfo* decompressionInfo_; // the cache's, not owned
    BitmapImage pixelBuffer_;
    bool uploaded_ = false;

    mutable std::mutex decodeLock_; // the completion latch: guards phase_ and pixelBuffer_
    mutable std::condition_variable decoded_;
    Phase phase_ = Phase::Pending;
    std::mutex uploadLock_;
};

} // namespace vtl
