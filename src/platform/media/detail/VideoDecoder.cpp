#include "platform/media/detail/VideoDecoder.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <limits>
#include <thread>

namespace vtl::detail {

namespace {

// Decoder errors in a row after which the track counts as undecodable.
constexpr int maximumErrorsInARow = 500;

int resolvedThreadCount(int requested) {
    if (requested > 0) return std::min(requested, 64);
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 16u));
}

} // namespace

VideoDecoder::VideoDecoder(int threadCount, const VideoDecodeOptions& options)
    : converter_(threadCount, options.outputWidthPixels, options.outputHeightPixels) {}

Result<std::unique_ptr<VideoDecoder>> VideoDecoder::open(const std::shared_ptr<const MediaAsset>& asset,
                                                         std::size_t trackIndex,
                                                         const VideoDecodeOptions& options) {
    if (!asset) return fail("No file was given.");
    const MediaTrack* track = asset->track(trackIndex);
    if (!track || track->type != MediaType::Video) return fail("The file has no video track at that index.");
    if (!track->hasDecoder)
        return fail("There is no decoder for the video track's codec (" + track->codecName + ").");
    if (options.outputWidthPixels < 0 || options.outputHeightPixels < 0 ||
        options.outputWidthPixels > maximumPictureSide || options.outputHeightPixels > maximumPictureSide)
        return fail("The requested picture size is not supported.");
    if (static_cast<std::int64_t>(track->widthPixels) * track->heightPixels > options.maximumPixelCount)
        return fail("The movie's pictures are too large to decode.");

    const int threads = resolvedThreadCount(options.threadCount);
    std::unique_ptr<VideoDecoder> decoder(new VideoDecoder(threads, options));
    if (!decoder->packet_) return fail("Not enough memory to decode the movie.");
    decoder->track_ = *track;

    auto input = MediaInput::open(asset->source(), MediaInput::StreamInfo::Skip);
    if (!input) return input.asFailure();
    decoder->input_ = std::move(*input);
    AVFormatContext* format = decoder->input_->format();
    if (trackIndex >= format->nb_streams) return fail("The file changed since it was opened.");
    AVStream* stream = format->streams[trackIndex];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return fail("The file changed since it was opened.");
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = i == trackIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    decoder->stream_ = stream;
    decoder->streamIndex_ = static_cast<int>(trackIndex);
    decoder->timeBase_ = stream->time_base;
    if (!isUsableTimeBase(decoder->timeBase_)) return fail("The video track has no usable time base.");
    decoder->origin_ = originTicks(asset->originMicroseconds(), decoder->timeBase_);
    if (decoder->origin_ == AV_NOPTS_VALUE) return fail("The video track has no usable time base.");
    if (track->frameRateNumerator > 0 && track->frameRateDenominator > 0) {
        decoder->nominalFrameTicks_ = std::max<std::int64_t>(
            1, av_rescale_q(1, AVRational{track->frameRateDenominator, track->frameRateNumerator},
                            decoder->timeBase_));
    } else {
        decoder->nominalFrameTicks_ =
            std::max<std::int64_t>(1, av_rescale_q(1, AVRational{1, 30}, decoder->timeBase_));
    }

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return fail("There is no decoder for the video track's codec (" + track->codecName + ").");
    decoder->decoder_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = decoder->decoder_.get();
    if (!context) return fail("Not enough memory to decode the movie.");
    if (avcodec_parameters_to_context(context, stream->codecpar) < 0)
        return fail("The video track's codec settings cannot be used.");
    context->pkt_timebase = decoder->timeBase_;
    context->thread_count = threads;
    context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    context->max_pixels =
        std::clamp<std::int64_t>(options.maximumPixelCount, 1, std::numeric_limits<int>::max());
    if (const int opened = avcodec_open2(context, codec, nullptr); opened < 0)
        return fail("The video track's decoder cannot start (" + ffmpegErrorText(opened) + ").");
    return decoder;
}

std::optional<std::int64_t> VideoDecoder::ticks(MediaTime time) const {
    const std::int64_t value = ticksFromMediaTime(time, timeBase_, MediaTime::Rounding::Down);
    if (value == AV_NOPTS_VALUE) return std::nullopt;
    return value;
}

Result<bool> VideoDecoder::decodeNext(DecodedPicture& into) {
    if (decoderDrained_) return false;
    AVCodecContext* context = decoder_.get();
    FramePtr frame(av_frame_alloc());
    if (!frame) return fail("Not enough memory to decode the movie.");
    int errorsInARow = 0;
    for (;;) {
        const int received = avcodec_receive_frame(context, frame.get());
        if (received == 0) {
            std::int64_t pts = frame->best_effort_timestamp;
            std::int64_t time = AV_NOPTS_VALUE;
            if (pts != AV_NOPTS_VALUE) {
                const __int128 relative = static_cast<__int128>(pts) - origin_;
                if (relative > std::numeric_limits<std::int64_t>::min() / 4 &&
                    relative < std::numeric_limits<std::int64_t>::max() / 4)
                    time = static_cast<std::int64_t>(relative);
            }
            if (time == AV_NOPTS_VALUE)
                time = lastPictureTime_ == AV_NOPTS_VALUE ? 0 : lastPictureTime_ + nominalFrameTicks_;
            lastPictureTime_ = time;
            into.time = time;
            into.duration = frame->pkt_duration > 0 ? frame->pkt_duration : nominalFrameTicks_;
            into.frame = std::move(frame);
            return true;
        }
        if (received == AVERROR_EOF) {
            decoderDrained_ = true;
            return false;
        }
        if (received != AVERROR(EAGAIN)) {
            if (++errorsInARow > maximumErrorsInARow) return fail("The movie's pictures cannot be decoded.");
            logOnce("media.video.decode", "A movie picture could not be decoded; it is skipped.");
            continue;
        }
        if (inputEnded_) {
            decoderDrained_ = true;
            return false;
        }
        const int read = av_read_frame(input_->format(), packet_.get());
        if (read < 0) {
            if (read != AVERROR_EOF)
                logOnce("media.video.read", "A movie file ended early or could not be read.");
            inputEnded_ = true;
            // The end of the input lets the decoder hand out the pictures it still holds.
            avcodec_send_packet(context, nullptr);
            continue;
        }
        if (packet_->stream_index == streamIndex_) {
            const std::int64_t stamp = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
            if (stamp != AV_NOPTS_VALUE) lastFedTimestamp_ = stamp;
            const int sent = avcodec_send_packet(context, packet_.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                if (++errorsInARow > maximumErrorsInARow) {
                    av_packet_unref(packet_.get());
                    return fail("The movie's pictures cannot be decoded.");
                }
                logOnce("media.video.packet", "A damaged movie packet is skipped.");
            }
        }
        av_packet_unref(packet_.get());
    }
}

Status VideoDecoder::resetAfterSeek() {
    avcodec_flush_buffers(decoder_.get());
    inputEnded_ = false;
    decoderDrained_ = false;
    lastFedTimestamp_ = AV_NOPTS_VALUE;
    lastPictureTime_ = AV_NOPTS_VALUE;
    return {};
}

Status VideoDecoder::seekTo(std::int64_t ticks) {
    const __int128 absolute = static_cast<__int128>(ticks) + origin_;
    if (absolute < std::numeric_limits<std::int64_t>::min() / 4 ||
        absolute > std::numeric_limits<std::int64_t>::max() / 4)
        return seekToStart();
    const auto target = static_cast<std::int64_t>(absolute);
    AVFormatContext* format = input_->format();
    int sought = av_seek_frame(format, streamIndex_, target, AVSEEK_FLAG_BACKWARD);
    if (sought < 0) sought = avformat_seek_file(format, streamIndex_, INT64_MIN, target, target, 0);
    if (sought < 0) return seekToStart();
    return resetAfterSeek();
}

Status VideoDecoder::seekToStart() {
    AVFormatContext* format = input_->format();
    std::int64_t first = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : origin_;
    if (avformat_index_get_entries_count(stream_) > 0) {
        if (const AVIndexEntry* entry = avformat_index_get_entry(stream_, 0))
            first = std::min(first, entry->timestamp);
    }
    int sought = av_seek_frame(format, streamIndex_, first, AVSEEK_FLAG_BACKWARD);
    if (sought < 0)
        sought = av_seek_frame(format, streamIndex_, first, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (sought < 0) sought = avformat_seek_file(format, streamIndex_, INT64_MIN, first, first, 0);
    if (sought < 0) return fail("The movie cannot be positioned (" + ffmpegErrorText(sought) + ").");
    return resetAfterSeek();
}

bool VideoDecoder::seekSkipsWork(std::int64_t ticks) const {
    const __int128 absolute = static_cast<__int128>(ticks) + origin_;
    if (absolute < std::numeric_limits<std::int64_t>::min() / 4 ||
        absolute > std::numeric_limits<std::int64_t>::max() / 4)
        return true;
    if (lastFedTimestamp_ == AV_NOPTS_VALUE) return true;
    if (avformat_index_get_entries_count(stream_) > 0) {
        const AVIndexEntry* entry = avformat_index_get_entry_from_timestamp(
            stream_, static_cast<std::int64_t>(absolute), AVSEEK_FLAG_BACKWARD);
        return entry && entry->timestamp > lastFedTimestamp_;
    }
    // Without an index, far targets seek and near ones decode through.
    const std::int64_t oneSecond = av_rescale_q(1, AVRational{1, 1}, timeBase_);
    return static_cast<std::int64_t>(absolute) - lastFedTimestamp_ > oneSecond;
}

Result<VideoFrame> VideoDecoder::makeFrame(const DecodedPicture& picture, std::int64_t durationTicks) {
    auto image = convert(picture);
    if (!image) return image.asFailure();
    VideoFrame frame;
    frame.image = std::move(*image);
    frame.time = mediaTime(picture.time);
    frame.duration = mediaTime(std::max<std::int64_t>(durationTicks, 0));
    return frame;
}

} // namespace vtl::detail
