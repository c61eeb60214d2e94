#include "audio/AudioCaptureRing.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vtl {

AudioCaptureRing::AudioCaptureRing(std::size_t capacityFrames, std::uint32_t channelCount)
    : channels_(std::max<std::uint32_t>(channelCount, 1))
    , mask_(std::bit_ceil(std::max<std::size_t>(capacityFrames, 2)) - 1) {
    samples_.assign((mask_ + 1) * channels_, 0.0f);
}

std::size_t AudioCaptureRing::readAvailable() const {
    return static_cast<std::size_t>(written_.load(std::memory_order_acquire) -
                                    read_.load(std::memory_order_relaxed));
}

std::size_t AudioCaptureRing::write(const float* interleaved, std::size_t frames) {
    const std::uint64_t w = written_.load(std::memory_order_relaxed);
    const std::size_t free =
        capacityFrames() - static_cast<std::size_t>(w - read_.load(std::memory_order_acquire));
    const std::size_t n = std::min(frames, free);
    // At most two copies: up to the ring's end, then from its start.
    const std::size_t slot = static_cast<std::size_t>(w) & mask_;
    const std::size_t first = std::min(n, capacityFrames() - slot);
    if (interleaved) {
        std::memcpy(&samples_[slot * channels_], interleaved, first * channels_ * sizeof(float));
        std::memcpy(samples_.data(), interleaved + first * channels_,
                    (n - first) * channels_ * sizeof(float));
    } else {
        std::fill_n(&samples_[slot * channels_], first * channels_, 0.0f);
        std::fill_n(samples_.data(), (n - first) * channels_, 0.0f);
    }
    written_.store(w + n, std::memory_order_release);
    if (n < frames) overrun_.fetch_add(frames - n, std::memory_order_relaxed);
    return n;
}

std::size_t AudioCaptureRing::writeSilence(std::size_t frames) {
    return write(nullptr, frames);
}

std::size_t AudioCaptureRing::read(float* interleaved, std::size_t frames) {
    const std::uint64_t r = read_.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, readAvailable());
    const std::size_t slot = static_cast<std::size_t>(r) & mask_;
    const std::size_t first = std::min(n, capacityFrames() - slot);
    std::memcpy(interleaved, &samples_[slot * channels_], first * channels_ * sizeof(float));
    std::memcpy(interleaved + first * channels_, samples_.data(), (n - first) * channels_ * sizeof(float));
    read_.store(r + n, std::memory_order_release);
    return n;
}

std::size_t AudioCaptureRing::discard(std::size_t frames) {
    const std::uint64_t r = read_.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, readAvailable());
    read_.store(r + n, std::memory_order_release);
    return n;
}

} // namespace vtl
