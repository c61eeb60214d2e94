#include "platform/media/detail/MediaInput.h"

#include "platform/media/detail/Ffmpeg.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace vtl::detail {

namespace {

constexpr const char* containerWhitelist = "mov,aiff,wav,mp3,caf,aac,flac";
constexpr int memoryBufferBytes = 64 * 1024;

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
        const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size), total - self->position);
        std::memcpy(buffer, self->bytes->data() + self->position, count);
        self->position += count;
        return static_cast<int>(count);
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
        auto* self = static_cast<MemoryReader*>(opaque);
        const auto total = static_cast<std::int64_t>(self->bytes->size());
        std::int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return total;
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = static_cast<std::int64_t>(self->position); break;
        case SEEK_END: base = total; break;
        default: return AVERROR(EINVAL);
        }
        if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < -offset)) return AVERROR(EINVAL);
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
        format->protocol_whitelist = av_strdup("file");
        url = "file:" + source.path;
    }
    // avformat_open_input frees the context when it fails.
    const int opened = avformat_open_input(&format, source.bytes ? "" : url.c_str(), nullptr, nullptr);
    if (opened < 0) {
        if (opened == AVERROR(ENOENT)) return fail("The file does not exist.");
        if (opened == AVERROR(EACCES)) return fail("The file cannot be read (permission denied).");
        return fail("The file is not a movie or sound file that can be read (" + ffmpegErrorText(opened) + ").");
    }
    input->format_ = format;
    if (streamInfo == StreamInfo::Probe) {
        const int found = avformat_find_stream_info(format, nullptr);
        if (found < 0)
            return fail("The file's tracks cannot be read (" + ffmpegErrorText(found) + ").");
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
    if (!format_ || format_->start_time == AV_NOPTS_VALUE) return 0;
    return format_->start_time;
}

} // namespace vtl::detail
