#include "audio/RecordedAudioTrack.h"

#include "platform/foundation/MonotonicClock.h"
#include "platform/media/MovieWriter.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vtl {

namespace {

constexpr std::size_t chunkFrames = 4096;

} // namespace

RecordedAudioTrack::RecordedAudioTrack(Options options)
    : options_(std::move(options))
    , ring_(static_cast<std::size_t>(std::max(options_.ringSeconds, 0.1) * std::max(options_.sampleRate, 1u)),
            options_.channelCount) {
    if (!options_.clockSeconds) options_.clockSeconds = [] { return monotonicSeconds(); };
    scratch_.assign(chunkFrames * ring_.channelCount(), 0.0f);
}

void RecordedAudioTrack::capture(const float* interleaved, std::size_t frames) {
    if (!accepting_.load(std::memory_order_acquire) || !interleaved) return;
    ring_.write(interleaved, frames);
}

void RecordedAudioTrack::startWriting(std::optional<double> atSeconds) {
    {
        MutexLock lock(mutex_);
        if (startClock_) return;
        const double now = options_.clockSeconds();
        startClock_ = atSeconds && std::isfinite(*atSeconds) ? std::min(*atSeconds, now) : now;
        leadInFrames_ = static_cast<std::int64_t>(std::llround((now - *startClock_) * options_.sampleRate));
    }
    accepting_.store(true);
}

void RecordedAudioTrack::setPaused(bool paused, std::optional<double> atSeconds) {
    MutexLock lock(mutex_);
    if (!startClock_ || endClock_ || paused == pauseBegin_.has_value()) return;
    double now = atSeconds && std::isfinite(*atSeconds) ? *atSeconds : options_.clockSeconds();
    // Pauses never reach back before the start or the pause they end.
    now = std::max(now, pauseBegin_ ? *pauseBegin_ : *startClock_);
    if (paused) {
        accepting_.store(false);
        pauseBegin_ = now;
    } else {
        pausedSeconds_ += now - *pauseBegin_;
        pauseBegin_.reset();
        accepting_.store(true);
    }
}

void RecordedAudioTrack::stopWriting(std::optional<double> atSeconds) {
    accepting_.store(false);
    MutexLock lock(mutex_);
    if (!startClock_ || endClock_) return;
    // A recording stopped while paused ends where the pause began.
    const double at = atSeconds && std::isfinite(*atSeconds) ? *atSeconds : options_.clockSeconds();
    endClock_ = pauseBegin_ ? *pauseBegin_ : std::max(at, *startClock_);
}

std::int64_t RecordedAudioTrack::clockFrames() {
    MutexLock lock(mutex_);
    if (!startClock_) return 0;
    double now = endClock_ ? *endClock_ : pauseBegin_ ? *pauseBegin_ : options_.clockSeconds();
    const double seconds = std::max(0.0, now - *startClock_ - pausedSeconds_);
    return static_cast<std::int64_t>(std::llround(seconds * options_.sampleRate));
}

Status RecordedAudioTrack::append(MovieWriter& writer, std::size_t track, std::size_t frames, bool silence) {
    if (silence) std::fill(scratch_.begin(), scratch_.end(), 0.0f);
    while (frames > 0) {
        const std::size_t n = silence ? std::min(frames, chunkFrames)
                                      : ring_.read(scratch_.data(), std::min(frames, chunkFrames));
        if (n == 0) break;
        const void* buffers[1] = {scratch_.data()};
        if (Status appended = writer.appendAudio(track, buffers, n); !appended) return appended;
        written_.fetch_add(n);
        if (silence) silence_.fetch_add(n);
        frames -= n;
    }
    return {};
}

Status RecordedAudioTrack::drain(MovieWriter& writer, std::size_t track, bool complete) {
    bool started = false;
    std::int64_t leadIn = 0;
    {
        MutexLock lock(mutex_);
        started = startClock_.has_value();
        std::swap(leadIn, leadInFrames_);
    }
    if (!started) {
        ring_.discard(ring_.readAvailable());
        return {};
    }
    if (leadIn > 0)
        if (Status ok = append(writer, track, static_cast<std::size_t>(leadIn), true); !ok) return ok;
    const std::int64_t target = clockFrames();
    const auto written = static_cast<std::int64_t>(written_.load());
    auto available = static_cast<std::int64_t>(ring_.readAvailable());
    const auto rate = static_cast<double>(options_.sampleRate);
    const auto shortfallTolerance = static_cast<std::int64_t>(options_.shortfallToleranceSeconds * rate);
    const auto surplusTolerance = static_cast<std::int64_t>(options_.surplusToleranceSeconds * rate);

    if (complete) {
        const std::int64_t wanted = std::max<std::int64_t>(target - written, 0);
        const std::int64_t take = std::min(available, wanted);
        if (Status ok = append(writer, track, static_cast<std::size_t>(take), false); !ok) return ok;
        dropped_.fetch_add(ring_.discard(ring_.readAvailable()));
        const std::int64_t shortfall = target - static_cast<std::int64_t>(written_.load());
        if (shortfall > 0) return append(writer, track, static_cast<std::size_t>(shortfall), true);
        return {};
    }

    // A source whose clock runs ahead of the recording's loses its oldest frames once it is far
    // ahead; sources that deliver in bursts stay within the allowance.
    if (written + available > target + surplusTolerance) {
        const std::int64_t surplus = written + available - target;
        const std::size_t gone = ring_.discard(static_cast<std::size_t>(std::min(surplus, available)));
        dropped_.fetch_add(gone);
        available -= static_cast<std::int64_t>(gone);
    }
    // Writing stays this far behind the clock: an end or a pause that reaches the track after its
    // instant still finds everything after that instant unwritten.
    const std::int64_t upTo =
        target - static_cast<std::int64_t>(std::max(options_.instantLatenessSeconds, 0.0) * rate);
    // Sound coming back after a filled gap starts where the clock is now, less what it brings.
    if (fillingGap_ && available > 0) {
        fillingGap_ = false;
        const std::int64_t topUp = upTo - written - available - static_cast<std::int64_t>(0.01 * rate);
        if (topUp > 0)
            if (Status ok = append(writer, track, static_cast<std::size_t>(topUp), true); !ok) return ok;
    }
    // Never ahead of the clock: what is early waits in the ring for the clock to catch up.
    const auto writtenNow = static_cast<std::int64_t>(written_.load());
    const std::int64_t take = std::min(available, std::max<std::int64_t>(upTo - writtenNow, 0));
    if (Status ok = append(writer, track, static_cast<std::size_t>(take), false); !ok) return ok;
    // A source that fell silent leaves the track short of the clock: silence fills it, less a
    // margin for frames still on their way.
    const std::int64_t shortfall = upTo - static_cast<std::int64_t>(written_.load());
    if (shortfall > shortfallTolerance) {
        fillingGap_ = true;
        return append(writer, track, static_cast<std::size_t>(shortfall - shortfallTolerance / 4), true);
    }
    return {};
}

RecordedAudioTrack::Statistics RecordedAudioTrack::statistics() const {
    Statistics s;
    s.framesWritten = written_.load();
    s.silenceFrames = silence_.load();
    s.droppedFrames = dropped_.load();
    s.overrunFrames = ring_.overrunFrames();
    return s;
}

} // namespace vtl
