#include "tracks/CompositionVistrelMovie.h"

#include "platform/foundation/Log.h"
#include "tracks/RecordingFrameCacheProvider.h"

#include <cstring>

namespace vtl {

void CompositionVistrelMovie::registerClasses(ArchiveClassRegistry& registry) {
    CompositionBaseMovie::registerClasses(registry);
    registry.registerClass<CompositionVistrelMovie>("CompositionVistrelMovie", "CompositionBaseMovie");
}

CompositionVistrelMovie::~CompositionVistrelMovie() {
    releaseDecoder();
}

void CompositionVistrelMovie::releaseDecoder() {
    if (playbackDecompressionInfo_) playbackDecompressionInfo_->release();
    playbackDecompressionInfo_.reset();
}

bool CompositionVistrelMovie::loadResources() {
    if (recording_) return true;
    if (!mediaEntry()) {
        logMessage("an error occurred loading a vistrel recording");
        return false;
    }
    auto recording = std::make_shared<VistrelRecording>(mediaEntry()->dataPath());
    if (!recording->open()) {
        logMessage("an error occurred loading a vistrel recording");
        return false;
    }
    recording_ = std::move(recording);
    auto decoder = recording_->makeDecompressionInfo();
    if (decoder)
        playbackDecompressionInfo_ = std::move(decoder).value();
    else
        logMessage("The recording's still images cannot be decoded: " + decoder.error());
    return true;
}

void CompositionVistrelMovie::reinitializeAfterPathChanged() {
    releaseDecoder();
    recording_.reset();
    loadResources();
}

std::shared_ptr<CompositionVistrelMovie> CompositionVistrelMovie::copy() const {
    auto movie = std::make_shared<CompositionVistrelMovie>(mediaEntry());
    movie->loadResources();
    return movie;
}

double CompositionVistrelMovie::duration() const {
    return recording_ ? recording_->duration() : 0.0;
}

Size CompositionVistrelMovie::recordingDimensions() const {
    if (!recording_) return Size();
    return Size{static_cast<double>(recording_->width()), static_cast<double>(recording_->height())};
}

void CompositionVistrelMovie::invalidate() {
    if (playbackDecompressionInfo_) playbackDecompressionInfo_->forgetLastFrame();
}

void CompositionVistrelMovie::prepareForPlayBackAtTime(double) {
    // The reader needs no preparation: frames are decoded on request.
}

BitmapImage CompositionVistrelMovie::imageAtTime(double mediaSeconds, const std::string& colorSpace) const {
    if (!recording_ || !playbackDecompressionInfo_) return BitmapImage();
    const std::int64_t index = recording_->indexOfTime(mediaSeconds);
    if (index < 0 || recording_->numberOfFrames() == 0) return BitmapImage();
    DecompressionInfo& decoder = *playbackDecompressionInfo_;
    decoder.setColorSpace(colorSpace);
    decoder.decompressFrame(static_cast<std::uint64_t>(index));
    BitmapImage image(decoder.width(), decoder.height(), decoder.bytesPerRow());
    if (image.isEmpty() || !decoder.copyFrame(image.mutableData(), image.bytesPerRow())) return BitmapImage();
    return image;
}

BitmapImage CompositionVistrelMovie::createImageAtTime(double mediaSeconds,
                                                       RecordingFrameCacheProvider* renderer) const {
    if (!recording_ || !renderer) return BitmapImage();
    VistrelDecoderCachedBuffer* cache = renderer->decoderCachedBufferForRecording(recording_);
    if (!cache) {
        assertionFailure(__FILE__, __LINE__, "Decode Buffer was nil");
        return BitmapImage();
    }
    cache->setColorspaceAndStartDecoding(renderer->colorSpace(), renderer->uploadHook());
    return cache->createImageAtTime(mediaSeconds);
}

} // namespace vtl
