#include "tracks/VTL3AssetTrackSequentialBufferReader.h"

#include "platform/foundation/Log.h"
#include "platform/media/MediaFrameReader.h"

#include <cmath>

namespace vtl {

using Reader = VTL3AssetTrackSequentialBufferReader;

Reader::VTL3AssetTrackSequentialBufferReader(std::shared_ptr<const MediaAsset> asset, std::size_t trackIndex,
                                             Size size) {
    if (!asset) return;
    VideoDecodeOptions options;
    options.outputWidthPixels = static_cast<int>(size.width);
    options.outputHeightPixels = static_cast<int>(size.height);
    auto reader = MediaFrameReader::open(std::move(asset), trackIndex, options);
    if (!reader) {
        logMessage("The movie track cannot be read for export: " + reader.error());
        return;
    }
    reader_ = std::move(reader).value();
    source_ = [reader = reader_.get()] { return reader->nextFrame(); };
}

Reader::VTL3AssetTrackSequentialBufferReader(FrameSource source)
    : source_(std::move(source)) {}

Reader::~VTL3AssetTrackSequentialBufferReader() = default;

std::optional<VideoFrame> Reader::next() {
    if (!source_) return std::nullopt;
    auto frame = source_();
    if (!frame) {
        logMessage("Reading a movie track for export stopped: " + frame.error());
        source_ = nullptr;
        return std::nullopt;
    }
    // A picture without a time cannot be placed: the track ends there.
    if (*frame && !(*frame)->time.isValid()) {
        source_ = nullptr;
        return std::nullopt;
    }
    if (!*frame) source_ = nullptr;
    return std::move(frame).value();
}

void Reader::beginReading() {
    previous_ = next();
    current_ = next();
}

const VideoFrame* Reader::copyPixelBufferAtTime(double seconds) {
    // Forward until the current picture is at or past the time; an exhausted track keeps its last
    // picture as `previous_` (an end-of-track marker, not a picture at time 0).
    while (current_ && current_->time.seconds() < seconds) {
        previous_ = std::move(current_);
        current_ = next();
    }
    if (!current_) return previous_ ? &*previous_ : nullptr;
    if (!previous_) return &*current_;
    const double toPrevious = std::fabs(previous_->time.seconds() - seconds);
    const double toCurrent = std::fabs(current_->time.seconds() - seconds);
    return toPrevious < toCurrent ? &*previous_ : &*current_;
}

} // namespace vtl
