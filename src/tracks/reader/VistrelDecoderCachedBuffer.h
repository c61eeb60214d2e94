#pragma once
// The decode-ahead cache of one recording for one renderer: a window of consecutive frames
// starting at the last requested one, decoded by a thread of its own and handed to the upload
// hook ahead of need. Owned by the renderer, which stops it (cancelCaching) before releasing it.
// Requests come from any renderer thread; none of them waits forever.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "tracks/reader/DecompressionInfo.h"
#include "tracks/reader/VistrelDecodedFrameCache.h"
#include "tracks/reader/VistrelDecodedFrameCacheBuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

namespace vtl {

class VistrelRecording;

class VistrelDecoderCachedBuffer {
public:
    using UploadHook = VistrelDecodedFrameCache::UploadHook;
    // Entries at the front of the window that are kept uploaded.
    static constexpr std::uint32_t kUploadedFrames = 5;

    // Makes its own decoder; no thread yet. firstFrameIndex is not used.
    VistrelDecoderCachedBuffer(std::shared_ptr<VistrelRecording> recording, std::uint64_t firstFrameIndex,
                               std::uint64_t numberOfFramesToDecode);
    // Stops the thread if the owner has not.
    ~VistrelDecoderCachedBuffer();
    VistrelDecoderCachedBuffer(const VistrelDecoderCachedBuffer&) = delete;
    VistrelDecoderCachedBuffer& operator=(const VistrelDecoderCachedBuffer&) = delete;

    // Effective on the first call only: keeps the colour space and the hook, creates the window
    // and starts the thread.
    void setColorspaceAndStartDecoding(const std::string& colorSpace, UploadHook uploadHook)
        VTL_EXCLUDES(startMutex_);
    // The frame shown at that time; empty after the end of the recording, when the cache is not
    // running, or when the frame's entry was dropped or cancelled before it was decoded.
    BitmapImage createImageAtTime(double seconds) VTL_EXCLUDES(decodeMutex_, cacheFullMutex_);
    // Starts the thread unless it runs or no colour space was set; answers whether it runs.
    bool startCache() VTL_EXCLUDES(startMutex_);
    // Stops and joins the thread and wakes every waiting request (with no frame).
    void cancelCaching() VTL_EXCLUDES(startMutex_, decodeMutex_, cacheFullMutex_);
    void releaseCachedResources() VTL_EXCLUDES(startMutex_, decodeMutex_, cacheFullMutex_);

    bool isRunning() const { return cacheThreadRunning_.load(); }
    const VistrelDecodedFrameCacheBuffer* cacheBuffer() const { return cacheBuffer_.get(); }
    // Requests so far, and those that found their frame not decoded yet and had to wait.
    std::uint64_t requestCount() const { return requestCount_.load(); }
    std::uint64_t waitedRequestCount() const { return waitedRequestCount_.load(); }

private:
    void startCaching() VTL_EXCLUDES(decodeMutex_, cacheFullMutex_);
    void wakeThread() VTL_EXCLUDES(cacheFullMutex_);

    std::shared_ptr<VistrelRecording> recording_;
    // The cache's own decoder; null when the recording could not be opened.
    std::unique_ptr<DecompressionInfo> cachingDecompressionInfo_;
    // Made once under the start lock before the thread runs; afterwards only read (a requester
    // reads it once it has seen the thread running).
    std::unique_ptr<VistrelDecodedFrameCacheBuffer> cacheBuffer_;
    std::atomic<bool> cacheThreadRunning_{false};
    // The thread's hook, set before it starts.
    UploadHook uploadHook_;

    Mutex startMutex_; // serialises start and cancel
    std::string cachingColorspace_ VTL_GUARDED_BY(startMutex_);
    bool colorspaceSet_ VTL_GUARDED_BY(startMutex_) = false;
    std::thread cacheThread_ VTL_GUARDED_BY(startMutex_);

    // Held by the thread for each pass and by a requester while it rebuilds the window.
    Mutex decodeMutex_;
    Mutex cacheFullMutex_;
    std::condition_variable_any cacheFullCondition_;
    bool decodeThreadWaiting_ VTL_GUARDED_BY(cacheFullMutex_) = false;
    bool wakeRequested_ VTL_GUARDED_BY(cacheFullMutex_) = false;
    std::uint64_t numberFrames_;
    std::atomic<int> invalidateCurrentlyDecodingFrame_{0};
    std::atomic<std::uint64_t> lastRequestedFrame_{0};
    std::atomic<std::uint64_t> requestCount_{0};
    std::atomic<std::uint64_t> waitedRequestCount_{0};
};

} // namespace vtl
