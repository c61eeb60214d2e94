#pragma once
// A lock-free ring of stereo planar frames between one writer (the feeder thread) and one reader
// (the render thread). clear() only while neither side runs. Owned by the player's feeder.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

class AudioRingBuffer {
public:
    // Capacity is rounded up to a power of two.
    explicit AudioRingBuffer(std::size_t capacityFrames);

    std::size_t capacity() const { return mask_ + 1; }
    std::size_t readAvailable() const;
    std::size_t writeAvailable() const;

    // Writer: copies up to `frames` frames; returns how many fit.
    std::size_t write(const float* left, const float* right, std::size_t frames);
    // Reader: copies up to `frames` frames out; returns how many there were.
    std::size_t read(float* left, float* right, std::size_t frames);
    // Reader: drops up to `frames` frames; returns how many.
    std::size_t discard(std::size_t frames);
    // Reader: drops everything written before the writer's count reached `writtenCount`.
    void discardUntil(std::uint64_t writtenCount);
    // Frames written since the start, for the writer to mark a point in the stream.
    std::uint64_t writtenCount() const { return written_.load(std::memory_order_acquire); }

    void clear();

private:
    std::vector<float> left_;
    std::vector<float> right_;
    std::size_t mask_;
    alignas(64) std::atomic<std::uint64_t> written_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
};

} // namespace vtl
