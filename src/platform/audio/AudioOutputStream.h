#pragma once
// One playback stream on an output device, opened by AudioHardware and owned by whoever opened it
// (a player). Created stopped; start() and stop() may repeat (a stopped stream is paused and its
// queued samples dropped, not torn down). The render callback runs on the audio thread and must
// not lock, allocate or wait; after the destructor returns it is never called again.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vtl {

// Fills `frames` (at most maximumFramesPerRender) frames of both planar channels.
using AudioRenderCallback = std::function<void(float* const* channels, std::size_t frames)>;

class AudioOutputStream {
public:
    virtual ~AudioOutputStream() = default;
    AudioOutputStream(const AudioOutputStream&) = delete;
    AudioOutputStream& operator=(const AudioOutputStream&) = delete;

    virtual Status start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Times the device ran dry because the stream did not deliver in time.
    virtual std::uint64_t underrunCount() const = 0;
    // How long a rendered frame waits before it is heard.
    virtual double latencySeconds() const = 0;

protected:
    AudioOutputStream() = default;
};

} // namespace vtl
