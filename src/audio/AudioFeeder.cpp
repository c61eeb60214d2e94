#include "audio/AudioFeeder.h"

#include "platform/foundation/Log.h"

#include <chrono>
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

void AudioFeeder::seek(std::int64_t frame) {
    {
        MutexLock lock(mutex_);
        ++generation_;
        ring_.clear();
        endFrame_.store(unknownEnd, std::memory_order_release);
        position_ = std::max<std::int64_t>(frame, 0);
        ended_ = false;
        active_ = true;
        if (!source_ || channelCount_ == 0) {
            ended_ = true;
            endFrame_.store(0);
        } else if (auto status = source_->seek(position_); !status) {
            logMessage("The sound could not be positioned: " + status.error());
            ended_ = true;
            endFrame_.store(position_);
        }
    }
    wake_.notify_all();
}

void AudioFeeder::pause() {
    MutexLock lock(mutex_);
    active_ = false;
}

void AudioFeeder::setPollHook(std::function<void()> hook) {
    MutexLock lock(mutex_);
    pollHook_ = std::move(hook);
}

bool AudioFeeder::waitForFrames(std::size_t frames, double timeoutSeconds) {
    frames = std::min(frames, ring_.capacity());
    MutexLock lock(mutex_);
    return progress_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] {
        return ring_.readAvailable() >= frames || ended_ || !active_;
    });
}

void AudioFeeder::run() {
    std::vector<std::vector<float>> buffers(std::max<std::uint32_t>(channelCount_, 2), std::vector<float>(chunkFrames));
    std::vector<float*> pointers;
    for (auto& b : buffers)
        pointers.push_back(b.data());
    MutexLock lock(mutex_);
    while (!quit_) {
        if (!active_) {
            wake_.wait(lock);
            continue;
        }
        if (pollHook_) pollHook_();
        const std::size_t space = ring_.writeAvailable();
        if (ended_ || space < chunkFrames / 4) {
            progress_.notify_all();
            wake_.wait_for(lock, pollInterval);
            continue;
        }
        const std::size_t wanted = std::min(space, chunkFrames);
        auto got = source_->read(pointers.data(), wanted);
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
