#include "tracks/VistrelDecodedFrameCache.h"

#include "tracks/VistrelRecording.h"

#include <algorithm>
#include <cstring>

namespace vtl {

VistrelDecodedFrameCache::VistrelDecodedFrameCache(std::uint64_t frameIndex,
                                                   std::shared_ptr<PixelBufferPool> pixelBufferPool,
                                                   std::shared_ptr<const VistrelRecording> recording,
                                                   DecompressionInfo* decompressionInfo)
    : m_frameIndex(frameIndex)
    , m_pixelBufferPool(std::move(pixelBufferPool))
    , m_recording(std::move(recording))
    , m_decompressionInfo(decompressionInfo) {}

VistrelDecodedFrameCache::~VistrelDecodedFrameCache() {
    if (m_pixelBufferPool) m_pixelBufferPool->recycle(std::move(m_pixelBuffer));
}

bool VistrelDecodedFrameCache::hasBeenDecoded() const {
    std::lock_guard lock(m_decodeLock);
    return m_phase == Phase::Decoded;
}

bool VistrelDecodedFrameCache::isAbandoned() const {
    std::lock_guard lock(m_decodeLock);
    return m_phase == Phase::Abandoned;
}

void VistrelDecodedFrameCache::decode() {
    {
        std::lock_guard lock(m_decodeLock);
        if (m_phase != Phase::Pending) return;
    }
    BitmapImage image = m_pixelBufferPool->take();
    DecompressionInfo& info = *m_decompressionInfo;
    info.frameEntry.frameNumber = m_frameIndex;
    m_recording->decompressFrame(info);
    if (!image.isEmpty()) {
        std::lock_guard memoryLock(info.memoryAccessMutex);
        const std::size_t rowBytes = image.width() * 4;
        if (info.buffer && info.bufferSizeBytes >= rowBytes * image.height()) {
            // Bands of 256 rows: one copy each when the rows have no padding.
            constexpr std::size_t kBandRows = 256;
            for (std::size_t first = 0; first < image.height(); first += kBandRows) {
                const std::size_t rows = std::min(kBandRows, image.height() - first);
                if (image.bytesPerRow() == rowBytes) {
                    std::memcpy(image.mutableData() + first * rowBytes, info.buffer.get() + first * rowBytes,
                                rows * rowBytes);
                } else {
                    for (std::size_t r = first; r < first + rows; ++r)
                        std::memcpy(image.mutableData() + r * image.bytesPerRow(),
                                    info.buffer.get() + r * rowBytes, rowBytes);
                }
            }
        } else {
            image = BitmapImage();
        }
    }
    {
        std::lock_guard lock(m_decodeLock);
        if (m_phase == Phase::Pending) {
            m_pixelBuffer = std::move(image);
            m_phase = m_pixelBuffer.isEmpty() ? Phase::Abandoned : Phase::Decoded;
        }
    }
    m_decoded.notify_all();
}

void VistrelDecodedFrameCache::uploadToGPU(const UploadHook& hook) {
    std::lock_guard uploadLock(m_uploadLock);
    if (m_uploaded) return;
    decode();
    BitmapImage image;
    {
        std::lock_guard lock(m_decodeLock);
        if (m_phase != Phase::Decoded) return;
        image = m_pixelBuffer;
    }
    if (hook) hook(m_frameIndex, image);
    m_uploaded = true;
}

void VistrelDecodedFrameCache::abandon() {
    {
        std::lock_guard lock(m_decodeLock);
        if (m_phase != Phase::Pending) return;
        m_phase = Phase::Abandoned;
    }
    m_decoded.notify_all();
}

bool VistrelDecodedFrameCache::waitForDecodeCompletion() const {
    std::unique_lock lock(m_decodeLock);
    m_decoded.wait(lock, [this] { return m_phase != Phase::Pending; });
    return m_phase == Phase::Decoded;
}

BitmapImage VistrelDecodedFrameCache::image() const {
    if (!waitForDecodeCompletion()) return {};
    std::lock_guard lock(m_decodeLock);
    return m_pixelBuffer;
}

} // namespace vtl
