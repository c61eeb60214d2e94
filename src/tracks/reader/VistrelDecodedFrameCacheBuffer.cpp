#include "tracks/reader/VistrelDecodedFrameCacheBuffer.h"

#include <algorithm>

namespace vtl {

VistrelDecodedFrameCacheBuffer::VistrelDecodedFrameCacheBuffer(DecompressionInfo* decompressionInfo,
                                                               std::uint32_t size)
    : pixelBufferPool_(std::make_shared<PixelBufferPool>(
          decompressionInfo->width(), decompressionInfo->height(), static_cast<std::size_t>(size) + 4))
    , decompressionInfo_(decompressionInfo)
    , size_(size) {}

VistrelDecodedFrameCacheBuffer::~VistrelDecodedFrameCacheBuffer() {
    clearCache();
}

std::shared_ptr<VistrelDecodedFrameCache>
VistrelDecodedFrameCacheBuffer::frameAtIndex(std::uint64_t frameNumber) const {
    MutexLock lock(accessLock_);
    auto it = framesDictionary_.find(frameNumber);
    if (it == framesDictionary_.end()) return nullptr;
    for (const auto& frame : framesArray_)
        if (frame.get() == it->second) return frame;
    return nullptr;
}

void VistrelDecodedFrameCacheBuffer::addFrame(std::shared_ptr<VistrelDecodedFrameCache> frame) {
    if (!frame) return;
    std::shared_ptr<VistrelDecodedFrameCache> replaced;
    {
        MutexLock lock(accessLock_);
        const std::uint64_t number = frame->frameNumber();
        auto it = framesDictionary_.find(number);
        if (it != framesDictionary_.end()) {
            // One entry per frame number: the newer one takes the older one's place in the lookup.
            auto old = std::find_if(framesArray_.begin(), framesArray_.end(),
                                    [&](const auto& f) { return f.get() == it->second; });
            if (old != framesArray_.end()) {
                replaced = *old;
                framesArray_.erase(old);
            }
        }
        framesDictionary_[number] = frame.get();
        framesArray_.push_back(std::move(frame));
        lastFrame_ = number;
        if (framesArray_.size() == 1)
            firstFrame_ = number;
        else
            firstFrame_ = framesArray_.front()->frameNumber();
    }
    if (replaced) replaced->abandon();
}

void VistrelDecodedFrameCacheBuffer::generateAndDecodeFrameCacheAtIndex(std::uint64_t frameNumber) {
    addFrame(std::make_shared<VistrelDecodedFrameCache>(frameNumber, pixelBufferPool_, decompressionInfo_));
}

void VistrelDecodedFrameCacheBuffer::clearCacheAndGenerateFramesFrom(std::uint64_t from, std::uint64_t to) {
    clearCache();
    for (std::uint64_t i = from; i < to; ++i)
        generateAndDecodeFrameCacheAtIndex(i);
}

std::uint32_t VistrelDecodedFrameCacheBuffer::numberOfFrames() const {
    MutexLock lock(accessLock_);
    return static_cast<std::uint32_t>(framesArray_.size());
}

bool VistrelDecodedFrameCacheBuffer::isFull() const {
    return numberOfFrames() >= size_;
}

std::uint64_t VistrelDecodedFrameCacheBuffer::firstFrameNumber() const {
    MutexLock lock(accessLock_);
    return firstFrame_;
}

std::uint64_t VistrelDecodedFrameCacheBuffer::lastFrameNumber() const {
    MutexLock lock(accessLock_);
    return lastFrame_;
}

std::vector<std::shared_ptr<VistrelDecodedFrameCache>>
VistrelDecodedFrameCacheBuffer::dropFirstLocked(std::size_t n) {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    n = std::min(n, framesArray_.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto frame = std::move(framesArray_.front());
        framesArray_.pop_front();
        auto it = framesDictionary_.find(frame->frameNumber());
        if (it != framesDictionary_.end() && it->second == frame.get()) framesDictionary_.erase(it);
        dropped.push_back(std::move(frame));
    }
    firstFrame_ = framesArray_.empty() ? kNoFrame : framesArray_.front()->frameNumber();
    return dropped;
}

void VistrelDecodedFrameCacheBuffer::shiftBy(std::uint32_t n) {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    {
        MutexLock lock(accessLock_);
        dropped = dropFirstLocked(n);
    }
    for (auto& frame : dropped)
        frame->abandon();
}

std::vector<std::shared_ptr<VistrelDecodedFrameCache>>
VistrelDecodedFrameCacheBuffer::copyFramesFromBeginning(std::uint32_t n) const {
    MutexLock lock(accessLock_);
    const std::size_t count = std::min<std::size_t>(n, framesArray_.size());
    return {framesArray_.begin(), framesArray_.begin() + static_cast<std::ptrdiff_t>(count)};
}

void VistrelDecodedFrameCacheBuffer::clearCache() {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    {
        MutexLock lock(accessLock_);
        dropped = dropFirstLocked(framesArray_.size());
        framesDictionary_.clear();
        firstFrame_ = kNoFrame;
        lastFrame_ = 0;
    }
    for (auto& frame : dropped)
        frame->abandon();
}

bool VistrelDecodedFrameCacheBuffer::decodeFirstUndecodedFrame() {
    std::shared_ptr<VistrelDecodedFrameCache> next;
    {
        MutexLock lock(accessLock_);
        for (const auto& frame : framesArray_)
            if (!frame->hasBeenDecoded() && !frame->isAbandoned()) {
                next = frame;
                break;
            }
    }
    if (!next) return false;
    next->decode();
    return true;
}

} // namespace vtl
