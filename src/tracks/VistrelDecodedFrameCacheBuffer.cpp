#include "tracks/VistrelDecodedFrameCacheBuffer.h"

#include "tracks/VistrelRecording.h"

#include <algorithm>

namespace vtl {

VistrelDecodedFrameCacheBuffer::VistrelDecodedFrameCacheBuffer(
    std::shared_ptr<const VistrelRecording> recording, DecompressionInfo* decompressionInfo,
    std::uint32_t size)
    : m_pixelBufferPool(std::make_shared<PixelBufferPool>(static_cast<std::size_t>(recording->width()),
                                                          static_cast<std::size_t>(recording->height()),
                                                          static_cast<std::size_t>(size) + 4))
    , m_recording(std::move(recording))
    , m_decompressionInfo(decompressionInfo)
    , m_size(size) {}

VistrelDecodedFrameCacheBuffer::~VistrelDecodedFrameCacheBuffer() {
    clearCache();
}

std::shared_ptr<VistrelDecodedFrameCache>
VistrelDecodedFrameCacheBuffer::frameAtIndex(std::uint64_t frameNumber) const {
    std::lock_guard lock(m_accessLock);
    auto it = m_framesDictionary.find(frameNumber);
    if (it == m_framesDictionary.end()) return nullptr;
    for (const auto& frame : m_framesArray)
        if (frame.get() == it->second) return frame;
    return nullptr;
}

void VistrelDecodedFrameCacheBuffer::addFrame(std::shared_ptr<VistrelDecodedFrameCache> frame) {
    if (!frame) return;
    std::shared_ptr<VistrelDecodedFrameCache> replaced;
    {
        std::lock_guard lock(m_accessLock);
        const std::uint64_t number = frame->frameNumber();
        auto it = m_framesDictionary.find(number);
        if (it != m_framesDictionary.end()) {
            // One entry per frame number: the newer one takes the older one's place in the lookup.
            auto old = std::find_if(m_framesArray.begin(), m_framesArray.end(),
                                    [&](const auto& f) { return f.get() == it->second; });
            if (old != m_framesArray.end()) {
                replaced = *old;
                m_framesArray.erase(old);
            }
        }
        m_framesDictionary[number] = frame.get();
        m_framesArray.push_back(std::move(frame));
        m_lastFrame = number;
        if (m_framesArray.size() == 1)
            m_firstFrame = number;
        else
            m_firstFrame = m_framesArray.front()->frameNumber();
    }
    if (replaced) replaced->abandon();
}

void VistrelDecodedFrameCacheBuffer::generateAndDecodeFrameCacheAtIndex(std::uint64_t frameNumber) {
    addFrame(std::make_shared<VistrelDecodedFrameCache>(frameNumber, m_pixelBufferPool, m_recording,
                                                        m_decompressionInfo));
}

void VistrelDecodedFrameCacheBuffer::clearCacheAndGenerateFramesFrom(std::uint64_t from, std::uint64_t to) {
    clearCache();
    for (std::uint64_t i = from; i < to; ++i)
        generateAndDecodeFrameCacheAtIndex(i);
}

std::uint32_t VistrelDecodedFrameCacheBuffer::numberOfFrames() const {
    std::lock_guard lock(m_accessLock);
    return static_cast<std::uint32_t>(m_framesArray.size());
}

bool VistrelDecodedFrameCacheBuffer::isFull() const {
    return numberOfFrames() >= m_size;
}

std::uint64_t VistrelDecodedFrameCacheBuffer::firstFrameNumber() const {
    std::lock_guard lock(m_accessLock);
    return m_firstFrame;
}

std::uint64_t VistrelDecodedFrameCacheBuffer::lastFrameNumber() const {
    std::lock_guard lock(m_accessLock);
    return m_lastFrame;
}

std::vector<std::shared_ptr<VistrelDecodedFrameCache>>
VistrelDecodedFrameCacheBuffer::dropFirstLocked(std::size_t n) {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    n = std::min(n, m_framesArray.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto frame = std::move(m_framesArray.front());
        m_framesArray.pop_front();
        auto it = m_framesDictionary.find(frame->frameNumber());
        if (it != m_framesDictionary.end() && it->second == frame.get()) m_framesDictionary.erase(it);
        dropped.push_back(std::move(frame));
    }
    m_firstFrame = m_framesArray.empty() ? kNoFrame : m_framesArray.front()->frameNumber();
    return dropped;
}

void VistrelDecodedFrameCacheBuffer::shiftBy(std::uint32_t n) {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    {
        std::lock_guard lock(m_accessLock);
        dropped = dropFirstLocked(n);
    }
    for (auto& frame : dropped)
        frame->abandon();
}

std::vector<std::shared_ptr<VistrelDecodedFrameCache>>
VistrelDecodedFrameCacheBuffer::copyFramesFromBeginning(std::uint32_t n) const {
    std::lock_guard lock(m_accessLock);
    const std::size_t count = std::min<std::size_t>(n, m_framesArray.size());
    return {m_framesArray.begin(), m_framesArray.begin() + static_cast<std::ptrdiff_t>(count)};
}

void VistrelDecodedFrameCacheBuffer::clearCache() {
    std::vector<std::shared_ptr<VistrelDecodedFrameCache>> dropped;
    {
        std::lock_guard lock(m_accessLock);
        dropped = dropFirstLocked(m_framesArray.size());
        m_framesDictionary.clear();
        m_firstFrame = kNoFrame;
        m_lastFrame = 0;
    }
    for (auto& frame : dropped)
        frame->abandon();
}

bool VistrelDecodedFrameCacheBuffer::decodeFirstUndecodedFrame() {
    std::shared_ptr<VistrelDecodedFrameCache> next;
    {
        std::lock_guard lock(m_accessLock);
        for (const auto& frame : m_framesArray)
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
