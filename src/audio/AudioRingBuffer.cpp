#include "audio/AudioRingBuffer.h"

#include <algorithm>
#include <bit>

namespace vtl {

AudioRingBuffer::AudioRingBuffer(std::size_t capacityFrames)
    : left_(std::bit_ceil(std::max<std::size_t>(capacityFrames, 2)))
    , right_(left_.size())
    , mask_(left_.size() - 1) {}

std::size_t AudioRingBuffer::readAvailable() const {
    return static_cast<std::size_t>(written_.load(std::memory_order_acquire) -
                                    read_.load(std::memory_order_relaxed));
}

std::size_t AudioRingBuffer::writeAvailable() const {
    return capacity() - static_cast<std::size_t>(written_.load(std::memory_order_relaxed) -
                                                 read_.load(std::memory_order_acquire));
}

std::size_t AudioRingBuffer::write(const float* left, const float* right, std::size_t frames) {
    const std::uint64_t w = written_.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, writeAvailable());
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t slot = static_cast<std::size_t>(w + i) & mask_;
        left_[slot] = left[i];
        right_[slot] = right[i];
    }
    written_.store(w + n, std::memory_order_release);
    return n;
}

std::size_t AudioRingBuffer::read(float* left, float* right, std::size_t frames) {
    const std::uint64_t r = read_.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, readAvailable());
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t slot = static_cast<std::size_t>(r + i) & mask_;
        left[i] = left_[slot];
        right[i] = right_[slot];
    }
    read_.store(r + n, std::memory_order_release);
    return n;
}

std::size_t AudioRingBuffer::discard(std::size_t frames) {
    const std::uint64_t r = read_.load(std::memory_order_relaxed);
    const std::size_t n = std::min(frames, readAvailable());
    read_.store(r + n, std::memory_order_release);
    return n;
}

void AudioRingBuffer::discardUntil(std::uint64_t writtenCount) {
    const std::uint64_t r = read_.load(std::memory_order_relaxed);
    if (writtenCount > r)
        read_.store(std::min(writtenCount, written_.load(std::memory_order_acquire)),
                    std::memory_order_release);
}

void AudioRingBuffer::clear() {
    read_.store(0);
    written_.store(0);
}

} // namespace vtl
