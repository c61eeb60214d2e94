#include "audio/MediaPcmSource.h"

#include "platform/audio/AudioFormat.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/PcmReader.h"

#include <algorithm>

namespace vtl {

Result<std::unique_ptr<PcmSource>> MediaPcmSource::open(const std::string& path) {
    auto asset = MediaAsset::open(path);
    if (!asset) return asset.asFailure();
    const std::vector<std::size_t> sound = (*asset)->trackIndexes(MediaType::Audio);
    if (sound.empty()) return fail("The file " + path + " has no sound.");
    return open(std::move(*asset), sound.front());
}

Result<std::unique_ptr<PcmSource>> MediaPcmSource::open(std::shared_ptr<const MediaAsset> asset,
                                                        std::size_t trackIndex) {
    if (!asset) return fail("There is no movie to play.");
    const MediaTrack* track = asset->track(trackIndex);
    if (!track || track->type != MediaType::Audio)
        return fail("The file " + asset->path() + " has no sound track " + std::to_string(trackIndex) + ".");
    PcmFormat format;
    format.sampleRate = static_cast<std::int32_t>(playbackSampleRate);
    format.channelCount = std::clamp(track->channelCount, 1, 2);
    format.sampleType = PcmSampleType::Float32;
    format.layout = PcmLayout::Planar;
    auto reader = PcmReader::open(asset, trackIndex, format);
    if (!reader) return reader.asFailure();
    return std::unique_ptr<PcmSource>(
        new MediaPcmSource(std::move(*reader), static_cast<std::uint32_t>(format.channelCount)));
}

MediaPcmSource::MediaPcmSource(std::unique_ptr<PcmReader> reader, std::uint32_t channelCount)
    : reader_(std::move(reader))
    , channelCount_(channelCount) {}

MediaPcmSource::~MediaPcmSource() = default;

std::int64_t MediaPcmSource::durationFrames() const {
    return reader_->durationFrames();
}

Status MediaPcmSource::seek(std::int64_t frame) {
    return reader_->seekToFrame(
        std::clamp<std::int64_t>(frame, 0, std::max<std::int64_t>(durationFrames(), 0)));
}

Result<std::size_t> MediaPcmSource::read(float* const* channels, std::size_t frames) {
    return reader_->readPlanar(reinterpret_cast<void* const*>(channels), frames);
}

} // namespace vtl
