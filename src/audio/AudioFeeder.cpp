#include "audio/AudioFeeder.h"

#include "platform/foundation/Log.h"

#include <chrono>
#include <optional>
#include <vector>

namespace vtl {

namespace {
constexpr std::size_t chunkFrames = 2048;
constexpr auto pollInterval = std::chrono::milliseconds(3);
} // namespace

AudioFeeder::AudioFeeder(std::unique_ptr<PcmSource> source, std::size_t ringFrames)
    : source_(std::move(source))
    , durationFrames_(source_ ? source_->durationFrames() : 0)
    , channelCount_(source_ ? source_->channelCount() : 0)
    , ring_(ringFrames) {
    thread_ = std::thread([this] { run(); });
}

AudioFeeder::~AudioFeeder() {
    {
        MutexLock lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t AudioFeeder::seek(std::int64_t frame) {
    std::uint64_t generation = 0;
    {
        MutexLock lock(mutex_);
        generation = ++requestedGeneration_;
        seekPending_ = true;
        seekFrame_ = std::max<std::int64_t>(frame, 0);
        active_ = true;
        ended_ = false;
    }
    // The render side is not reading: this thread may drop what it has.
    ring_.discard(ring_.capacity());
    wake_.notify_all();
    return generation;
}

void AudioFeeder::pause() {
    MutexLock lock(mutex_);
    active_ = false;
}

void AudioFeeder::setPollHook(std::function<void()> hook) {
    MutexLock lock(mutex_);
    pollHook_ = std::move(hook);
}

std::size_t AudioFeeder::freshFrames() const {
    const std::uint64_t written = ring_.writtenCount();
    const std::uint64_t read = written - std::min<std::uint64_t>(written, ring_.readAvailable());
    const std::uint64_t from = std::max(read, discardUntil_.load(std::memory_order_acquire));
    return from >= written ? 0 : static_cast<std::size_t>(written - from);
}

bool AudioFeeder::waitForFrames(std::size_t frames, double timeoutSeconds) {
    frames = std::min(frames, ring_.capacity() / 2);
    MutexLock lock(mutex_);
    // The predicate runs with the lock held, which the analysis cannot see through wait_for.
    return progress_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                              [&]() VTL_NO_THREAD_SAFETY_ANALYSIS {
                                  if (!active_) return true;
                                  if (seekPending_ || readyGeneration_.load() != requestedGeneration_)
                                      return false;
                                  return ended_ || freshFrames() >= frames;
                              });
}

void AudioFeeder::run() {
    std::vector<std::vector<float>> buffers(std::max<std::uint32_t>(channelCount_, 2),
                                            std::vector<float>(chunkFrames));
    std::vector<float*> pointers;
    for (auto& b : buffers)
        pointers.push_back(b.data());
    for (;;) {
        std::function<void()> poll;
        std::optional<std::int64_t> seekTo;
        std::uint64_t generation = 0;
        {
            MutexLock lock(mutex_);
            if (quit_) return;
            if (!active_) {
                wake_.wait(lock);
                continue;
            }
            if (seekPending_) {
                seekPending_ = false;
                seekTo = seekFrame_;
                generation = requestedGeneration_;
            } else if (ended_ || ring_.writeAvailable() < chunkFrames / 4) {
                progress_.notify_all();
                poll = pollHook_;
                lock.unlock();
                if (poll) poll();
                lock.lock();
                if (!seekPending_ && !quit_) wake_.wait_for(lock, pollInterval);
                continue;
            }
            poll = pollHook_;
        }
        if (seekTo) {
            // Positioned outside the lock: a slow source holds up only this thread.
            position_ = *seekTo;
            bool ended = !source_ || channelCount_ == 0;
            if (!ended) {
                if (auto status = source_->seek(position_); !status) {
                    logMessage("The sound could not be positioned: " + status.error());
                    ended = true;
                }
            }
            endFrame_.store(ended ? position_ : unknownEnd, std::memory_order_release);
            discardUntil_.store(ring_.writtenCount(), std::memory_order_release);
            readyGeneration_.store(generation, std::memory_order_release);
            MutexLock lock(mutex_);
            if (requestedGeneration_ == generation) ended_ = ended;
            progress_.notify_all();
            continue;
        }
        if (poll) poll();
        const std::size_t wanted = std::min(ring_.writeAvailable(), chunkFrames);
        auto got = source_->read(pointers.data(), wanted);
        MutexLock lock(mutex_);
        if (seekPending_) continue; // what was read belongs to the old position
        if (!got || *got == 0) {
            if (!got) logMessage("The sound could not be read further: " + got.error());
            ended_ = true;
            endFrame_.store(position_, std::memory_order_release);
            progress_.notify_all();
            continue;
        }
        const std::size_t n = std::min(*got, wanted);
        // Mono is heard on both channels.
        const float* right = channelCount_ == 1 ? pointers[0] : pointers[1];
        ring_.write(pointers[0], right, n);
        position_ += static_cast<std::int64_t>(n);
        progress_.notify_all();
    }
}

} // namespace vtl
