#pragma once
// Writes a movie or sound file: H.264 or ProRes video from B, G, R, A pictures (or H.264 packets as
// they are), AAC or 16-bit PCM sound, timed-text tracks with their own tx3g description, chapters,
// and a language and name per track. The file is written under a temporary name beside the
// target, every write checked, and renamed onto the target only by a successful finish();
// anything else (a failure, cancel(), destroying an unfinished writer) leaves no file behind.
// Thread-safe: calls are serialised, so video and sound may come from different threads.

#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "platform/media/AudioTrackSettings.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MovieWriterOptions.h"
#include "platform/media/TextTrackSettings.h"
#include "platform/media/VideoTrackSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

namespace detail {
struct MovieWriterState;
}

class MovieWriter {
public:
    static Result<std::unique_ptr<MovieWriter>> create(const std::string& targetPath,
                                                       MovieWriterOptions options = {});
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    const std::string& targetPath() const { return targetPath_; }

    // Before start(): tracks (numbered from 0 in the order added) and chapters.
    Result<std::size_t> addVideoTrack(const VideoTrackSettings& settings) VTL_EXCLUDES(mutex_);
    Result<std::size_t> addAudioTrack(const AudioTrackSettings& settings) VTL_EXCLUDES(mutex_);
    Result<std::size_t> addTextTrack(const TextTrackSettings& settings) VTL_EXCLUDES(mutex_);
    // A chapter from `start` (kept at 1/600 s, rounded down) to `end`, or without an end to the
    // next chapter (the last one to 1/600 s later: the container fixes chapter times with the header,
    // before the movie's length is known, so pass the length as the last chapter's end).
    Status addChapter(const std::string& title, MediaTime start, MediaTime end = MediaTime::invalid())
        VTL_EXCLUDES(mutex_);
    // Starts the encoders and writes the file's header.
    Status start() VTL_EXCLUDES(mutex_);

    // After start(). Pictures come in increasing time order, at the track's size.
    Status appendVideoFrame(std::size_t track, const BitmapImage& image, MediaTime time) VTL_EXCLUDES(mutex_);
    Status appendVideoFrame(std::size_t track, const std::uint8_t* pixels, std::size_t bytesPerRow,
                            MediaTime time) VTL_EXCLUDES(mutex_);
    Status appendVideoPacket(std::size_t track, const std::uint8_t* bytes, std::size_t size,
                             MediaTime presentationTime, MediaTime decodeTime, bool keyFrame)
        VTL_EXCLUDES(mutex_);
    // Samples in the track's input format: buffers[0] when interleaved, one buffer per channel when
    // planar. They follow each other without gaps from time 0.
    Status appendAudio(std::size_t track, const void* const* buffers, std::size_t frameCount)
        VTL_EXCLUDES(mutex_);
    // One cue; cues come in increasing start order.
    Status appendText(std::size_t track, const std::string& utf8Text, MediaTime start, MediaTime duration)
        VTL_EXCLUDES(mutex_);

    // Encodes what the encoders still hold, completes the file and puts it in place.
    Status finish() VTL_EXCLUDES(mutex_);
    // Drops the movie; no file is left.
    void cancel() VTL_EXCLUDES(mutex_);

private:
    MovieWriter() = default;
    Status failWith(std::string sentence) VTL_REQUIRES(mutex_);
    Status usable(std::size_t track) const VTL_REQUIRES(mutex_);
    void discard() VTL_REQUIRES(mutex_);

    std::string targetPath_;
    mutable Mutex mutex_;
    std::unique_ptr<detail::MovieWriterState> state_ VTL_GUARDED_BY(mutex_);
};

} // namespace vtl
