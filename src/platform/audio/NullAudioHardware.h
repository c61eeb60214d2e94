#pragma once
// A device layer without a server: fake devices set by the caller, and streams that run only when
// the caller clocks them (render() pulls the running output streams of a device, capture() pushes
// frames into the running input streams of a device). Tests, benchmarks and offline mixing use it.
// Thread-safe; render() and capture() play the part of the audio thread.

#include "platform/audio/AudioHardware.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace vtl {

class NullAudioHardware : public AudioHardware {
public:
    static constexpr std::uint32_t nullOutputDeviceID = 1;
    static constexpr std::uint32_t nullInputDeviceID = 2;

    // One built-in stereo output and one stereo input, both defaults.
    NullAudioHardware();
    ~NullAudioHardware() override;

    void setDevices(std::vector<AudioDeviceDescription> devices, std::uint32_t defaultOutputID,
                    std::uint32_t defaultInputID);

    struct RenderedAudio {
        std::vector<float> left;
        std::vector<float> right;
    };
    // Renders `frames` frames of every running output stream of the device (0: the default output)
    // in calls of at most maximumFramesPerRender, and returns their sum.
    RenderedAudio render(std::size_t frames, std::uint32_t deviceID = 0);
    // Hands interleaved frames to every running input stream of the device.
    void capture(std::uint32_t deviceID, const float* interleaved, std::size_t frames,
                 std::uint32_t channelCount);

    std::size_t openOutputStreamCount() const;
    // The rate last set with setNominalSampleRate, or 0.
    std::uint32_t chosenSampleRate(std::uint32_t deviceID) const;

    std::vector<AudioDeviceDescription> devices() override;
    std::uint32_t defaultOutputDeviceID() override;
    std::uint32_t defaultInputDeviceID() override;
    Status setNominalSampleRate(std::uint32_t deviceID, std::uint32_t rate) override;
    Result<std::unique_ptr<AudioOutputStream>> openOutputStream(std::uint32_t deviceID,
                                                                AudioRenderCallback callback) override;
    Result<std::unique_ptr<AudioInputStream>> openInputStream(std::uint32_t deviceID,
                                                              std::uint32_t channelCount,
                                                              std::uint32_t sampleRate,
                                                              AudioCaptureCallback callback) override;

private:
    class OutputStream;
    class InputStream;
    struct State;

    std::shared_ptr<State> state_;
};

} // namespace vtl
