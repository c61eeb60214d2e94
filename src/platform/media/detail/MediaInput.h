#pragma once
// One open demuxer on a media source, owned by one reader or by an asset while it reads the
// file's description. Only the container formats a movie or sound file of this system can have
// are probed, and paths always go through the file protocol.

#include "platform/foundation/Result.h"
#include "platform/media/detail/MediaSource.h"

#include <cstdint>
#include <memory>

struct AVFormatContext;
struct AVIOContext;

namespace vtl::detail {

class MediaInput {
public:
    enum class StreamInfo { Probe, Skip };
    static Result<std::unique_ptr<MediaInput>> open(const MediaSource& source, StreamInfo streamInfo);
    ~MediaInput();
    MediaInput(const MediaInput&) = delete;
    MediaInput& operator=(const MediaInput&) = delete;

    AVFormatContext* format() const { return format_; }
    // The file's start (the earliest presentation time after edit lists) in microseconds: media
    // time 0 of every track.
    std::int64_t originMicroseconds() const;

private:
    MediaInput() = default;
    struct MemoryReader;
    AVFormatContext* format_ = nullptr;
    AVIOContext* memoryIo_ = nullptr;
    std::unique_ptr<MemoryReader> memoryReader_;
};

} // namespace vtl::detail
