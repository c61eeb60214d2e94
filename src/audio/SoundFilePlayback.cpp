#include "audio/SoundFilePlayback.h"

#include "audio/PcmFileOpener.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/DispatchTimer.h"

#include <algorithm>

namespace vtl {

namespace {
// Time for the last frames to pass the server's buffers before the stream stops.
constexpr double tailMarginSeconds = 0.05;
} // namespace

SoundFilePlayback::SoundFilePlayback(std::string path, std::shared_ptr<AudioHardware> hardware,
                                     std::uint32_t deviceID)
    : path_(std::move(path))
    , hardware_(hardware ? std::move(hardware) : AudioHardware::shared())
    , deviceID_(deviceID) {}

SoundFilePlayback::~SoundFilePlayback() {
    stop();
}

Status SoundFilePlayback::load() {
    if (samples_) return {};
    auto source = openPcmFile(path_);
    if (!source) return source.asFailure();
    auto decoded = MemoryPcmSource::decode(**source);
    if (!decoded) return decoded.asFailure();
    MemoryPcmSource& memory = **decoded;
    const auto frames = static_cast<std::size_t>(memory.durationFrames());
    auto samples = std::make_unique<Samples>();
    std::vector<std::vector<float>> channels(memory.channelCount(), std::vector<float>(frames));
    std::vector<float*> pointers;
    for (auto& c : channels)
        pointers.push_back(c.data());
    if (auto got = memory.read(pointers.data(), frames); !got) return got.asFailure();
    samples->left = channels[0];
    samples->right = channels.size() > 1 ? channels[1] : channels[0];
    samples_ = std::move(samples);
    return {};
}

Status SoundFilePlayback::start(std::function<void()> heard) {
    stop();
    if (auto status = load(); !status) return status;
    if (!output_) {
        Samples* samples = samples_.get();
        auto opened =
            hardware_->openOutputStream(deviceID_, [samples](float* const* channels, std::size_t frames) {
                const std::size_t at = samples->position.load(std::memory_order_relaxed);
                const std::size_t n =
                    std::min(frames, samples->left.size() - std::min(at, samples->left.size()));
                std::copy_n(samples->left.data() + at, n, channels[0]);
                std::copy_n(samples->right.data() + at, n, channels[1]);
                std::fill(channels[0] + n, channels[0] + frames, 0.0f);
                std::fill(channels[1] + n, channels[1] + frames, 0.0f);
                samples->position.store(at + n, std::memory_order_relaxed);
            });
        if (!opened) return opened.asFailure();
        output_ = std::move(*opened);
    }
    samples_->position.store(0);
    if (auto status = output_->start(); !status) {
        output_.reset();
        return status;
    }
    timer_ = DispatchTimer::scheduleOnce(durationSeconds() + output_->latencySeconds() + tailMarginSeconds,
                                         std::move(heard));
    return {};
}

void SoundFilePlayback::stop() {
    if (timer_) timer_->cancel();
    timer_.reset();
    if (output_) output_->stop();
}

double SoundFilePlayback::durationSeconds() const {
    return samples_ ? static_cast<double>(samples_->left.size()) / playbackSampleRate : 0.0;
}

} // namespace vtl
