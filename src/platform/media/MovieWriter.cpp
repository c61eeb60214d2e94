#include "platform/media/MovieWriter.h"

#include "platform/media/Tx3gSampleEntry.h"
#include "platform/media/detail/Ffmpeg.h"
#include "platform/media/detail/MovieFileSink.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace vtl {

namespace detail {

namespace {

constexpr int ioBufferBytes = 64 * 1024;
// PCM encoders take any frame count; the writer hands them this many at a time.
constexpr int pcmFrameSamples = 4096;
constexpr AVRational chapterTimeBase{1, 600};
constexpr AVRational textTimeBase{1, 600};
constexpr AVRational passthroughTimeBase{1, 90000};

enum class TrackKind { EncodedVideo, PassthroughVideo, Audio, Text };

void releaseNothing(void*, std::uint8_t*) {}

} // namespace

struct WriterTrack {
    TrackKind kind = TrackKind::Text;
    VideoTrackSettings video;
    AudioTrackSettings audio;
    TextTrackSettings text;
    std::string languageCode;
    std::string title;

    AVStream* stream = nullptr;
    CodecContextPtr encoder;
    AVRational sourceTimeBase{1, 1}; // what packets are stamped in before rescaling
    // Video.
    SwsContext* scaler = nullptr;
    FramePtr frame;
    std::int64_t lastPts = AV_NOPTS_VALUE;
    // Sound.
    SwrPtr converter;
    AudioFifoPtr fifo;
    int frameSamples = 0;
    std::int64_t samplesEncoded = 0;
    std::vector<std::uint8_t> scratch;

    ~WriterTrack() { sws_freeContext(scaler); }
};

struct MovieWriterState {
    MovieWriterOptions options;
    const AVOutputFormat* outputFormat = nullptr;
    std::vector<std::unique_ptr<WriterTrack>> tracks;
    struct Chapter {
        std::string title;
        std::int64_t start600 = 0;
        std::int64_t end600 = -1; // -1: up to the next chapter
    };
    std::vector<Chapter> chapters;
    std::unique_ptr<MovieFileSink> sink;
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    PacketPtr packet{av_packet_alloc()};
    bool started = false;
    bool finished = false;
    std::string failure;
    int threads = 1;

    void closeContainer() {
        if (format) {
            avformat_free_context(format);
            format = nullptr;
        }
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
    ~MovieWriterState() { closeContainer(); }
};

} // namespace detail

using detail::chapterTimeBase;
using detail::passthroughTimeBase;
using detail::pcmFrameSamples;
using detail::textTimeBase;
using detail::TrackKind;
using detail::WriterTrack;

namespace {

const char* muxerName(MovieContainer container) {
    switch (container) {
    case MovieContainer::QuickTime:
        return "mov";
    case MovieContainer::Mpeg4Video:
    case MovieContainer::Mpeg4Audio:
        return "ipod";
    case MovieContainer::Mpeg4:
        return "mp4";
    case MovieContainer::Aiff:
        return "aiff";
    case MovieContainer::FromExtension:
        break;
    }
    return nullptr;
}

std::optional<MovieContainer> containerFromExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::nullopt;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (extension == "mov") return MovieContainer::QuickTime;
    if (extension == "m4v") return MovieContainer::Mpeg4Video;
    if (extension == "mp4") return MovieContainer::Mpeg4;
    if (extension == "m4a") return MovieContainer::Mpeg4Audio;
    if (extension == "aif" || extension == "aiff") return MovieContainer::Aiff;
    return std::nullopt;
}

AVSampleFormat inputSampleFormat(const PcmFormat& format) {
    const bool planar = format.layout == PcmLayout::Planar;
    if (format.sampleType == PcmSampleType::Int16) return planar ? AV_SAMPLE_FMT_S16P : AV_SAMPLE_FMT_S16;
    return planar ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_FLT;
}

AVCodecID audioCodecId(AudioCodec codec) {
    switch (codec) {
    case AudioCodec::Aac:
        return AV_CODEC_ID_AAC;
    case AudioCodec::PcmInt16BigEndian:
        return AV_CODEC_ID_PCM_S16BE;
    case AudioCodec::PcmInt16LittleEndian:
        return AV_CODEC_ID_PCM_S16LE;
    }
    return AV_CODEC_ID_NONE;
}

std::string containerLabel(const std::string& muxer) {
    return muxer == "ipod" ? "MPEG-4" : muxer;
}

void setTrackMetadata(AVStream* stream, const std::string& languageCode, const std::string& title) {
    if (!languageCode.empty()) av_dict_set(&stream->metadata, "language", languageCode.c_str(), 0);
    if (!title.empty()) av_dict_set(&stream->metadata, "title", title.c_str(), 0);
}

} // namespace

Result<std::unique_ptr<MovieWriter>> MovieWriter::create(const std::string& targetPath,
                                                         MovieWriterOptions options) {
    detail::quietLibraryLog();
    MovieContainer container = options.container;
    if (container == MovieContainer::FromExtension) {
        const auto found = containerFromExtension(targetPath);
        if (!found)
            return fail("The movie's file name has no extension this program writes (.mov, .m4v, .mp4, .m4a, "
                        ".aiff).");
        container = *found;
    }
    const AVOutputFormat* outputFormat = av_guess_format(muxerName(container), nullptr, nullptr);
    if (!outputFormat) return fail("This movie format cannot be written here.");

    auto sink = detail::MovieFileSink::createBeside(targetPath, options.beforeWrite);
    if (!sink) return sink.asFailure();

    std::unique_ptr<MovieWriter> writer(new MovieWriter);
    writer->targetPath_ = targetPath;
    MutexLock lock(writer->mutex_);
    writer->state_ = std::make_unique<detail::MovieWriterState>();
    detail::MovieWriterState& state = *writer->state_;
    state.options = std::move(options);
    state.outputFormat = outputFormat;
    state.sink = std::move(*sink);
    state.threads = state.options.threadCount > 0
                        ? state.options.threadCount
                        : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    if (!state.packet) return fail("Not enough memory to write the movie.");
    return writer;
}

MovieWriter::~MovieWriter() {
    cancel();
}

Status MovieWriter::failWith(std::string sentence) {
    if (state_ && state_->failure.empty()) {
        // The file's own failure says more than the library's error code.
        state_->failure =
            state_->sink && !state_->sink->failure().empty() ? state_->sink->failure() : sentence;
    }
    discard();
    return fail(state_ ? state_->failure : sentence);
}

void MovieWriter::discard() {
    if (!state_) return;
    state_->closeContainer();
    if (state_->sink) state_->sink->discard();
}

Status MovieWriter::usable(std::size_t track) const {
    if (!state_->failure.empty()) return fail(state_->failure);
    if (state_->finished) return fail("The movie is already finished.");
    if (!state_->started) return fail("The movie has not been started.");
    if (track >= state_->tracks.size()) return fail("The movie has no track with that number.");
    return {};
}

Result<std::size_t> MovieWriter::addVideoTrack(const VideoTrackSettings& settings) {
    MutexLock lock(mutex_);
    if (state_->started || !state_->failure.empty()) return fail("Tracks are added before the movie starts.");
    if (settings.widthPixels <= 0 || settings.heightPixels <= 0 ||
        settings.widthPixels > detail::maximumPictureSide ||
        settings.heightPixels > detail::maximumPictureSide)
        return fail("The movie's picture size is not supported.");
    if (settings.frameRateNumerator <= 0 || settings.frameRateDenominator <= 0)
        return fail("The movie's frame rate is not usable.");
    const bool h264 = settings.codec == VideoCodec::H264 || settings.codec == VideoCodec::H264Passthrough;
    if (h264 && (settings.widthPixels % 2 != 0 || settings.heightPixels % 2 != 0))
        return fail("H.264 pictures need an even width and height.");
    const AVCodecID codec = h264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_PRORES;
    if (avformat_query_codec(state_->outputFormat, codec, FF_COMPLIANCE_NORMAL) != 1)
        return fail("A " + containerLabel(state_->outputFormat->name) + " file cannot hold " +
                    (h264 ? "H.264" : "ProRes") + " video.");
    if (settings.codec == VideoCodec::H264Passthrough && settings.codecConfiguration.empty())
        return fail("H.264 packets need their decoder configuration.");
    auto track = std::make_unique<WriterTrack>();
    track->kind =
        settings.codec == VideoCodec::H264Passthrough ? TrackKind::PassthroughVideo : TrackKind::EncodedVideo;
    track->video = settings;
    track->languageCode = settings.languageCode;
    track->title = settings.title;
    state_->tracks.push_back(std::move(track));
    return state_->tracks.size() - 1;
}

Result<std::size_t> MovieWriter::addAudioTrack(const AudioTrackSettings& settings) {
    MutexLock lock(mutex_);
    if (state_->started || !state_->failure.empty()) return fail("Tracks are added before the movie starts.");
    if (!settings.inputFormat().isUsable()) return fail("The sound format is not usable.");
    if (avformat_query_codec(state_->outputFormat, audioCodecId(settings.codec), FF_COMPLIANCE_NORMAL) != 1)
        return fail("A " + containerLabel(state_->outputFormat->name) +
                    " file cannot hold this kind of sound.");
    if (settings.codec == AudioCodec::Aac && settings.channelCount > 8)
        return fail("AAC sound has at most 8 channels.");
    auto track = std::make_unique<WriterTrack>();
    track->kind = TrackKind::Audio;
    track->audio = settings;
    track->languageCode = settings.languageCode;
    track->title = settings.title;
    state_->tracks.push_back(std::move(track));
    return state_->tracks.size() - 1;
}

Result<std::size_t> MovieWriter::addTextTrack(const TextTrackSettings& settings) {
    MutexLock lock(mutex_);
    if (state_->started || !state_->failure.empty()) return fail("Tracks are added before the movie starts.");
    if (avformat_query_codec(state_->outputFormat, AV_CODEC_ID_MOV_TEXT, FF_COMPLIANCE_NORMAL) != 1)
        return fail("A " + containerLabel(state_->outputFormat->name) + " file cannot hold text tracks.");
    if (settings.sampleEntry.empty() || settings.sampleEntry.size() > 65536)
        return fail("A text track needs its sample description.");
    auto track = std::make_unique<WriterTrack>();
    track->kind = TrackKind::Text;
    track->text = settings;
    track->languageCode = settings.languageCode;
    track->title = settings.title;
    state_->tracks.push_back(std::move(track));
    return state_->tracks.size() - 1;
}

Status MovieWriter::addChapter(const std::string& title, MediaTime start, MediaTime end) {
    MutexLock lock(mutex_);
    if (state_->started || !state_->failure.empty())
        return fail("Chapters are added before the movie starts.");
    const MediaTime start600 = start.convertedToScale(600, MediaTime::Rounding::Down);
    if (!start600.isValid() || start600.value < 0) return fail("A chapter needs a start time of 0 or later.");
    std::int64_t end600 = -1;
    if (end.isValid()) {
        const MediaTime converted = end.convertedToScale(600, MediaTime::Rounding::Down);
        if (!converted.isValid() || converted.value <= start600.value)
            return fail("A chapter has to end after it starts.");
        end600 = converted.value;
    }
    state_->chapters.push_back({title, start600.value, end600});
    return {};
}

namespace {

Status openVideoEncoder(WriterTrack& track, AVFormatContext* format, int threads) {
    const VideoTrackSettings& settings = track.video;
    const bool h264 = settings.codec == VideoCodec::H264;
    const AVCodec* codec = avcodec_find_encoder_by_name(h264 ? "libx264" : "prores_ks");
    if (!codec) return fail(std::string("The ") + (h264 ? "H.264" : "ProRes") + " encoder is not available.");
    track.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = track.encoder.get();
    if (!context) return fail("Not enough memory to write the movie.");
    context->width = settings.widthPixels;
    context->height = settings.heightPixels;
    context->time_base = AVRational{settings.frameRateDenominator, settings.frameRateNumerator};
    context->framerate = AVRational{settings.frameRateNumerator, settings.frameRateDenominator};
    context->sample_aspect_ratio = AVRational{1, 1};
    // Decoders take the matrix from the stream (ProRes from every frame): tag it everywhere.
    context->colorspace = AVCOL_SPC_BT709;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;
    context->color_range = AVCOL_RANGE_MPEG;
    context->thread_count = threads;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (h264) {
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        if (settings.keyFrameInterval > 0) context->gop_size = settings.keyFrameInterval;
        av_opt_set(context->priv_data, "preset", settings.preset.c_str(), 0);
        if (settings.bitRate > 0)
            context->bit_rate = settings.bitRate;
        else
            av_opt_set_double(context->priv_data, "crf", settings.constantRateFactor, 0);
    } else {
        int profile = settings.proResProfile;
        if (profile < 0)
            profile = settings.codec == VideoCodec::ProRes4444 ? FF_PROFILE_PRORES_4444
                                                               : FF_PROFILE_PRORES_STANDARD;
        if (profile > FF_PROFILE_PRORES_XQ) return fail("The ProRes profile is not known.");
        context->pix_fmt =
            profile >= FF_PROFILE_PRORES_4444 ? AV_PIX_FMT_YUVA444P10LE : AV_PIX_FMT_YUV422P10LE;
        context->profile = profile;
        av_opt_set_int(context->priv_data, "profile", profile, 0);
    }
    if (const int opened = avcodec_open2(context, codec, nullptr); opened < 0)
        return fail(std::string("The ") + (h264 ? "H.264" : "ProRes") + " encoder could not start (" +
                    detail::ffmpegErrorText(opened) + ").");
    track.stream = avformat_new_stream(format, nullptr);
    if (!track.stream || avcodec_parameters_from_context(track.stream->codecpar, context) < 0)
        return fail("Not enough memory to write the movie.");
    track.stream->time_base = context->time_base;
    track.stream->avg_frame_rate = context->framerate;
    track.sourceTimeBase = context->time_base;

    track.scaler = sws_alloc_context();
    if (!track.scaler) return fail("Not enough memory to write the movie.");
    av_opt_set_int(track.scaler, "srcw", settings.widthPixels, 0);
    av_opt_set_int(track.scaler, "srch", settings.heightPixels, 0);
    av_opt_set_int(track.scaler, "src_format", AV_PIX_FMT_BGRA, 0);
    av_opt_set_int(track.scaler, "dstw", settings.widthPixels, 0);
    av_opt_set_int(track.scaler, "dsth", settings.heightPixels, 0);
    av_opt_set_int(track.scaler, "dst_format", context->pix_fmt, 0);
    av_opt_set_int(track.scaler, "sws_flags", SWS_BICUBIC, 0);
    av_opt_set_int(track.scaler, "threads", threads, 0);
    if (sws_init_context(track.scaler, nullptr, nullptr) < 0)
        return fail("The pictures cannot be converted for the encoder.");
    sws_setColorspaceDetails(track.scaler, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
    track.frame.reset(av_frame_alloc());
    if (!track.frame) return fail("Not enough memory to write the movie.");
    track.frame->format = context->pix_fmt;
    track.frame->width = settings.widthPixels;
    track.frame->height = settings.heightPixels;
    track.frame->colorspace = AVCOL_SPC_BT709;
    track.frame->color_primaries = AVCOL_PRI_BT709;
    track.frame->color_trc = AVCOL_TRC_BT709;
    track.frame->color_range = AVCOL_RANGE_MPEG;
    if (av_frame_get_buffer(track.frame.get(), 0) < 0) return fail("Not enough memory to write the movie.");
    return {};
}

Status addPassthroughVideo(WriterTrack& track, AVFormatContext* format) {
    track.stream = avformat_new_stream(format, nullptr);
    if (!track.stream) return fail("Not enough memory to write the movie.");
    AVCodecParameters* parameters = track.stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = AV_CODEC_ID_H264;
    parameters->width = track.video.widthPixels;
    parameters->height = track.video.heightPixels;
    const auto& configuration = track.video.codecConfiguration;
    parameters->extradata =
        static_cast<std::uint8_t*>(av_mallocz(configuration.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) return fail("Not enough memory to write the movie.");
    std::memcpy(parameters->extradata, configuration.data(), configuration.size());
    parameters->extradata_size = static_cast<int>(configuration.size());
    track.stream->time_base = passthroughTimeBase;
    track.stream->avg_frame_rate =
        AVRational{track.video.frameRateNumerator, track.video.frameRateDenominator};
    track.sourceTimeBase = passthroughTimeBase;
    return {};
}

Status openAudioEncoder(WriterTrack& track, AVFormatContext* format) {
    const AudioTrackSettings& settings = track.audio;
    const AVCodec* codec = avcodec_find_encoder(audioCodecId(settings.codec));
    if (!codec) return fail("The sound encoder is not available.");
    track.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* context = track.encoder.get();
    if (!context) return fail("Not enough memory to write the movie.");
    context->sample_rate = settings.sampleRate;
    av_channel_layout_default(&context->ch_layout, settings.channelCount);
    context->sample_fmt = settings.codec == AudioCodec::Aac ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    context->time_base = AVRational{1, settings.sampleRate};
    if (settings.codec == AudioCodec::Aac)
        context->bit_rate = settings.bitRate > 0 ? settings.bitRate : 64000LL * settings.channelCount;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int opened = avcodec_open2(context, codec, nullptr); opened < 0)
        return fail("The sound encoder could not start (" + detail::ffmpegErrorText(opened) + ").");
    track.stream = avformat_new_stream(format, nullptr);
    if (!track.stream || avcodec_parameters_from_context(track.stream->codecpar, context) < 0)
        return fail("Not enough memory to write the movie.");
    track.stream->time_base = context->time_base;
    track.sourceTimeBase = context->time_base;
    track.frameSamples = context->frame_size > 0 ? context->frame_size : pcmFrameSamples;

    const PcmFormat input = settings.inputFormat();
    SwrContext* converter = nullptr;
    if (swr_alloc_set_opts2(&converter, &context->ch_layout, context->sample_fmt, settings.sampleRate,
                            &context->ch_layout, inputSampleFormat(input), settings.sampleRate, 0,
                            nullptr) < 0 ||
        !converter)
        return fail("The sound cannot be converted for the encoder.");
    track.converter.reset(converter);
    if (swr_init(converter) < 0) return fail("The sound cannot be converted for the encoder.");
    track.fifo.reset(av_audio_fifo_alloc(context->sample_fmt, settings.channelCount, track.frameSamples * 2));
    track.frame.reset(av_frame_alloc());
    if (!track.fifo || !track.frame) return fail("Not enough memory to write the movie.");
    return {};
}

Status addTextStream(WriterTrack& track, AVFormatContext* format) {
    track.stream = avformat_new_stream(format, nullptr);
    if (!track.stream) return fail("Not enough memory to write the movie.");
    AVCodecParameters* parameters = track.stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_SUBTITLE;
    parameters->codec_id = AV_CODEC_ID_MOV_TEXT;
    parameters->codec_tag = MKTAG('t', 'x', '3', 'g');
    parameters->width = track.text.widthPixels;
    parameters->height = track.text.heightPixels;
    const auto& entry = track.text.sampleEntry;
    parameters->extradata =
        static_cast<std::uint8_t*>(av_mallocz(entry.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) return fail("Not enough memory to write the movie.");
    std::memcpy(parameters->extradata, entry.data(), entry.size());
    parameters->extradata_size = static_cast<int>(entry.size());
    track.stream->time_base = textTimeBase;
    track.sourceTimeBase = textTimeBase;
    return {};
}

// Packets stamped in the source base go out in the stream's base. x264 hands out packets without a duration:
// one frame it is.
Status writePacket(detail::MovieWriterState& state, WriterTrack& track, AVPacket* packet) {
    if (packet->duration <= 0 && track.kind == TrackKind::EncodedVideo) packet->duration = 1;
    packet->stream_index = track.stream->index;
    av_packet_rescale_ts(packet, track.sourceTimeBase, track.stream->time_base);
    const int written = av_interleaved_write_frame(state.format, packet);
    av_packet_unref(packet);
    if (written < 0)
        return fail("The movie could not be written (" + detail::ffmpegErrorText(written) + ").");
    if (state.format->pb && state.format->pb->error < 0)
        return fail("The movie could not be written (" + detail::ffmpegErrorText(state.format->pb->error) +
                    ").");
    return {};
}

// Sends a frame (or, with none, the end) and writes every packet the encoder hands back.
Status encode(detail::MovieWriterState& state, WriterTrack& track, const AVFrame* frame) {
    AVCodecContext* context = track.encoder.get();
    const int sent = avcodec_send_frame(context, frame);
    if (sent < 0 && !(sent == AVERROR_EOF && !frame))
        return fail("The encoder refused a " +
                    std::string(track.kind == TrackKind::Audio ? "sound" : "picture") + " frame (" +
                    detail::ffmpegErrorText(sent) + ").");
    for (;;) {
        const int received = avcodec_receive_packet(context, state.packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return {};
        if (received < 0) return fail("The encoder failed (" + detail::ffmpegErrorText(received) + ").");
        if (Status written = writePacket(state, track, state.packet.get()); !written) return written;
    }
}

Status encodeAudioFromFifo(detail::MovieWriterState& state, WriterTrack& track, int samples) {
    AVFrame* frame = track.frame.get();
    av_frame_unref(frame);
    frame->nb_samples = samples;
    frame->format = track.encoder->sample_fmt;
    frame->sample_rate = track.encoder->sample_rate;
    if (av_channel_layout_copy(&frame->ch_layout, &track.encoder->ch_layout) < 0 ||
        av_frame_get_buffer(frame, 0) < 0)
        return fail("Not enough memory to write the movie.");
    if (av_audio_fifo_read(track.fifo.get(), reinterpret_cast<void**>(frame->data), samples) != samples)
        return fail("The sound could not be prepared for the encoder.");
    frame->pts = track.samplesEncoded;
    track.samplesEncoded += samples;
    return encode(state, track, frame);
}

} // namespace

Status MovieWriter::start() {
    MutexLock lock(mutex_);
    detail::MovieWriterState& state = *state_;
    if (!state.failure.empty()) return fail(state.failure);
    if (state.started) return fail("The movie was started already.");
    if (state.tracks.empty()) return failWith("A movie needs at least one track.");
    if (state.outputFormat == av_guess_format("aiff", nullptr, nullptr) &&
        (state.tracks.size() != 1 || !state.chapters.empty()))
        return failWith("An AIFF file holds exactly one sound track.");

    if (avformat_alloc_output_context2(&state.format, state.outputFormat, nullptr, nullptr) < 0 ||
        !state.format)
        return failWith("Not enough memory to write the movie.");
    for (auto& track : state.tracks) {
        Status made;
        switch (track->kind) {
        case TrackKind::EncodedVideo:
            made = openVideoEncoder(*track, state.format, state.threads);
            break;
        case TrackKind::PassthroughVideo:
            made = addPassthroughVideo(*track, state.format);
            break;
        case TrackKind::Audio:
            made = openAudioEncoder(*track, state.format);
            break;
        case TrackKind::Text:
            made = addTextStream(*track, state.format);
            break;
        }
        if (!made) return failWith(made.error());
        setTrackMetadata(track->stream, track->languageCode, track->title);
    }

    // Chapters have to exist before the header; their ends are set when the movie's length is known.
    std::stable_sort(state.chapters.begin(), state.chapters.end(),
                     [](const auto& a, const auto& b) { return a.start600 < b.start600; });
    for (std::size_t i = 0; i < state.chapters.size(); ++i) {
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return failWith("Not enough memory to write the movie.");
        chapter->id = static_cast<std::int64_t>(i) + 1;
        chapter->time_base = chapterTimeBase;
        chapter->start = state.chapters[i].start600;
        if (state.chapters[i].end600 > chapter->start)
            chapter->end = state.chapters[i].end600;
        else if (i + 1 < state.chapters.size())
            chapter->end = std::max(state.chapters[i + 1].start600, chapter->start + 1);
        else
            chapter->end = chapter->start + 1;
        av_dict_set(&chapter->metadata, "title", state.chapters[i].title.c_str(), 0);
        if (av_dynarray_add_nofree(&state.format->chapters,
                                   reinterpret_cast<int*>(&state.format->nb_chapters), chapter) < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            return failWith("Not enough memory to write the movie.");
        }
    }

    auto* buffer = static_cast<std::uint8_t*>(av_malloc(detail::ioBufferBytes));
    if (buffer)
        state.io =
            avio_alloc_context(buffer, detail::ioBufferBytes, 1, state.sink.get(), nullptr,
                               &detail::MovieFileSink::writeCallback, &detail::MovieFileSink::seekCallback);
    if (!state.io) {
        av_free(buffer);
        return failWith("Not enough memory to write the movie.");
    }
    state.io->seekable = AVIO_SEEKABLE_NORMAL;
    state.format->pb = state.io;
    if (const int written = avformat_write_header(state.format, nullptr); written < 0)
        return failWith("The movie's header could not be written (" + detail::ffmpegErrorText(written) +
                        ").");
    if (state.io->error < 0) return failWith("The movie's header could not be written.");
    state.started = true;
    return {};
}

Status MovieWriter::appendVideoFrame(std::size_t track, const BitmapImage& image, MediaTime time) {
    if (image.isEmpty()) return fail("The picture is empty.");
    return appendVideoFrame(track, image.data(), image.bytesPerRow(), time);
}

Status MovieWriter::appendVideoFrame(std::size_t trackIndex, const std::uint8_t* pixels,
                                     std::size_t bytesPerRow, MediaTime time) {
    MutexLock lock(mutex_);
    if (Status ok = usable(trackIndex); !ok) return ok;
    WriterTrack& track = *state_->tracks[trackIndex];
    if (track.kind != TrackKind::EncodedVideo) return fail("That track takes no pictures.");
    const int width = track.video.widthPixels;
    const int height = track.video.heightPixels;
    if (!pixels || bytesPerRow < static_cast<std::size_t>(width) * 4 || bytesPerRow > (1u << 30) / height)
        return fail("The picture does not have the track's size.");
    const std::int64_t pts =
        detail::ticksFromMediaTime(time, track.sourceTimeBase, MediaTime::Rounding::Nearest);
    if (pts == AV_NOPTS_VALUE || pts < 0) return fail("The picture's time is not usable.");
    if (track.lastPts != AV_NOPTS_VALUE && pts <= track.lastPts)
        return fail("Pictures have to come in increasing time order, one per frame interval.");

    detail::FramePtr source(av_frame_alloc());
    if (!source) return failWith("Not enough memory to write the movie.");
    source->format = AV_PIX_FMT_BGRA;
    source->width = width;
    source->height = height;
    source->data[0] = const_cast<std::uint8_t*>(pixels);
    source->linesize[0] = static_cast<int>(bytesPerRow);
    // The scaler references its source; the caller keeps the pixels.
    source->buf[0] =
        av_buffer_create(const_cast<std::uint8_t*>(pixels), static_cast<int>(bytesPerRow * height),
                         &detail::releaseNothing, nullptr, AV_BUFFER_FLAG_READONLY);
    if (!source->buf[0]) return failWith("Not enough memory to write the movie.");
    AVFrame* frame = track.frame.get();
    if (av_frame_make_writable(frame) < 0) return failWith("Not enough memory to write the movie.");
    if (const int scaled = sws_scale_frame(track.scaler, frame, source.get()); scaled < 0)
        return failWith("A picture could not be converted for the encoder (" +
                        detail::ffmpegErrorText(scaled) + ").");
    frame->pts = pts;
    track.lastPts = pts;
    if (Status encoded = encode(*state_, track, frame); !encoded) return failWith(encoded.error());
    return {};
}

Status MovieWriter::appendVideoPacket(std::size_t trackIndex, const std::uint8_t* bytes, std::size_t size,
                                      MediaTime presentationTime, MediaTime decodeTime, bool keyFrame) {
    MutexLock lock(mutex_);
    if (Status ok = usable(trackIndex); !ok) return ok;
    WriterTrack& track = *state_->tracks[trackIndex];
    if (track.kind != TrackKind::PassthroughVideo) return fail("That track takes no packets.");
    if (!bytes || size == 0 || size > (1u << 30)) return fail("The packet is empty or too large.");
    const std::int64_t pts =
        detail::ticksFromMediaTime(presentationTime, track.sourceTimeBase, MediaTime::Rounding::Nearest);
    const std::int64_t dts =
        decodeTime.isValid()
            ? detail::ticksFromMediaTime(decodeTime, track.sourceTimeBase, MediaTime::Rounding::Nearest)
            : pts;
    if (pts == AV_NOPTS_VALUE || dts == AV_NOPTS_VALUE || dts > pts)
        return fail("The packet's times are not usable.");
    if (track.lastPts != AV_NOPTS_VALUE && dts <= track.lastPts)
        return fail("Packets have to come in increasing decode order.");
    AVPacket* packet = state_->packet.get();
    if (av_new_packet(packet, static_cast<int>(size)) < 0)
        return failWith("Not enough memory to write the movie.");
    std::memcpy(packet->data, bytes, size);
    packet->pts = pts;
    packet->dts = dts;
    if (keyFrame) packet->flags |= AV_PKT_FLAG_KEY;
    track.lastPts = dts;
    if (Status written = writePacket(*state_, track, packet); !written) return failWith(written.error());
    return {};
}

Status MovieWriter::appendAudio(std::size_t trackIndex, const void* const* buffers, std::size_t frameCount) {
    MutexLock lock(mutex_);
    if (Status ok = usable(trackIndex); !ok) return ok;
    WriterTrack& track = *state_->tracks[trackIndex];
    if (track.kind != TrackKind::Audio) return fail("That track takes no sound.");
    if (frameCount == 0) return {};
    if (!buffers || frameCount > (1u << 24)) return fail("The sound buffer is not usable.");
    const int channels = track.audio.channelCount;
    const int count = static_cast<int>(frameCount);
    // Convert into the fifo's format, then encode whole frames.
    const int bytesPerSample = av_get_bytes_per_sample(track.encoder->sample_fmt);
    const bool planar = av_sample_fmt_is_planar(track.encoder->sample_fmt);
    const std::size_t planeBytes = static_cast<std::size_t>(count) * bytesPerSample * (planar ? 1 : channels);
    const int planes = planar ? channels : 1;
    track.scratch.resize(planeBytes * planes);
    std::vector<std::uint8_t*> targets(planes);
    for (int i = 0; i < planes; ++i)
        targets[i] = track.scratch.data() + planeBytes * i;
    const int converted =
        swr_convert(track.converter.get(), targets.data(), count,
                    reinterpret_cast<const std::uint8_t**>(const_cast<const void**>(buffers)), count);
    if (converted < 0) return failWith("The sound could not be converted for the encoder.");
    if (av_audio_fifo_write(track.fifo.get(), reinterpret_cast<void**>(targets.data()), converted) !=
        converted)
        return failWith("Not enough memory to write the movie.");
    while (av_audio_fifo_size(track.fifo.get()) >= track.frameSamples)
        if (Status encoded = encodeAudioFromFifo(*state_, track, track.frameSamples); !encoded)
            return failWith(encoded.error());
    return {};
}

Status MovieWriter::appendText(std::size_t trackIndex, const std::string& utf8Text, MediaTime start,
                               MediaTime duration) {
    MutexLock lock(mutex_);
    if (Status ok = usable(trackIndex); !ok) return ok;
    WriterTrack& track = *state_->tracks[trackIndex];
    if (track.kind != TrackKind::Text) return fail("That track takes no text.");
    const std::int64_t pts =
        detail::ticksFromMediaTime(start, track.sourceTimeBase, MediaTime::Rounding::Down);
    const std::int64_t length =
        detail::ticksFromMediaTime(duration, track.sourceTimeBase, MediaTime::Rounding::Nearest);
    if (pts == AV_NOPTS_VALUE || pts < 0 || length == AV_NOPTS_VALUE || length < 0)
        return fail("The text's times are not usable.");
    if (track.lastPts != AV_NOPTS_VALUE && pts <= track.lastPts)
        return fail("Texts have to come in increasing start order.");
    const std::vector<std::uint8_t> sample = tx3gSample(utf8Text);
    AVPacket* packet = state_->packet.get();
    if (av_new_packet(packet, static_cast<int>(sample.size())) < 0)
        return failWith("Not enough memory to write the movie.");
    std::memcpy(packet->data, sample.data(), sample.size());
    packet->pts = pts;
    packet->dts = pts;
    packet->duration = std::max<std::int64_t>(length, 1);
    packet->flags |= AV_PKT_FLAG_KEY;
    track.lastPts = pts;
    if (Status written = writePacket(*state_, track, packet); !written) return failWith(written.error());
    return {};
}

Status MovieWriter::finish() {
    MutexLock lock(mutex_);
    detail::MovieWriterState& state = *state_;
    if (!state.failure.empty()) return fail(state.failure);
    if (state.finished) return fail("The movie is already finished.");
    if (!state.started) return failWith("The movie was never started.");

    for (auto& track : state.tracks) {
        if (track->kind == TrackKind::Audio) {
            // What is left, then the encoder's own delay.
            for (int left = av_audio_fifo_size(track->fifo.get()); left > 0;
                 left = av_audio_fifo_size(track->fifo.get()))
                if (Status encoded = encodeAudioFromFifo(state, *track, std::min(left, track->frameSamples));
                    !encoded)
                    return failWith(encoded.error());
            if (Status drained = encode(state, *track, nullptr); !drained) return failWith(drained.error());
        } else if (track->kind == TrackKind::EncodedVideo) {
            if (Status drained = encode(state, *track, nullptr); !drained) return failWith(drained.error());
        }
    }

    if (const int written = av_write_trailer(state.format); written < 0)
        return failWith("The movie could not be completed (" + detail::ffmpegErrorText(written) + ").");
    avio_flush(state.io);
    if (state.io->error < 0) return failWith("The movie could not be completed.");
    state.closeContainer();
    if (Status committed = state.sink->commit(targetPath_); !committed) return failWith(committed.error());
    state.finished = true;
    return {};
}

void MovieWriter::cancel() {
    MutexLock lock(mutex_);
    if (!state_ || state_->finished) return;
    if (state_->failure.empty()) state_->failure = "The movie was cancelled.";
    discard();
}

} // namespace vtl
