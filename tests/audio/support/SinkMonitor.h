#pragma once
// Test support: records the monitor of the default PulseAudio sink (mono, 44100 Hz) into memory
// from the capture thread, without allocating there, so tests can measure what players sent out.

#include "audio/VTLAudioTools.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/AudioInputStream.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace vtl::test {

class SinkMonitor {
public:
    static constexpr double rate = 44100;

    SinkMonitor(AudioHardware& hardware, double seconds)
        : samples_(static_cast<std::size_t>(seconds * rate), 0.0f) {
        auto id = VTLAudioTools::loopbackDeviceID(hardware);
        EXPECT_TRUE(id) << "no monitor of the default sink";
        if (!id) return;
        auto opened =
            hardware.openInputStream(*id, 1, static_cast<std::uint32_t>(rate),
                                     [this](const float* data, std::size_t frames, std::uint32_t) {
                                         const std::size_t at = count_.load(std::memory_order_relaxed);
                                         const std::size_t n = std::min(frames, samples_.size() - at);
                                         std::copy_n(data, n, samples_.data() + at);
                                         count_.store(at + n, std::memory_order_release);
                                     });
        EXPECT_TRUE(opened) << opened.error();
        if (opened) stream_ = std::move(*opened);
        if (stream_) {
            EXPECT_TRUE(stream_->start().ok());
        }
    }

    std::vector<float> stop() {
        if (stream_) stream_->stop();
        stream_.reset();
        return std::vector<float>(samples_.begin(),
                                  samples_.begin() + static_cast<std::ptrdiff_t>(count_.load()));
    }

private:
    std::vector<float> samples_;
    std::atomic<std::size_t> count_{0};
    std::unique_ptr<AudioInputStream> stream_;
};

} // namespace vtl::test
