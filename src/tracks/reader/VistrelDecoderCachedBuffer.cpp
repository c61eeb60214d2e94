#include "tracks/reader/VistrelDecoderCachedBuffer.h"

#include "platform/foundation/Log.h"
#include "tracks/reader/VistrelRecording.h"

#include <algorithm>

namespace vtl {

VistrelDecoderCachedBuffer::VistrelDecoderCachedBuffer(std::shared_ptr<VistrelRecording> recording,
                                                       std::uint64_t, std::uint64_t numberOfFramesToDecode)
    : recording_(std::move(recording))
    , numberFrames_(std::clamp<std::uint64_t>(numberOfFramesToDecode, 1, 1024)) {
    if (recording_) {
        auto info = recording_->makeDecompressionInfo();
        if (info)
            cachingDecompressionInfo_ = std::move(info).value();
        else
            logMessage("The decode-ahead cache has no frames to decode: " + info.error());
    }
}

VistrelDecoderCachedBuffer::~VistrelDecoderCachedBuffer() {
    cancelCaching();
    cacheBuffer_.reset();
    if (cachingDecompressionInfo_) cachingDecompressionInfo_->release();
}

void VistrelDecoderCachedBuffer::setColorspaceAndStartDecoding(const std::string& colorSpace,
                                                               UploadHook uploadHook) {
    {
        MutexLock lock(startMutex_);
        if (colorspaceSet_) return;
        colorspaceSet_ = true;
        cachingColorspace_ = colorSpace;
        uploadHook_ = std::move(uploadHook);
        if (cachingDecompressionInfo_ && cachingDecompressionInfo_->isValid()) {
            cachingDecompressionInfo_->setColorSpace(colorSpace);
            cacheBuffer_ = std::make_unique<VistrelDecodedFrameCacheBuffer>(
                cachingDecompressionInfo_.get(), static_cast<std::uint32_t>(numberFrames_));
        }
    }
    startCache();
}

bool VistrelDecoderCachedBuffer::startCache() {
    MutexLock lock(startMutex_);
    if (cacheThreadRunning_.load()) return true;
    // Without a window to decode into there is nothing a request could wait for.
    if (!colorspaceSet_ || !cacheBuffer_) return false;
    if (cacheThread_.joinable()) cacheThread_.join();
    {
        MutexLock wakeLock(cacheFullMutex_);
        wakeRequested_ = false;
    }
    cacheThreadRunning_ = true;
    try {
        cacheThread_ = std::thread([this] { startCaching(); });
    } catch (const std::system_error& error) {
        cacheThreadRunning_ = false;
        logMessage("ERROR; return code from pthread_create() is " + std::to_string(error.code().value()));
        return false;
    }
    return true;
}

void VistrelDecoderCachedBuffer::wakeThread() {
    {
        MutexLock lock(cacheFullMutex_);
        wakeRequested_ = true;
    }
    cacheFullCondition_.notify_all();
}

void VistrelDecoderCachedBuffer::cancelCaching() {
    MutexLock lock(startMutex_);
    if (cacheThreadRunning_.exchange(false)) wakeThread();
    if (cacheThread_.joinable()) cacheThread_.join();
    // Requests waiting on frames that will now never be decoded return with none.
    MutexLock decodeLock(decodeMutex_);
    if (cacheBuffer_) cacheBuffer_->clearCache();
}

void VistrelDecoderCachedBuffer::releaseCachedResources() {
    cancelCaching();
}

BitmapImage VistrelDecoderCachedBuffer::createImageAtTime(double seconds) {
    ++requestCount_;
    // The running flag first: it is raised after the window is made, so once it is seen the
    // window can be read without the start lock.
    if (!cacheThreadRunning_.load() || !cacheBuffer_) return {};
    const std::int64_t index = recording_->indexOfTime(seconds);
    const std::int64_t count = static_cast<std::int64_t>(recording_->numberOfFrames());
    if (index < 0 || index >= count) return {};
    const std::uint64_t frame = static_cast<std::uint64_t>(index);
    std::shared_ptr<VistrelDecodedFrameCache> entry = cacheBuffer_->frameAtIndex(frame);
    lastRequestedFrame_ = frame;
    // Woken after the request is recorded, so the next pass moves the window to it.
    wakeThread();
    if (!entry) {
        ++invalidateCurrentlyDecodingFrame_;
        {
            MutexLock lock(decodeMutex_);
            const std::uint64_t end =
                std::min<std::uint64_t>(frame + numberFrames_, static_cast<std::uint64_t>(count));
            cacheBuffer_->clearCacheAndGenerateFramesFrom(frame, end);
            entry = cacheBuffer_->frameAtIndex(frame);
            // A cancel that got here first has already woken its waiters: do not start waiting.
            if (!cacheThreadRunning_.load()) {
                cacheBuffer_->clearCache();
                entry.reset();
            }
        }
        --invalidateCurrentlyDecodingFrame_;
        wakeThread();
    }
    if (!entry) return {};
    if (!entry->hasBeenDecoded()) ++waitedRequestCount_;
    // The entry is held here, so it stays alive even if the thread drops it from the window.
    return entry->image();
}

void VistrelDecoderCachedBuffer::startCaching() {
    while (cacheThreadRunning_.load()) {
        MutexLock decodeLock(decodeMutex_);
        if (invalidateCurrentlyDecodingFrame_.load() > 0) {
            // A requester is about to rebuild the window: let it in.
            decodeLock.unlock();
            std::this_thread::yield();
            continue;
        }
        const std::uint64_t count = recording_->numberOfFrames();
        const std::uint64_t requested = lastRequestedFrame_.load();
        const std::uint64_t first = cacheBuffer_->firstFrameNumber();
        if (first != VistrelDecodedFrameCacheBuffer::kNoFrame) {
            const std::int64_t d = static_cast<std::int64_t>(requested) - static_cast<std::int64_t>(first);
            if (d > 0)
                cacheBuffer_->shiftBy(static_cast<std::uint32_t>(std::min<std::int64_t>(d, UINT32_MAX)));
        }
        const bool decoded = cacheBuffer_->decodeFirstUndecodedFrame();
        // Entries added now are still to decode: the pass after this one does that, not a wake.
        bool added = false;
        while (!cacheBuffer_->isFull()) {
            const std::uint64_t next =
                cacheBuffer_->numberOfFrames() == 0 ? requested : cacheBuffer_->lastFrameNumber() + 1;
            if (next >= count) break;
            cacheBuffer_->generateAndDecodeFrameCacheAtIndex(next);
            added = true;
        }
        // The frame being shown and the next few are kept decoded and uploaded.
        for (const auto& entry : cacheBuffer_->copyFramesFromBeginning(kUploadedFrames)) {
            if (!cacheThreadRunning_.load()) break;
            entry->uploadToGPU(uploadHook_);
        }
        if (!decoded && !added) {
            decodeLock.unlock();
            MutexLock lock(cacheFullMutex_);
            decodeThreadWaiting_ = true;
            while (!wakeRequested_ && cacheThreadRunning_.load())
                cacheFullCondition_.wait(lock);
            wakeRequested_ = false;
            decodeThreadWaiting_ = false;
        }
    }
}

} // namespace vtl
