#include "tracks/VistrelDecoderCachedBuffer.h"

#include "platform/foundation/Log.h"
#include "tracks/VistrelRecording.h"

#include <algorithm>

namespace vtl {

VistrelDecoderCachedBuffer::VistrelDecoderCachedBuffer(std::shared_ptr<VistrelRecording> recording,
                                                       std::uint64_t, std::uint64_t numberOfFramesToDecode)
    : m_recording(std::move(recording))
    , m_numberFrames(std::clamp<std::uint64_t>(numberOfFramesToDecode, 1, 1024)) {
    if (m_recording && m_recording->open()) {
        m_recording->fillDecompressionInfo(m_cachingDecompressionInfo,
                                           static_cast<double>(m_recording->frameRate()));
        m_recording->openWithDecompressionInfo(m_cachingDecompressionInfo);
    }
}

VistrelDecoderCachedBuffer::~VistrelDecoderCachedBuffer() {
    cancelCaching();
    m_cacheBuffer.reset();
    if (m_recording) m_recording->releaseDecompressionInfo(m_cachingDecompressionInfo);
}

void VistrelDecoderCachedBuffer::setColorspaceAndStartDecoding(const std::string& colorSpace,
                                                               UploadHook uploadHook) {
    {
        std::lock_guard lock(m_startMutex);
        if (m_colorspaceSet) return;
        m_colorspaceSet = true;
        m_cachingColorspace = colorSpace;
        m_cachingDecompressionInfo.colorSpace = colorSpace;
        m_uploadHook = std::move(uploadHook);
        if (m_recording && m_cachingDecompressionInfo.structValid)
            m_cacheBuffer = std::make_unique<VistrelDecodedFrameCacheBuffer>(
                m_recording, &m_cachingDecompressionInfo, static_cast<std::uint32_t>(m_numberFrames));
    }
    startCache();
}

bool VistrelDecoderCachedBuffer::startCache() {
    std::lock_guard lock(m_startMutex);
    if (m_cacheThreadRunning.load()) return true;
    // Without a window to decode into there is nothing a request could wait for.
    if (!m_colorspaceSet || !m_cacheBuffer) return false;
    if (m_cacheThread.joinable()) m_cacheThread.join();
    {
        std::lock_guard wakeLock(m_cacheFullMutex);
        m_wakeRequested = false;
    }
    m_cacheThreadRunning = true;
    try {
        m_cacheThread = std::thread([this] { startCaching(); });
    } catch (const std::system_error& error) {
        m_cacheThreadRunning = false;
        logMessage("ERROR; return code from pthread_create() is " + std::to_string(error.code().value()));
        return false;
    }
    return true;
}

void VistrelDecoderCachedBuffer::wakeThread() {
    {
        std::lock_guard lock(m_cacheFullMutex);
        m_wakeRequested = true;
    }
    m_cacheFullCondition.notify_all();
}

void VistrelDecoderCachedBuffer::cancelCaching() {
    std::lock_guard lock(m_startMutex);
    if (m_cacheThreadRunning.exchange(false)) wakeThread();
    if (m_cacheThread.joinable()) m_cacheThread.join();
    // Requests waiting on frames that will now never be decoded return with none.
    std::lock_guard decodeLock(m_decodeMutex);
    if (m_cacheBuffer) m_cacheBuffer->clearCache();
}

void VistrelDecoderCachedBuffer::releaseCachedResources() {
    cancelCaching();
}

BitmapImage VistrelDecoderCachedBuffer::createImageAtTime(double seconds) {
    ++m_requestCount;
    // The running flag first: it is raised after the window is made, so once it is seen the
    // window can be read without the start lock.
    if (!m_cacheThreadRunning.load() || !m_cacheBuffer) return {};
    const std::int64_t index = m_recording->indexOfTime(seconds);
    const std::int64_t count = static_cast<std::int64_t>(m_recording->numberOfFrames());
    if (index < 0 || index >= count) return {};
    const std::uint64_t frame = static_cast<std::uint64_t>(index);
    std::shared_ptr<VistrelDecodedFrameCache> entry = m_cacheBuffer->frameAtIndex(frame);
    m_lastRequestedFrame = frame;
    // Woken after the request is recorded, so the next pass moves the window to it.
    wakeThread();
    if (!entry) {
        ++m_invalidateCurrentlyDecodingFrame;
        {
            std::lock_guard lock(m_decodeMutex);
            const std::uint64_t end =
                std::min<std::uint64_t>(frame + m_numberFrames, static_cast<std::uint64_t>(count));
            m_cacheBuffer->clearCacheAndGenerateFramesFrom(frame, end);
            entry = m_cacheBuffer->frameAtIndex(frame);
            // A cancel that got here first has already woken its waiters: do not start waiting.
            if (!m_cacheThreadRunning.load()) {
                m_cacheBuffer->clearCache();
                entry.reset();
            }
        }
        --m_invalidateCurrentlyDecodingFrame;
        wakeThread();
    }
    if (!entry) return {};
    if (!entry->hasBeenDecoded()) ++m_waitedRequestCount;
    // The entry is held here, so it stays alive even if the thread drops it from the window.
    return entry->image();
}

void VistrelDecoderCachedBuffer::startCaching() {
    while (m_cacheThreadRunning.load()) {
        std::unique_lock decodeLock(m_decodeMutex);
        if (m_invalidateCurrentlyDecodingFrame.load() > 0) {
            // A requester is about to rebuild the window: let it in.
            decodeLock.unlock();
            std::this_thread::yield();
            continue;
        }
        const std::uint64_t count = m_recording->numberOfFrames();
        const std::uint64_t requested = m_lastRequestedFrame.load();
        const std::uint64_t first = m_cacheBuffer->firstFrameNumber();
        if (first != VistrelDecodedFrameCacheBuffer::kNoFrame) {
            const std::int64_t d = static_cast<std::int64_t>(requested) - static_cast<std::int64_t>(first);
            if (d > 0)
                m_cacheBuffer->shiftBy(static_cast<std::uint32_t>(std::min<std::int64_t>(d, UINT32_MAX)));
        }
        const bool decoded = m_cacheBuffer->decodeFirstUndecodedFrame();
        // Entries added now are still to decode: the pass after this one does that, not a wake.
        bool added = false;
        while (!m_cacheBuffer->isFull()) {
            const std::uint64_t next =
                m_cacheBuffer->numberOfFrames() == 0 ? requested : m_cacheBuffer->lastFrameNumber() + 1;
            if (next >= count) break;
            m_cacheBuffer->generateAndDecodeFrameCacheAtIndex(next);
            added = true;
        }
        // The frame being shown and the next few are kept decoded and uploaded.
        for (const auto& entry : m_cacheBuffer->copyFramesFromBeginning(kUploadedFrames)) {
            if (!m_cacheThreadRunning.load()) break;
            entry->uploadToGPU(m_uploadHook);
        }
        if (!decoded && !added) {
            decodeLock.unlock();
            std::unique_lock lock(m_cacheFullMutex);
            m_decodeThreadWaiting = true;
            m_cacheFullCondition.wait(lock,
                                      [this] { return m_wakeRequested || !m_cacheThreadRunning.load(); });
            m_wakeRequested = false;
            m_decodeThreadWaiting = false;
        }
    }
}

} // namespace vtl
