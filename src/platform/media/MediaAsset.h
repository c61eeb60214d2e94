#pragma once
// A movie or sound file opened for its description: tracks, duration and chapters. Readers,
// generators, playback contexts and PCM readers are made from it and open the file again on
// their own, so an asset is immutable and shared (std::shared_ptr) between threads.
// Media time 0 is the file's start (the earliest presentation time after edit lists) for every
// track, so a file's sound and picture stay in step.

#include "platform/foundation/Result.h"
#include "platform/media/MediaChapter.h"
#include "platform/media/MediaTrack.h"
#include "platform/media/detail/MediaSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class MediaAsset : public std::enable_shared_from_this<MediaAsset> {
public:
    static Result<std::shared_ptr<const MediaAsset>> open(const std::string& path);
    // The same over bytes in memory.
    static Result<std::shared_ptr<const MediaAsset>>
    openBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes);

    const std::string& path() const { return source_.path; }
    // "mov", "aiff", "wav", "mp3", …
    const std::string& formatName() const { return formatName_; }

    const std::vector<MediaTrack>& tracks() const { return tracks_; }
    std::size_t trackCount() const { return tracks_.size(); }
    // Null when the index is out of range.
    const MediaTrack* track(std::size_t index) const {
        return index < tracks_.size() ? &tracks_[index] : nullptr;
    }
    std::vector<std::size_t> trackIndexes(MediaType type) const;

    // From media time 0 to the end of the longest track.
    MediaTime duration() const { return duration_; }
    // The scale the asset reports its duration in.
    static constexpr std::int32_t timeScale() { return MediaTime::defaultTimeScale; }
    const std::vector<MediaChapter>& chapters() const { return chapters_; }

    // Whether times in the file can be trusted to the sample: no tracks gives false; a first track
    // that is not sound gives true; a first sound track gives whether its first samples decode.
    bool supportsPreciseTiming() const;

    // For the readers of this library.
    const detail::MediaSource& source() const { return source_; }
    std::int64_t originMicroseconds() const { return originMicroseconds_; }

private:
    MediaAsset() = default;
    static Result<std::shared_ptr<const MediaAsset>> openSource(detail::MediaSource source);

    detail::MediaSource source_;
    std::string formatName_;
    std::vector<MediaTrack> tracks_;
    std::vector<MediaChapter> chapters_;
    MediaTime duration_ = MediaTime::zero();
    std::int64_t originMicroseconds_ = 0;
};

} // namespace vtl
