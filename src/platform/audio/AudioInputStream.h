#pragma once
// One capture stream from an input device (one per source), opened by AudioHardware and owned by
// whoever opened it. Created stopped. The capture callback runs on the audio thread with
// interleaved float frames and must not lock, allocate or wait; after the destructor returns it is
// never called again.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vtl {

using AudioCaptureCallback =
    std::function<void(const float* interleaved, std::size_t frames, std::uint32_t channelCount)>;

class AudioInputStream {
public:
    virtual ~AudioInputStream() = default;
    AudioInputStream(const AudioInputStream&) = delete;
    AudioInputStream& operator=(const AudioInputStream&) = delete;

    virtual Status start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    virtual std::uint32_t sampleRate() const = 0;
    virtual std::uint32_t channelCount() const = 0;

protected:
    AudioInputStream() = default;
};

} // namespace vtl
