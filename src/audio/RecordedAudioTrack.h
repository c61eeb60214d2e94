#pragma once
// Captured sound on its way into one sound track of a movie, kept on the recording's clock: the
// capture thread copies frames into a lock-free ring; the writer's thread drains the ring into the
// track. Paused stretches leave no gap. Where the source delivers less than the time that passed
// (a suspended output's monitor, lost buffers) silence fills the shortfall; where it delivers more
// the surplus is dropped and counted; at the end the track is completed to the recording's length.
// Owned by the recorder of one input; capture() on the capture thread, drain() on the writer's
// thread, the rest on the owner's thread.

#include "audio/AudioCaptureRing.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace vtl {

class MovieWriter;

class RecordedAudioTrack {
public:
    struct Options {
        std::uint32_t sampleRate = 44100;
        std::uint32_t channelCount = 2;
        double ringSeconds = 10;
        // A shortfall against the clock larger than this is filled with silence.
        double shortfallToleranceSeconds = 0.5;
        // Sound this far ahead of the clock is dropped (less waits in the ring: sources that
        // deliver in bursts).
        double surplusToleranceSeconds = 4.0;
        // How late after its instant a start, pause or stop may reach the track (its owner
        // stopping other recorders first) and still be kept exactly.
        double instantLatenessSeconds = 0.5;
        // Seconds on the recording's clock; empty: the monotonic clock.
        std::function<double()> clockSeconds;
    };
    struct Statistics {
        std::uint64_t framesWritten = 0;
        std::uint64_t silenceFrames = 0; // of framesWritten
        std::uint64_t droppedFrames = 0;
        std::uint64_t overrunFrames = 0;
    };

    explicit RecordedAudioTrack(Options options);

    std::uint32_t sampleRate() const { return options_.sampleRate; }
    std::uint32_t channelCount() const { return options_.channelCount; }

    // Capture thread: interleaved frames of channelCount() channels, kept only while writing and
    // not paused. Never locks, allocates or waits.
    void capture(const float* interleaved, std::size_t frames);

    // Owner: the track's time 0, then pauses, then its end, each at `atSeconds` on the track's
    // clock or now. A start already passed is made up with silence ahead of the first sound, so
    // what is captured from now on keeps its place on the recording's clock.
    void startWriting(std::optional<double> atSeconds = std::nullopt);
    void setPaused(bool paused, std::optional<double> atSeconds = std::nullopt);
    void stopWriting(std::optional<double> atSeconds = std::nullopt);
    bool isWriting() const { return accepting_.load(); }

    // Writer's thread: appends what was captured. With `complete` (after stopWriting) the track is
    // filled up to its end and what came later is dropped. A failure of the writer is returned.
    Status drain(MovieWriter& writer, std::size_t track, bool complete);

    Statistics statistics() const;

private:
    // Frames the track should hold by the clock now (its end once stopped).
    std::int64_t clockFrames() VTL_EXCLUDES(mutex_);
    Status append(MovieWriter& writer, std::size_t track, std::size_t frames, bool silence);

    Options options_;
    AudioCaptureRing ring_;
    std::atomic<bool> accepting_{false};

    mutable Mutex mutex_;
    std::optional<double> startClock_ VTL_GUARDED_BY(mutex_);
    std::optional<double> pauseBegin_ VTL_GUARDED_BY(mutex_);
    std::optional<double> endClock_ VTL_GUARDED_BY(mutex_);
    double pausedSeconds_ VTL_GUARDED_BY(mutex_) = 0;
    // Silence owed ahead of the first sound: how long ago the start was when writing began.
    std::int64_t leadInFrames_ VTL_GUARDED_BY(mutex_) = 0;

    // Writer's thread only, read by statistics() through the atomics.
    std::vector<float> scratch_;
    bool fillingGap_ = false;
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> silence_{0};
    std::atomic<std::uint64_t> dropped_{0};
};

} // namespace vtl
