#pragma once
// A lock-free ring of interleaved frames of any channel count between one capture thread, which
// writes and never waits, and one writer thread, which reads. Frames that do not fit are counted
// as overrun, never blocked on. Owned by the recorder of one input.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

class AudioCaptureRing {
public:
    // Capacity is rounded up to a power of two frames.
    AudioCaptureRing(std::size_t capacityFrames, std::uint32_t channelCount);

    std::uint32_t channelCount() const { return channels_; }
    std::size_t capacityFrames() const { return mask_ + 1; }
    std::size_t readAvailable() const;

    // Capture thread: copies what fits of `frames` frames, the rest counts as overrun.
    std::size_t write(const float* interleaved, std::size_t frames);
    // Capture thread: frames of silence.
    std::size_t writeSilence(std::size_t frames);
    // Writer thread.
    std::size_t read(float* interleaved, std::size_t frames);
    std::size_t discard(std::size_t frames);

    // Frames that did not fit since the start. Any thread.
    std::uint64_t overrunFrames() const { return overrun_.load(std::memory_order_relaxed); }

private:
    std::vector<float> samples_;
    std::uint32_t channels_;
    std::size_t mask_;
    alignas(64) std::atomic<std::uint64_t> written_{0};
    alignas(64) std::atomic<std::uint64_t> read_{0};
    std::atomic<std::uint64_t> overrun_{0};
};

} // namespace vtl
