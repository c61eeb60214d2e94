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

    // While the render side does not read: empties the ring, moves the source to `frame` and
    // starts filling from there.
    void seek(std::int64_t frame);
    // Stops filling; the ring keeps what it has.
    void pause();

    // The frame after the last one the source has, once the feeder has met the end (or a read
    // failed); unknownEnd before. For the render thread.
    std::int64_t endFrame() const { return endFrame_.load(std::memory_order_acquire); }
    std::int64_t sourceDurationFrames() const { return durationFrames_; }

    // Waits until the ring holds `frames` frames or the source has ended; false on timeout.
    bool waitForFrames(std::size_t frames, double timeoutSeconds);

    // Called on the feeder thread every few milliseconds while filling; the player forwards what
    // the render thread left for the main thread from here.
    void setPollHook(std::function<void()> hook);

private:
    void run();

    Mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable_any progress_;
    std::unique_ptr<PcmSource> source_ VTL_GUARDED_BY(mutex_);
    std::function<void()> pollHook_ VTL_GUARDED_BY(mutex_);
    bool active_ VTL_GUARDED_BY(mutex_) = false;
    bool ended_ VTL_GUARDED_BY(mutex_) = false;
    bool quit_ VTL_GUARDED_BY(mutex_) = false;
    std::int64_t position_ VTL_GUARDED_BY(mutex_) = 0;
    std::uint64_t generation_ VTL_GUARDED_BY(mutex_) = 0;
    const std::int64_t durationFrames_;
    const std::uint32_t channelCount_;
    AudioRingBuffer ring_;
    std::atomic<std::int64_t> endFrame_{unknownEnd};
    std::thread thread_;
};

} // namespace vtl
