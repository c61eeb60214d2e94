#include "tracks/reader/VistrelDecodedFrameCache.h"

namespace vtl {

VistrelDecodedFrameCache::VistrelDecodedFrameCache(std::uint64_t frameIndex,
                                                   std::shared_ptr<PixelBufferPool> pixelBufferPool,
                                                   DecompressionInfo* decompressionInfo)
    : frameIndex_(frameIndex)
    , pixelBufferPool_(std::move(pixelBufferPool))
    , decompressionInfo_(decompressionInfo) {}

VistrelDecodedFrameCache::~VistrelDecodedFrameCache() = default;

bool VistrelDecodedFrameCache::hasBeenDecoded() const {
    MutexLock lock(decodeLock_);
    return phase_ == Phase::Decoded;
}

bool VistrelDecodedFrameCache::isAbandoned() const {
    MutexLock lock(decodeLock_);
    return phase_ == Phase::Abandoned;
}

void VistrelDecodedFrameCache::decode() {
    {
        MutexLock lock(decodeLock_);
        if (phase_ != Phase::Pending) return;
    }
    BitmapImage image = pixelBufferPool_->take();
    decompressionInfo_->decompressFrame(frameIndex_);
    if (!image.isEmpty() &&
        (image.width() != decompressionInfo_->width() || image.height() != decompressionInfo_->height() ||
         !decompressionInfo_->copyFrame(image.mutableData(), image.bytesPerRow())))
        image = BitmapImage();
    {
        MutexLock lock(decodeLock_);
        if (phase_ == Phase::Pending) {
            pixelBuffer_ = std::move(image);
            phase_ = pixelBuffer_.isEmpty() ? Phase::Abandoned : Phase::Decoded;
        }
    }
    decoded_.notify_all();
}

void VistrelDecodedFrameCache::uploadToGPU(const UploadHook& hook) {
    MutexLock uploadLock(uploadLock_);
    if (uploaded_) return;
    decode();
    BitmapImage image;
    {
        MutexLock lock(decodeLock_);
        if (phase_ != Phase::Decoded) return;
        image = pixelBuffer_;
    }
    if (hook) hook(frameIndex_, image);
    uploaded_ = true;
}

void VistrelDecodedFrameCache::abandon() {
    {
        MutexLock lock(decodeLock_);
        if (phase_ != Phase::Pending) return;
        phase_ = Phase::Abandoned;
    }
    decoded_.notify_all();
}

bool VistrelDecodedFrameCache::waitForDecodeCompletion() const {
    MutexLock lock(decodeLock_);
    while (phase_ == Phase::Pending)
        decoded_.wait(lock);
    return phase_ == Phase::Decoded;
}

BitmapImage VistrelDecodedFrameCache::image() const {
    if (!waitForDecodeCompletion()) return {};
    MutexLock lock(decodeLock_);
    return pixelBuffer_;
}

} // namespace vtl
