#pragma once
// The decode-ahead cache of one recording for one renderer: a window of consecutive frames
// starting at the last requested one, decoded by a thread of its own and handed to the upload
// hook ahead of need. Owned by the renderer, which stops it (cancelCaching) before releasing it.
// Requests come from any renderer thread; none of them waits forever.

#include "platform/imaging/BitmapImage.h"
#include "tracks/DecompressionInfo.h"
#include "tracks/VistrelDecodedFrameCache.h"
#include "tracks/VistrelDecodedFrameCacheBuffer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vtl {

class VistrelRecording;

class VistrelDecoderCachedBuffer {
public:
    using UploadHook = VistrelDecodedFrameCache::UploadHook;
    // Entries at the front of the window that are kept uploaded.
    static constexpr std::uint32_t kUploadedFrames = 5;

    // Fills and opens its own decoding record; no thread yet. firstFrameIndex is not used.
    VistrelDecoderCachedBuffer(std::shared_ptr<VistrelRecording> recording, std::uint64_t firstFrameIndex,
                               std::uint64_t numberOfFramesToDecode);
    // Stops the thread if the owner has not.
    ~VistrelDecoderCachedBuffer();
    VistrelDecoderCachedBuffer(const VistrelDecoderCachedBuffer&) = delete;
    VistrelDecoderCachedBuffer& operator=(const VistrelDecoderCachedBuffer&) = delete;

    // Effective on the first call only: keeps the colour space and the hook, creates the window
    // and starts the thread.
    void setColorspaceAndStartDecoding(const std::string& colorSpace, UploadHook uploadHook);
    // The frame shown at that time; empty after the end of the recording, when the cache is not
    // running, or when the frame's entry was dropped or cancelled before it was decoded.
    BitmapImage createImageAtTime(double seconds);
    // Starts the thread unless it runs or no colour space was set; answers whether it runs.
    bool startCache();
    // Stops and joins the thread and wakes every waiting request (with no frame).
    void cancelCaching();
    void releaseCachedResources();

    bool isRunning() const { return m_cacheThreadRunning.load(); }
    const VistrelDecodedFrameCacheBuffer* cacheBuffer() const { return m_cacheBuffer.get(); }
    // Requests so far, and those that found their frame not decoded yet and had to wait.
    std::uint64_t requestCount() const { return m_requestCount.load(); }
    std::uint64_t waitedRequestCount() const { return m_waitedRequestCount.load(); }

private:
    void startCaching();
    void wakeThread();

    std::shared_ptr<VistrelRecording> m_recording;
    DecompressionInfo m_cachingDecompressionInfo;
    std::unique_ptr<VistrelDecodedFrameCacheBuffer> m_cacheBuffer;
    std::atomic<bool> m_cacheThreadRunning{false};
    std::string m_cachingColorspace;
    bool m_colorspaceSet = false;
    UploadHook m_uploadHook;
    std::thread m_cacheThread;
    std::mutex m_startMutex; // serialises start and cancel

    std::mutex m_decodeMutex;
    std::mutex m_cacheFullMutex;
    std::condition_variable m_cacheFullCondition;
    bool m_decodeThreadWaiting = false;
    bool m_wakeRequested = false;
    std::uint64_t m_numberFrames;
    std::atomic<int> m_invalidateCurrentlyDecodingFrame{0};
    std::atomic<std::uint64_t> m_lastRequestedFrame{0};
    std::atomic<std::uint64_t> m_requestCount{0};
    std::atomic<std::uint64_t> m_waitedRequestCount{0};
};

} // namespace vtl
