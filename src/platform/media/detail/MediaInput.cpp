#include "platform/media/detail/MediaInput.h"

#include "platform/media/detail/Ffmpeg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace vtl::detail {

namespace {

// The containers of movies and sounds people have: every file demuxer that reads media streams
// from one file. Playlists, image sequences, device and network inputs stay out: a file must not
// make the media layer open other files or anything but the file itself.
constexpr const char* containerWhitelist =
    "mov,aiff,wav,mp3,caf,aac,flac,matroska,avi,ogg,mpegts,mpeg,asf,au,w64,ac3,eac3,amr,mpegvideo,h264,hevc";
constexpr int memoryBufferBytes = 64 * 1024;

// QuickTime-family headers carry every parameter the media layer needs; probing them would decode
// frames of every stream (tens of milliseconds for large pictures) to learn nothing new.
bool describesItself(const AVFormatContext* format) {
    if (!format->iformat || std::strncmp(format->iformat->name, "mov,", 4) != 0) return false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVCodecParameters* parameters = stream->codecpar;
        if (parameters->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC) &&
            (parameters->width <= 0 || parameters->height <= 0 || stream->r_frame_rate.num <= 0 ||
             stream->r_frame_rate.den <= 0))
            return false;
        if (parameters->codec_type == AVMEDIA_TYPE_AUDIO &&
            (parameters->sample_rate <= 0 || parameters->ch_layout.nb_channels <= 0))
            return false;
    }
    return true;
}

} // namespace

void quietLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The media layer reports its own errors in plain sentences; the library's notes about
        // damaged data would only repeat them, frame after frame. VISTREL_MEDIA_LOG shows them.
        av_log_set_level(std::getenv("VISTREL_MEDIA_LOG") ? AV_LOG_WARNING : AV_LOG_QUIET);
    });
}

struct MediaInput::MemoryReader {
    std::shared_ptr<const std::vector<std::uint8_t>> bytes;
    std::size_t position = 0;

    static int read(void* opaque, std::uint8_t* buffer, int size) {
        auto* self = static_cast<MemoryReader*>(opaque);
        const std::size_t total = self->bytes->size();
        if (self->position >= total) return AVERROR_EOF;
        const std::size_t count =
            std::min<std::size_t>(static_cast<std::size_t>(size), total - self->position);
        std::memcpy(buffer, self->bytes->data() + self->position, count);
        self->position += count;
        return static_cast<int>(count);
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<MemoryReader*>(opaque);
        const auto total = static_cast<std::int64_t>(self->bytes->size());
        std::int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE:
            return total;
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = static_cast<std::int64_t>(self->position);
            break;
        case SEEK_END:
            base = total;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < -offset))
            return AVERROR(EINVAL);
        const std::int64_t target = base + offset;
        if (target < 0) return AVERROR(EINVAL);
        self->position = static_cast<std::size_t>(std::min(target, total));
        return target;
    }
};

Result<std::unique_ptr<MediaInput>> MediaInput::open(const MediaSource& source, StreamInfo streamInfo) {
    quietLibraryLog();
    std::unique_ptr<MediaInput> input(new MediaInput);
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return fail("Not enough memory to open the file.");
    format->format_whitelist = av_strdup(containerWhitelist);
    std::string url;
    if (source.bytes) {
        input->memoryReader_ = std::make_unique<MemoryReader>();
        input->memoryReader_->bytes = source.bytes;
        auto* buffer = static_cast<std::uint8_t*>(av_malloc(memoryBufferBytes));
        if (buffer)
            input->memoryIo_ = avio_alloc_context(buffer, memoryBufferBytes, 0, input->memoryReader_.get(),
                                                  &MemoryReader::read, nullptr, &MemoryReader::seek);
        if (!input->memoryIo_) {
            av_free(buffer);
            avformat_free_context(format);
            return fail("Not enough memory to open the file.");
        }
        format->pb = input->memoryIo_;
        format->flags |= AVFMT_FLAG_CUSTOM_IO;
    } else {
        if (source.path.empty()) {
            avformat_free_context(format);
            return fail("No file was given.");
        }
        // Opening a fifo or a device would wait for a writer that never comes: only plain files
        // are opened, told apart without opening them.
        struct stat info {};
        if (::stat(source.path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
            avformat_free_context(format);
            return fail(S_ISDIR(info.st_mode)
                            ? "The file is a folder, not a movie or sound file."
                            : "The file is not a plain file (a fifo or a device) and is not read.");
        }
        format->protocol_whitelist = av_strdup("file");
        url = "file:" + source.path;
    }
    // avformat_open_input frees the context when it fails.
    const int opened = avformat_open_input(&format, source.bytes ? "" : url.c_str(), nullptr, nullptr);
    if (opened < 0) {
        if (opened == AVERROR(ENOENT)) return fail("The file does not exist.");
        if (opened == AVERROR(EACCES)) return fail("The file cannot be read (permission denied).");
        return fail("The file is not a movie or sound file that can be read (" + ffmpegErrorText(opened) +
                    ").");
    }
    input->format_ = format;
    if (streamInfo == StreamInfo::Probe && !describesItself(format)) {
        // Probing decodes a few frames per stream; one thread each is plenty and starts fast.
        std::vector<AVDictionary*> options(format->nb_streams, nullptr);
        for (AVDictionary*& streamOptions : options)
            av_dict_set(&streamOptions, "threads", "1", 0);
        const int found = avformat_find_stream_info(format, options.empty() ? nullptr : options.data());
        for (AVDictionary*& streamOptions : options)
            av_dict_free(&streamOptions);
        if (found < 0) return fail("The file's tracks cannot be read (" + ffmpegErrorText(found) + ").");
    }
    return input;
}

MediaInput::~MediaInput() {
    if (format_) avformat_close_input(&format_);
    if (memoryIo_) {
        av_freep(&memoryIo_->buffer);
        avio_context_free(&memoryIo_);
    }
}

std::int64_t MediaInput::originMicroseconds() const {
    if (!format_) return 0;
    if (format_->start_time != AV_NOPTS_VALUE) return format_->start_time;
    // Not probed: the earliest start of a stream that plays.
    std::int64_t earliest = AV_NOPTS_VALUE;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* stream = format_->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) ||
            stream->start_time == AV_NOPTS_VALUE || !isUsableTimeBase(stream->time_base))
            continue;
        const std::int64_t start =
            av_rescale_q(stream->start_time, stream->time_base, AVRational{1, AV_TIME_BASE});
        if (earliest == AV_NOPTS_VALUE || start < earliest) earliest = start;
    }
    return earliest == AV_NOPTS_VALUE ? 0 : earliest;
}

} // namespace vtl::detail
