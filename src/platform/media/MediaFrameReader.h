#pragma once
// Reads the pictures of a video track one after the other, in display order, as B, G, R, A
// images (the export's way through a movie: each frame decoded and converted once). Owned by one
// user; not thread-safe.

#include "platform/foundation/Result.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/VideoDecodeOptions.h"
#include "platform/media/VideoFrame.h"

#include <memory>
#include <optional>

namespace vtl {

namespace detail {
class VideoDecoder;
class FrameLocator;
} // namespace detail

class MediaFrameReader {
public:
    static Result<std::unique_ptr<MediaFrameReader>> open(std::shared_ptr<const MediaAsset> asset,
                                                          std::size_t trackIndex,
                                                          const VideoDecodeOptions& options = {});
    ~MediaFrameReader();
    MediaFrameReader(const MediaFrameReader&) = delete;
    MediaFrameReader& operator=(const MediaFrameReader&) = delete;

    // The next picture; nullopt after the last one.
    Result<std::optional<VideoFrame>> nextFrame();
    // Goes to the picture shown at `time`, which the next nextFrame() returns; a time before the
    // first picture goes to the first, one past the end leaves nothing more to read.
    Status seek(MediaTime time);

private:
    MediaFrameReader() = default;

    std::shared_ptr<const MediaAsset> asset_;
    std::unique_ptr<detail::VideoDecoder> decoder_;
    std::unique_ptr<detail::FrameLocator> locator_;
    bool currentIsPending_ = false; // after a seek, the located picture is the next one to hand out
    bool ended_ = false;
};

} // namespace vtl
