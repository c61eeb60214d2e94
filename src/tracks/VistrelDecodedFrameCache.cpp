#include "tracks/VistrelDecodedFrameCache.h"

#include "tracks/VistrelRecording.h"

#include <algorithm>
#include <cstring>

namespace vtl {

VistrelDecodedFrameCache::VistrelDecodedFrameCache(std::uint64_t frameIndex,
                                                   std::shared_ptr<PixelBufferPool> pixelBufferPool,
                                                   std::shared_ptr<const VistrelRecording> recording,
                                                   DecompressionInfo* decompressionInfo)
    : frameIndex_(frameIndex)
    , pixelBufferPool_(std::move(pixelBufferPool))
    , recording_(std::move(recording))
    , decompressionInfo_(decompressionInfo) {}

VistrelDecodedFrameCache::~VistrelDecodedFrameCache() = default;

bool VistrelDecodedFrameCache::hasBeenDecoded() const {
    std::lock_guard lock(decodeLock_);
    return phase_ == Phase::Decoded;
}

bool VistrelDecodedFrameCache::isAbandoned() const {
    std::lock_guard lock(decodeLock_);
    return phase_ == Phase::Abandoned;
}

void VistrelDecodedFrameCache::decode() {
    {
        std::lock_guard lock(decodeLock_);
        if (phase_ != Phase::Pending) return;
    }
    BitmapImage image = pixelBufferPool_->take();
    DecompressionInfo& info = *decompressionInfo_;
    info.frameEntry.frameNumber = frameIndex_;
    recording_->decompressFrame(info);
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
        std::lock_guard lock(decodeLock_);
        if (phase_ == Phase::Pending) {
            pixelBuffer_ = std::move(image);
            phase_ = pixelBuffer_.isEmpty() ? Phase::Abandoned : Phase::Decoded;
        }
    }
    decoded_.notify_all();
}

void VistrelDecodedFrameCache::uploadToGPU(const UploadHook& hook) {
    std::lock_guard uploadLock(uploadLock_);
    if (uploaded_) return;
    decode();
    BitmapImage image;
    {
        std::lock_guard lock(decodeLock_);
        if (phase_ != Phase::Decoded) return;
        image = pixelBuffer_;
    }
    if (hook) hook(frameIndex_, image);
    uploaded_ = true;
}

void VistrelDecodedFrameCache::abandon() {
    {
        std::lock_guard lock(decodeLock_);
        if (phase_ != Phase::Pending) return;
        phase_ = Phase::Abandoned;
    }
    decoded_.notify_all();
}

bool VistrelDecodedFrameCache::waitForDecodeCompletion() const {
    std::unique_lock lock(decodeLock_);
    decoded_.wait(lock, [this] { return phase_ != Phase::Pending; });
    return phase_ == Phase::Decoded;
}

BitmapImage VistrelDecodedFrameCache::image() const {
    if (!waitForDecodeCompletion()) return {};
    std::lock_guard lock(decodeLock_);
    return pixelBuffer_;
}

} // namespace vtl
