#pragma once
// A player's feeder: a thread of its own that reads the source (decoding, for files) into a
// lock-free ring from which the render thread takes its frames. It waits while the ring is full
// and idles while paused. Mono sources feed both channels. Owned by its player.

#include "audio/AudioRingBuffer.h"
#include "audio/PcmSource.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <thread>

namespace vtl {

class AudioFeeder {
public:
    static constexpr std::int64_t unknownEnd = std::numeric_limits<std::int64_t>::max();

    AudioFeeder(std::unique_ptr<PcmSource> source, std::size_t ringFrames);
    ~AudioFeeder();
    AudioFeeder(const AudioFeeder&) = delete;
    AudioFeeder& operator=(const AudioFeeder&) = delete;

    AudioRingBuffer& ring() { return ring_; }

    // While the render side does not read: asks for filling from `frame` on, and returns the
    // generation whose frames the render side may take once ready() says so. The source is
    // moved on the feeder thread, so a slow source never holds up the caller.
    std::uint64_t seek(std::int64_t frame);
    // Stops filling; the ring keeps what it has.
    void pause();

    // For the render thread: whether the frames of that generation are coming; before that the
    // ring may still hold frames of an earlier one.
    bool ready(std::uint64_t generation) const {
        return readyGeneration_.load(std::memory_order_acquire) == generation;
    }
    // For the render thread, once ready: drops what was written before the seek.
    void dropStaleFrames() { ring_.discardUntil(discardUntil_.load(std::memory_order_acquire)); }
    // The frame after the last one the source has, once the feeder has met the end (or a read
    // failed); unknownEnd before. For the render thread, once ready.
    std::int64_t endFrame() const { return endFrame_.load(std::memory_order_acquire); }
    std::int64_t sourceDurationFrames() const { return durationFrames_; }

    // Waits until the latest seek is done and the ring holds `frames` frames from it (or the
    // source has ended); false on timeout.
    bool waitForFrames(std::size_t frames, double timeoutSeconds);

    // Called on the feeder thread every few milliseconds while filling; the player forwards what
    // the render thread left for the main thread from here. Set before the first seek.
    void setPollHook(std::function<void()> hook);

private:
    void run();
    std::size_t freshFrames() const;

    Mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any progress_;
    std::function<void()> pollHook_ VTL_GUARDED_BY(mutex_);
    bool active_ VTL_GUARDED_BY(mutex_) = false;
    bool quit_ VTL_GUARDED_BY(mutex_) = false;
    bool seekPending_ VTL_GUARDED_BY(mutex_) = false;
    std::int64_t seekFrame_ VTL_GUARDED_BY(mutex_) = 0;
    std::uint64_t requestedGeneration_ VTL_GUARDED_BY(mutex_) = 0;
    bool ended_ VTL_GUARDED_BY(mutex_) = false;
    // Feeder thread only.
    std::unique_ptr<PcmSource> source_;
    std::int64_t position_ = 0;
    const std::int64_t durationFrames_;
    const std::uint32_t channelCount_;
    AudioRingBuffer ring_;
    std::atomic<std::int64_t> endFrame_{unknownEnd};
    std::atomic<std::uint64_t> readyGeneration_{0};
    std::atomic<std::uint64_t> discardUntil_{0};
    std::thread thread_;
};

} // namespace vtl
