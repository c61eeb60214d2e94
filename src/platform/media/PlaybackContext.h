#pragma once
// Plays one video track for one renderer: a decode thread keeps the pictures for the next moments
// ready (at most `framesAhead` ahead of the context's monotonic clock), and `frameForTime` answers
// from them without ever waiting for the decoder. Seeks are exact; a finished seek posts its
// completion to the main queue. Kept by the renderer, one per movie track; the public calls are
// thread-safe.

#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/VideoDecodeOptions.h"
#include "platform/media/VideoFrame.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace vtl {

namespace detail {
class VideoDecoder;
class FrameLocator;
} // namespace detail

struct PlaybackContextOptions {
    VideoDecodeOptions decode;
    // Pictures decoded ahead of the clock while playing.
    int framesAhead = 8;
    // Monotonic seconds; empty: the steady clock. Tests pass a clock they move by hand.
    std::function<double()> clock;
};

class PlaybackContext {
public:
    static Result<std::unique_ptr<PlaybackContext>> create(std::shared_ptr<const MediaAsset> asset,
                                                           std::size_t trackIndex,
                                                           PlaybackContextOptions options = {});
    ~PlaybackContext();
    PlaybackContext(const PlaybackContext&) = delete;
    PlaybackContext& operator=(const PlaybackContext&) = delete;

    // Plays from `time` at normal speed; the clock starts once the picture for `time` is ready.
    void play(MediaTime time) VTL_EXCLUDES(mutex_);
    // Stops the clock where it is; the pictures stay.
    void pause() VTL_EXCLUDES(mutex_);
    bool isPlaying() const VTL_EXCLUDES(mutex_);
    // Goes to `time` exactly (playing on from there when playing); `completion` is posted to the
    // main queue once the picture is ready, unless a later seek replaced this one.
    void seek(MediaTime time, std::function<void()> completion = {}) VTL_EXCLUDES(mutex_);
    // Whether the picture of the last seek (or play) is ready.
    bool isReady() const VTL_EXCLUDES(mutex_);
    // Where the clock is: the playing position, or where it stands.
    MediaTime currentTime() const VTL_EXCLUDES(mutex_);

    // The picture shown at `time` when it is decoded; never waits. While playing, pictures before
    // it are let go.
    std::optional<VideoFrame> frameForTime(MediaTime time) VTL_EXCLUDES(mutex_);
    // Whether frameForTime(time) would give another picture than the one it gave last.
    bool hasNewFrameForTime(MediaTime time) const VTL_EXCLUDES(mutex_);

    // The preparation stamp of the renderer's movie track (see the track's prepareForPlayBack).
    double preparedForTime() const VTL_EXCLUDES(mutex_);
    void setPreparedForTime(double stamp) VTL_EXCLUDES(mutex_);

    // Pictures ready after the clock's position (for tests).
    int framesAheadOfClock() const VTL_EXCLUDES(mutex_);

private:
    explicit PlaybackContext(PlaybackContextOptions options);
    void run();
    double now() const;
    MediaTime clockTime() const VTL_REQUIRES(mutex_);
    int aheadCount() const VTL_REQUIRES(mutex_);
    const VideoFrame* frameHolding(MediaTime time) const VTL_REQUIRES(mutex_);
    void startSeek(MediaTime time, std::function<void()> completion) VTL_REQUIRES(mutex_);

    PlaybackContextOptions options_;
    std::shared_ptr<const MediaAsset> asset_;
    // Used by the decode thread only.
    std::unique_ptr<detail::VideoDecoder> decoder_;
    std::unique_ptr<detail::FrameLocator> locator_;

    mutable Mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<VideoFrame> frames_ VTL_GUARDED_BY(mutex_);
    bool playing_ VTL_GUARDED_BY(mutex_) = false;
    bool clockRunning_ VTL_GUARDED_BY(mutex_) = false;
    double clockOriginSeconds_ VTL_GUARDED_BY(mutex_) = 0;
    MediaTime clockOrigin_ VTL_GUARDED_BY(mutex_) = MediaTime::zero();
    bool seekPending_ VTL_GUARDED_BY(mutex_) = false;
    MediaTime seekTarget_ VTL_GUARDED_BY(mutex_) = MediaTime::zero();
    std::function<void()> seekCompletion_ VTL_GUARDED_BY(mutex_);
    std::uint64_t seekGeneration_ VTL_GUARDED_BY(mutex_) = 0;
    bool ready_ VTL_GUARDED_BY(mutex_) = false;
    bool endReached_ VTL_GUARDED_BY(mutex_) = false;
    bool stopping_ VTL_GUARDED_BY(mutex_) = false;
    MediaTime lastHandedOut_ VTL_GUARDED_BY(mutex_);
    double preparedForTime_ VTL_GUARDED_BY(mutex_) = 0;
    std::thread thread_;
};

} // namespace vtl
