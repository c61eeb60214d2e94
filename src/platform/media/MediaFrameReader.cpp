#include "platform/media/MediaFrameReader.h"

#include "platform/media/detail/FrameLocator.h"
#include "platform/media/detail/VideoDecoder.h"

namespace vtl {

Result<std::unique_ptr<MediaFrameReader>> MediaFrameReader::open(std::shared_ptr<const MediaAsset> asset,
                                                                 std::size_t trackIndex,
                                                                 const VideoDecodeOptions& options) {
    auto decoder = detail::VideoDecoder::open(asset, trackIndex, options);
    if (!decoder) return decoder.asFailure();
    std::unique_ptr<MediaFrameReader> reader(new MediaFrameReader);
    reader->asset_ = std::move(asset);
    reader->decoder_ = std::move(*decoder);
    reader->locator_ = std::make_unique<detail::FrameLocator>(*reader->decoder_);
    return reader;
}

MediaFrameReader::~MediaFrameReader() = default;

Result<std::optional<VideoFrame>> MediaFrameReader::nextFrame() {
    if (ended_) return std::optional<VideoFrame>{};
    if (!currentIsPending_) {
        auto advanced = locator_->advance();
        if (!advanced) return advanced.asFailure();
        if (!*advanced) {
            ended_ = true;
            return std::optional<VideoFrame>{};
        }
    }
    currentIsPending_ = false;
    auto duration = locator_->currentDuration();
    if (!duration) return duration.asFailure();
    auto frame = decoder_->makeFrame(locator_->current(), *duration);
    if (!frame) return frame.asFailure();
    return std::optional<VideoFrame>(std::move(*frame));
}

Status MediaFrameReader::seek(MediaTime time) {
    const auto ticks = decoder_->ticks(time);
    if (!ticks) return fail("The time is out of range.");
    auto outcome = locator_->locate(*ticks);
    if (!outcome) return outcome.asFailure();
    ended_ = false;
    switch (*outcome) {
    case detail::FrameLocator::Outcome::Found:
        currentIsPending_ = true;
        break;
    case detail::FrameLocator::Outcome::BeforeFirstFrame:
        // The locator decoded from the start; the first picture comes next.
        locator_->reset();
        if (Status sought = decoder_->seekToStart(); !sought) return sought;
        currentIsPending_ = false;
        break;
    case detail::FrameLocator::Outcome::PastEnd:
        ended_ = true;
        break;
    }
    return {};
}

} // namespace vtl
