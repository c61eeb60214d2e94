#include "platform/media/PcmReader.h"

#include "platform/foundation/Log.h"
#include "platform/media/detail/Ffmpeg.h"
#include "platform/media/detail/MediaInput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace vtl {

namespace {

// Seeks start this far before the wanted time, so a decoder that overlaps frames (AAC) has warmed up.
constexpr double prerollSeconds = 0.2;
// A jump in sample times larger than this starts a new stretch of sound (with silence between).
constexpr double discontinuitySeconds = 0.02;
// Short forward moves decode through instead of seeking.
constexpr double forwardDecodeSeconds = 0.5;

AVSampleFormat outputSampleFormat(const PcmFormat& format) {
    const bool planar = format.layout == PcmLayout::Planar;
    if (format.sampleType == PcmSampleType::Int16) return planar ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S16;
    return planar ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_FLT;
}

// round(ticks × timeBase × rate)
std::int64_t framesFromTicks(std::int64_t ticks, AVRational timeBase, std::int32_t rate) {
    const __int128 numerator = static_cast<__int128>(ticks) * timeBase.num * rate;
    const __int128 denominator = timeBase.den;
    __int128 quotient = numerator / denominator;
    const __int128 remainder = numerator % denominator;
    if (remainder * 2 >= denominator)
        ++quotient;
    else if (remainder * 2 <= -denominator)
        --quotient;
    const __int128 limit = std::numeric_limits<std::int64_t>::max() / 4;
    return static_cast<std::int64_t>(std::clamp<__int128>(quotient, -limit, limit));
}

} // namespace

namespace detail {

struct PcmReaderState {
    std::unique_ptr<detail::MediaInput> input;
    int streamIndex = -1;
    AVRational timeBase{0, 1};
    std::int64_t origin = 0;
    detail::CodecContextPtr decoder;
    detail::PacketPtr packet{av_packet_alloc()};
    detail::FramePtr frame{av_frame_alloc()};
    detail::FramePtr pendingFrame{av_frame_alloc()};
    bool hasPendingFrame = false;
    detail::SwrPtr resampler;
    AVChannelLayout resamplerInputLayout{};
    int resamplerInputRate = 0;
    int resamplerInputFormat = -1;
    detail::AudioFifoPtr fifo;
    std::vector<std::uint8_t*> scratchPlanes;
    std::vector<std::uint8_t> scratch;

    // Output frame of the fifo's first sample; the next converted samples go at fifoStart + size.
    std::int64_t fifoStart = 0;
    bool hasTimeline = false;
    // Where the next decoded frame is expected, in the source's samples (for gaps and overlaps).
    std::int64_t expectedSourcePts = AV_NOPTS_VALUE;
    bool inputEnded = false;
    bool decoderDrained = false;
    bool needsSeek = false;
    bool freshFromStart = true;

    ~PcmReaderState() { av_channel_layout_uninit(&resamplerInputLayout); }
};

} // namespace detail

using State = detail::PcmReaderState;

Result<std::unique_ptr<PcmReader>> PcmReader::open(std::shared_ptr<const MediaAsset> asset,
                                                   std::size_t trackIndex, const PcmFormat& format) {
    if (!asset) return fail("No file was given.");
    if (!format.isUsable()) return fail("The requested sound format is not usable.");
    const MediaTrack* track = asset->track(trackIndex);
    if (!track || track->type != MediaType::Audio) return fail("The file has no sound track at that index.");
    if (!track->hasDecoder)
        return fail("There is no decoder for the sound track's codec (" + track->codecName + ").");

    std::unique_ptr<PcmReader> reader(new PcmReader);
    reader->asset_ = asset;
    reader->format_ = format;
    reader->state_ = std::make_unique<detail::PcmReaderState>();
    State& state = *reader->state_;
    if (!state.packet || !state.frame || !state.pendingFrame)
        return fail("Not enough memory to read the sound.");

    auto input = detail::MediaInput::open(asset->source(), detail::MediaInput::StreamInfo::Skip);
    if (!input) return input.asFailure();
    state.input = std::move(*input);
    AVFormatContext* formatContext = state.input->format();
    if (trackIndex >= formatContext->nb_streams) return fail("The file changed since it was opened.");
    AVStream* stream = formatContext->streams[trackIndex];
    if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
        return fail("The file changed since it was opened.");
    for (unsigned i = 0; i < formatContext->nb_streams; ++i)
        formatContext->streams[i]->discard = i == trackIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    state.streamIndex = static_cast<int>(trackIndex);
    state.timeBase = stream->time_base;
    if (!detail::isUsableTimeBase(state.timeBase)) return fail("The sound track has no usable time base.");
    state.origin = detail::originTicks(asset->originMicroseconds(), state.timeBase);

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return fail("There is no decoder for the sound track's codec (" + track->codecName + ").");
    state.decoder.reset(avcodec_alloc_context3(codec));
    if (!state.decoder) return fail("Not enough memory to read the sound.");
    if (avcodec_parameters_to_context(state.decoder.get(), stream->codecpar) < 0)
        return fail("The sound track's codec settings cannot be used.");
    state.decoder->pkt_timebase = state.timeBase;
    state.decoder->thread_count = 1;
    if (const int opened = avcodec_open2(state.decoder.get(), codec, nullptr); opened < 0)
        return fail("The sound track's decoder cannot start (" + detail::ffmpegErrorText(opened) + ").");

    state.fifo.reset(av_audio_fifo_alloc(outputSampleFormat(format), format.channelCount, 4096));
    if (!state.fifo) return fail("Not enough memory to read the sound.");

    if (track->duration.isValid() && track->startTime.isValid()) {
        const double endSeconds = track->startTime.seconds() + track->duration.seconds();
        reader->durationFrames_ = static_cast<std::int64_t>(std::llround(endSeconds * format.sampleRate));
    }
    return reader;
}

PcmReader::~PcmReader() = default;

Status PcmReader::setTimeRange(MediaTime start, MediaTime duration) {
    if (!start.isValid()) return fail("The start of the time range is not a valid time.");
    const MediaTime startFrames = start.convertedToScale(format_.sampleRate, MediaTime::Rounding::Down);
    if (!startFrames.isValid()) return fail("The start of the time range is out of range.");
    std::int64_t end = -1;
    if (duration.isValid()) {
        if (duration.value < 0) return fail("The time range has a negative duration.");
        const MediaTime durationFrames = duration.convertedToScale(format_.sampleRate);
        if (!durationFrames.isValid()) return fail("The time range is out of range.");
        end = startFrames.value + durationFrames.value;
    }
    endFrame_ = end;
    return seekToFrame(startFrames.value);
}

Status PcmReader::seekToFrame(std::int64_t frame) {
    State& state = *state_;
    const std::int64_t fifoEnd = state.fifoStart + av_audio_fifo_size(state.fifo.get());
    const double forwardFrames = forwardDecodeSeconds * format_.sampleRate;
    const bool reachable = state.hasTimeline ? frame >= state.fifoStart && frame <= fifoEnd + forwardFrames
                                             : state.freshFromStart && frame >= 0 && frame <= forwardFrames;
    position_ = frame;
    if (!reachable) state.needsSeek = true;
    return {};
}

Result<std::size_t> PcmReader::read(void* interleaved, std::size_t frameCount) {
    if (format_.layout != PcmLayout::Interleaved) return fail("The reader was opened for planar sound.");
    auto* buffer = static_cast<std::uint8_t*>(interleaved);
    return readInto(&buffer, frameCount);
}

Result<std::size_t> PcmReader::readPlanar(void* const* channels, std::size_t frameCount) {
    if (format_.layout != PcmLayout::Planar) return fail("The reader was opened for interleaved sound.");
    return readInto(reinterpret_cast<std::uint8_t* const*>(channels), frameCount);
}

// The private steps, kept as free functions over the state.
namespace {

void resetDecoding(State& state) {
    avcodec_flush_buffers(state.decoder.get());
    state.resampler.reset();
    av_audio_fifo_reset(state.fifo.get());
    state.hasTimeline = false;
    state.hasPendingFrame = false;
    state.expectedSourcePts = AV_NOPTS_VALUE;
    state.inputEnded = false;
    state.decoderDrained = false;
}

Status seekSource(State& state, std::int64_t frame, std::int32_t rate) {
    resetDecoding(state);
    state.freshFromStart = false;
    const double seconds = static_cast<double>(frame) / rate - prerollSeconds;
    const MediaTime target = MediaTime::fromSeconds(std::max(0.0, seconds), AV_TIME_BASE);
    std::int64_t ticks = detail::streamTicksFromMediaTime(target, state.origin, state.timeBase);
    if (ticks == AV_NOPTS_VALUE) return fail("The time is out of range.");
    AVFormatContext* format = state.input->format();
    int sought = av_seek_frame(format, state.streamIndex, ticks, AVSEEK_FLAG_BACKWARD);
    if (sought < 0)
        sought = av_seek_frame(format, state.streamIndex, ticks, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    if (sought < 0) sought = avformat_seek_file(format, state.streamIndex, INT64_MIN, INT64_MIN, ticks, 0);
    if (sought < 0) return fail("The sound cannot be positioned (" + detail::ffmpegErrorText(sought) + ").");
    return {};
}

Status configureResampler(State& state, const AVFrame* frame, const PcmFormat& format) {
    AVChannelLayout inputLayout{};
    if (frame->ch_layout.nb_channels <= 0) return fail("The sound has frames without channels.");
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&frame->ch_layout) == 0)
        av_channel_layout_default(&inputLayout, frame->ch_layout.nb_channels);
    else if (av_channel_layout_copy(&inputLayout, &frame->ch_layout) < 0)
        return fail("Not enough memory to read the sound.");
    AVChannelLayout outputLayout{};
    av_channel_layout_default(&outputLayout, format.channelCount);

    SwrContext* context = nullptr;
    const int allocated = swr_alloc_set_opts2(
        &context, &outputLayout, outputSampleFormat(format), format.sampleRate, &inputLayout,
        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    detail::SwrPtr resampler(context);
    const int inputChannels = inputLayout.nb_channels;
    av_channel_layout_uninit(&outputLayout);
    if (allocated < 0 || !resampler) {
        av_channel_layout_uninit(&inputLayout);
        return fail("The sound's format cannot be converted.");
    }
    // Mono fills every channel at full level; a mono output is the plain mean of the sources.
    if (inputChannels == 1 || format.channelCount == 1) {
        std::vector<double> matrix(static_cast<std::size_t>(format.channelCount) * inputChannels);
        for (int out = 0; out < format.channelCount; ++out)
            for (int in = 0; in < inputChannels; ++in)
                matrix[static_cast<std::size_t>(out) * inputChannels + in] =
                    inputChannels == 1 ? 1.0 : 1.0 / inputChannels;
        if (swr_set_matrix(resampler.get(), matrix.data(), inputChannels) < 0) {
            av_channel_layout_uninit(&inputLayout);
            return fail("The sound's channels cannot be converted.");
        }
    }
    if (swr_init(resampler.get()) < 0) {
        av_channel_layout_uninit(&inputLayout);
        return fail("The sound's format cannot be converted.");
    }
    state.resampler = std::move(resampler);
    av_channel_layout_uninit(&state.resamplerInputLayout);
    state.resamplerInputLayout = inputLayout;
    state.resamplerInputRate = frame->sample_rate;
    state.resamplerInputFormat = frame->format;
    return {};
}

bool resamplerMatches(const State& state, const AVFrame* frame) {
    return state.resampler && frame->sample_rate == state.resamplerInputRate &&
           frame->format == state.resamplerInputFormat &&
           frame->ch_layout.nb_channels == state.resamplerInputLayout.nb_channels;
}

// Runs samples (or, with no frame, the resampler's remainder) through the resampler into the fifo.
Status convertIntoFifo(State& state, const AVFrame* frame, const PcmFormat& format) {
    if (!state.resampler) return {};
    const int inputSamples = frame ? frame->nb_samples : 0;
    const int capacity = swr_get_out_samples(state.resampler.get(), inputSamples);
    if (capacity < 0) return fail("The sound cannot be converted.");
    if (capacity == 0) return {};
    const std::size_t planes = format.bufferCount();
    const std::size_t planeBytes = static_cast<std::size_t>(capacity) * format.bytesPerFrameInBuffer();
    state.scratch.resize(planes * planeBytes);
    state.scratchPlanes.resize(planes);
    for (std::size_t i = 0; i < planes; ++i)
        state.scratchPlanes[i] = state.scratch.data() + i * planeBytes;
    const int converted =
        swr_convert(state.resampler.get(), state.scratchPlanes.data(), capacity,
                    frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr, inputSamples);
    if (converted < 0)
        return fail("The sound cannot be converted (" + detail::ffmpegErrorText(converted) + ").");
    if (converted == 0) return {};
    if (av_audio_fifo_write(state.fifo.get(), reinterpret_cast<void**>(state.scratchPlanes.data()),
                            converted) != converted)
        return fail("Not enough memory to read the sound.");
    return {};
}

Status flushResampler(State& state, const PcmFormat& format) {
    if (!state.resampler) return {};
    for (int guard = 0; guard < 64; ++guard) {
        const int before = av_audio_fifo_size(state.fifo.get());
        if (Status converted = convertIntoFifo(state, nullptr, format); !converted) return converted;
        if (av_audio_fifo_size(state.fifo.get()) == before) break;
    }
    state.resampler.reset();
    return {};
}

// Takes one decoded frame into the fifo, or keeps it pending when it starts a new stretch while
// the fifo still holds the old one. Returns whether the frame was taken.
Result<bool> acceptFrame(State& state, AVFrame* frame, const PcmFormat& format) {
    const std::int64_t pts = frame->best_effort_timestamp;
    std::int64_t startFrame = AV_NOPTS_VALUE;
    if (pts != AV_NOPTS_VALUE && state.origin != AV_NOPTS_VALUE)
        startFrame =
            framesFromTicks(pts - std::clamp<std::int64_t>(state.origin, INT64_MIN / 4, INT64_MAX / 4),
                            state.timeBase, format.sampleRate);

    bool discontinuous = !state.hasTimeline || !resamplerMatches(state, frame);
    if (!discontinuous && pts != AV_NOPTS_VALUE && state.expectedSourcePts != AV_NOPTS_VALUE) {
        const double jumpSeconds =
            static_cast<double>(pts - state.expectedSourcePts) * state.timeBase.num / state.timeBase.den;
        discontinuous = std::fabs(jumpSeconds) > discontinuitySeconds;
    }
    if (discontinuous && state.hasTimeline) {
        if (Status flushed = flushResampler(state, format); !flushed) return flushed.asFailure();
        if (av_audio_fifo_size(state.fifo.get()) > 0) return false; // later, once the fifo is read
    }
    if (discontinuous) {
        const std::int64_t fifoEnd = state.fifoStart + av_audio_fifo_size(state.fifo.get());
        state.fifoStart = startFrame != AV_NOPTS_VALUE ? startFrame : fifoEnd;
        state.hasTimeline = true;
        if (!resamplerMatches(state, frame))
            if (Status configured = configureResampler(state, frame, format); !configured)
                return configured.asFailure();
    }
    if (pts != AV_NOPTS_VALUE && frame->sample_rate > 0) {
        const std::int64_t lengthTicks =
            av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate}, state.timeBase);
        state.expectedSourcePts = pts + lengthTicks;
    } else {
        state.expectedSourcePts = AV_NOPTS_VALUE;
    }
    if (Status converted = convertIntoFifo(state, frame, format); !converted) return converted.asFailure();
    return true;
}

// Decodes until the fifo grew or the input is over. Returns false when nothing more can come.
Result<bool> decodeMore(State& state, const PcmFormat& format) {
    if (state.hasPendingFrame) {
        auto taken = acceptFrame(state, state.pendingFrame.get(), format);
        if (!taken) return taken.asFailure();
        if (*taken) {
            av_frame_unref(state.pendingFrame.get());
            state.hasPendingFrame = false;
        }
        return true;
    }
    if (state.decoderDrained) return false;
    AVFormatContext* formatContext = state.input->format();
    for (;;) {
        const int received = avcodec_receive_frame(state.decoder.get(), state.frame.get());
        if (received == 0) {
            auto taken = acceptFrame(state, state.frame.get(), format);
            if (!taken) {
                av_frame_unref(state.frame.get());
                return taken.asFailure();
            }
            if (!*taken) {
                av_frame_move_ref(state.pendingFrame.get(), state.frame.get());
                state.hasPendingFrame = true;
            }
            av_frame_unref(state.frame.get());
            return true;
        }
        if (received == AVERROR_EOF) {
            state.decoderDrained = true;
            if (Status flushed = flushResampler(state, format); !flushed) return flushed.asFailure();
            return av_audio_fifo_size(state.fifo.get()) > 0;
        }
        if (received != AVERROR(EAGAIN)) {
            logOnce("media.pcm.decode", "A sound frame could not be decoded; it is skipped.");
            continue;
        }
        if (state.inputEnded) {
            // The decoder wants input after the end was sent: treat as drained.
            state.decoderDrained = true;
            return av_audio_fifo_size(state.fifo.get()) > 0;
        }
        const int readResult = av_read_frame(formatContext, state.packet.get());
        if (readResult < 0) {
            state.inputEnded = true;
            avcodec_send_packet(state.decoder.get(), nullptr);
            continue;
        }
        if (state.packet->stream_index == state.streamIndex) {
            const int sent = avcodec_send_packet(state.decoder.get(), state.packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                logOnce("media.pcm.packet", "A damaged sound packet is skipped.");
        }
        av_packet_unref(state.packet.get());
    }
}

} // namespace

Result<std::size_t> PcmReader::readInto(std::uint8_t* const* buffers, std::size_t frameCount) {
    State& state = *state_;
    if (endFrame_ >= 0) {
        if (position_ >= endFrame_) return std::size_t{0};
        frameCount = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(frameCount), endFrame_ - position_));
    }
    if (state.needsSeek) {
        if (Status sought = seekSource(state, position_, format_.sampleRate); !sought)
            return sought.asFailure();
        state.needsSeek = false;
    }
    const std::size_t planes = format_.bufferCount();
    const std::size_t frameBytes = format_.bytesPerFrameInBuffer();
    std::vector<void*> targets(planes);
    std::size_t produced = 0;
    while (produced < frameCount) {
        AVAudioFifo* fifo = state.fifo.get();
        const std::int64_t fifoSize = av_audio_fifo_size(fifo);
        if (state.hasTimeline && fifoSize > 0 && state.fifoStart < position_) {
            const std::int64_t stale = std::min(fifoSize, position_ - state.fifoStart);
            av_audio_fifo_drain(fifo, static_cast<int>(stale));
            state.fifoStart += stale;
            continue;
        }
        const std::size_t wanted = frameCount - produced;
        if (state.hasTimeline && fifoSize > 0 && state.fifoStart == position_) {
            const auto count =
                static_cast<int>(std::min<std::int64_t>(fifoSize, static_cast<std::int64_t>(wanted)));
            for (std::size_t i = 0; i < planes; ++i)
                targets[i] = buffers[i] + produced * frameBytes;
            if (av_audio_fifo_read(fifo, targets.data(), count) != count)
                return fail("The sound could not be read.");
            state.fifoStart += count;
            position_ += count;
            produced += static_cast<std::size_t>(count);
            continue;
        }
        if (state.hasTimeline && fifoSize > 0 && state.fifoStart > position_) {
            // Before the next sound: silence.
            const std::size_t silent = static_cast<std::size_t>(
                std::min<std::int64_t>(state.fifoStart - position_, static_cast<std::int64_t>(wanted)));
            for (std::size_t i = 0; i < planes; ++i)
                std::memset(buffers[i] + produced * frameBytes, 0, silent * frameBytes);
            position_ += static_cast<std::int64_t>(silent);
            produced += silent;
            continue;
        }
        auto more = decodeMore(state, format_);
        if (!more) return more.asFailure();
        if (!*more && av_audio_fifo_size(fifo) == 0 && !state.hasPendingFrame) break;
    }
    return produced;
}

} // namespace vtl
