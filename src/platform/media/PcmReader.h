#pragma once
// Reads a sound track of a file as linear PCM in any rate, channel count, sample type and layout,
// sample-exactly: output frame n of a read that starts at time s is the sound at s + n ÷ rate.
// Times before the track's first sample read as silence. Owned by one user (a feeder thread,
// a waveform extraction); not thread-safe. Mono sources fill every output channel; a mono
// output takes the mean of the source channels.

#include "platform/foundation/Result.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/PcmFormat.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vtl {

namespace detail {
struct PcmReaderState;
}

class PcmReader {
public:
    static Result<std::unique_ptr<PcmReader>> open(std::shared_ptr<const MediaAsset> asset,
                                                   std::size_t trackIndex, const PcmFormat& format);
    ~PcmReader();
    PcmReader(const PcmReader&) = delete;
    PcmReader& operator=(const PcmReader&) = delete;

    const PcmFormat& format() const { return format_; }
    // The track's end in output frames (from media time 0); an estimate from the container.
    std::int64_t durationFrames() const { return durationFrames_; }

    // Limits reading to [start, start + duration) and goes to start; an invalid duration reads to
    // the end of the track. Start is rounded down to whole output frames.
    Status setTimeRange(MediaTime start, MediaTime duration = MediaTime::invalid());
    // Goes to an output frame (from media time 0), keeping the end of the range.
    Status seekToFrame(std::int64_t frame);
    // The output frame the next read starts at.
    std::int64_t position() const { return position_; }

    // Reads up to frameCount frames into one buffer (interleaved layout) and returns how many
    // came; 0 at the end of the range or the track.
    Result<std::size_t> read(void* interleaved, std::size_t frameCount);
    // The same into one buffer per channel (planar layout).
    Result<std::size_t> readPlanar(void* const* channels, std::size_t frameCount);

private:
    PcmReader() = default;
    Result<std::size_t> readInto(std::uint8_t* const* buffers, std::size_t frameCount);

    std::shared_ptr<const MediaAsset> asset_;
    PcmFormat format_;
    std::int64_t durationFrames_ = 0;
    std::int64_t position_ = 0;
    std::int64_t endFrame_ = -1; // -1: the end of the track
    std::unique_ptr<detail::PcmReaderState> state_;
};

} // namespace vtl
