#pragma once
// Demuxes and decodes one video track of an asset in display order, repositions on request, and
// converts pictures to B, G, R, A images. One per reader, generator or playback context (one codec
// context per user and thread); not thread-safe. Times are "media ticks": ticks of the track's
// time base measured from the file's start.

#include "platform/foundation/Result.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/VideoDecodeOptions.h"
#include "platform/media/VideoFrame.h"
#include "platform/media/detail/Ffmpeg.h"
#include "platform/media/detail/FrameConverter.h"
#include "platform/media/detail/MediaInput.h"

#include <cstdint>
#include <memory>

namespace vtl::detail {

// A decoded picture still in the decoder's format.
struct DecodedPicture {
    FramePtr frame;
    std::int64_t time = 0;     // media ticks
    std::int64_t duration = 0; // ticks; the picture's own length as the file gives it
    bool isValid() const { return frame != nullptr; }
    void reset() { frame.reset(); }
};

class VideoDecoder {
public:
    static Result<std::unique_ptr<VideoDecoder>> open(const std::shared_ptr<const MediaAsset>& asset,
                                                      std::size_t trackIndex,
                                                      const VideoDecodeOptions& options);

    AVRational timeBase() const { return timeBase_; }
    const MediaTrack& track() const { return track_; }
    // One frame at the track's base rate, in ticks (at least 1).
    std::int64_t nominalFrameTicks() const { return nominalFrameTicks_; }
    MediaTime mediaTime(std::int64_t ticks) const { return mediaTimeFromTicks(ticks, timeBase_); }
    // Media ticks of a media time (rounded down); nullopt when out of range.
    std::optional<std::int64_t> ticks(MediaTime time) const;

    // The next picture in display order into `into`; false at the end of the track.
    Result<bool> decodeNext(DecodedPicture& into);
    // Repositions so that decoding reaches `ticks` from a key frame at or before it
    // (the decoder is flushed). Falls back to the track's start.
    Status seekTo(std::int64_t ticks);
    Status seekToStart();
    // Whether a key frame at or before `ticks` lies past what the decoder was fed, so that a seek
    // skips work that decoding forward would do.
    bool seekSkipsWork(std::int64_t ticks) const;

    Result<BitmapImage> convert(const DecodedPicture& picture) {
        return converter_.convert(picture.frame.get());
    }
    Result<VideoFrame> makeFrame(const DecodedPicture& picture, std::int64_t durationTicks);

private:
    VideoDecoder(int threadCount, const VideoDecodeOptions& options);
    Status resetAfterSeek();

    std::unique_ptr<MediaInput> input_;
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    AVRational timeBase_{0, 1};
    std::int64_t origin_ = 0;
    MediaTrack track_;
    CodecContextPtr decoder_;
    PacketPtr packet_{av_packet_alloc()};
    FrameConverter converter_;
    std::int64_t nominalFrameTicks_ = 1;
    std::int64_t lastFedTimestamp_ = AV_NOPTS_VALUE; // absolute stream ticks (decode time)
    std::int64_t lastPictureTime_ = AV_NOPTS_VALUE;  // media ticks
    bool inputEnded_ = false;
    bool decoderDrained_ = false;
};

} // namespace vtl::detail
