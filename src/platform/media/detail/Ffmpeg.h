#pragma once
// FFmpeg for the media library's own .cpp files only: the C headers, owning handles and the
// conversions between stream ticks and media times that every reader and writer shares.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/media/MediaTime.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vtl::detail {

// Keeps the library's own log quiet (once per process) unless VISTREL_MEDIA_LOG is set.
void quietLibraryLog();

// FFmpeg's text for an error code.
std::string ffmpegErrorText(int code);

struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwsDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct SwrDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Ticks of a time base as a media time (exact while ticks × num fits); invalid when it does not
// or the base is unusable.
MediaTime mediaTimeFromTicks(std::int64_t ticks, AVRational timeBase);
// A media time in ticks of a time base, rounded down (Rounding::Down) or to nearest; nullopt-like
// AV_NOPTS_VALUE when it does not fit.
std::int64_t ticksFromMediaTime(MediaTime time, AVRational timeBase,
                                MediaTime::Rounding rounding = MediaTime::Rounding::Down);

bool isUsableTimeBase(AVRational timeBase);

// A file's origin (microseconds) in ticks of a stream's time base, rounded to nearest;
// AV_NOPTS_VALUE when the base is unusable.
std::int64_t originTicks(std::int64_t originMicroseconds, AVRational timeBase);
// Stream ticks as media time (measured from the file's origin); invalid when out of range.
MediaTime mediaTimeFromStreamTicks(std::int64_t ticks, std::int64_t originTicks, AVRational timeBase);
// Back again: media time to stream ticks; AV_NOPTS_VALUE when out of range.
std::int64_t streamTicksFromMediaTime(MediaTime time, std::int64_t originTicks, AVRational timeBase,
                                      MediaTime::Rounding rounding = MediaTime::Rounding::Down);

// Picture sides this system decodes and encodes.
constexpr int maximumPictureSide = 16384;

} // namespace vtl::detail
