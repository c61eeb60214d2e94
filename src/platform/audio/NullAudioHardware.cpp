#include "platform/audio/NullAudioHardware.h"

#include "platform/audio/AudioFormat.h"

#include <algorithm>
#include <array>

namespace vtl {

struct NullAudioHardware::State {
    mutable Mutex mutex;
    std::vector<AudioDeviceDescription> devices VTL_GUARDED_BY(mutex);
    std::uint32_t defaultOutputID VTL_GUARDED_BY(mutex) = nullOutputDeviceID;
    std::uint32_t defaultInputID VTL_GUARDED_BY(mutex) = nullInputDeviceID;
    std::map<std::uint32_t, std::uint32_t> chosenRates VTL_GUARDED_BY(mutex);
    std::vector<OutputStream*> outputs VTL_GUARDED_BY(mutex);
    std::vector<InputStream*> inputs VTL_GUARDED_BY(mutex);

    const AudioDeviceDescription* find(std::uint32_t id) const VTL_REQUIRES(mutex) {
        for (const auto& d : devices)
            if (d.deviceID == id) return &d;
        return nullptr;
    }
};

class NullAudioHardware::OutputStream : public AudioOutputStream {
public:
    OutputStream(std::shared_ptr<State> state, std::uint32_t deviceID, AudioRenderCallback callback)
        : state_(std::move(state))
        , deviceID_(deviceID)
        , callback_(std::move(callback)) {
        MutexLock lock(state_->mutex);
        state_->outputs.push_back(this);
    }
    ~OutputStream() override {
        MutexLock lock(state_->mutex);
        std::erase(state_->outputs, this);
    }
    Status start() override {
        MutexLock lock(state_->mutex);
        running_ = true;
        return {};
    }
    void stop() override {
        MutexLock lock(state_->mutex);
        running_ = false;
    }
    bool isRunning() const override {
        MutexLock lock(state_->mutex);
        return running_;
    }
    std::uint64_t underrunCount() const override { return 0; }
    double latencySeconds() const override { return 0; }

    std::shared_ptr<State> state_;
    std::uint32_t deviceID_;
    AudioRenderCallback callback_;
    bool running_ = false; // guarded by state_->mutex
};

class NullAudioHardware::InputStream : public AudioInputStream {
public:
    InputStream(std::shared_ptr<State> state, std::uint32_t deviceID, std::uint32_t channels,
                std::uint32_t rate, AudioCaptureCallback callback)
        : state_(std::move(state))
        , deviceID_(deviceID)
        , channels_(channels)
        , rate_(rate)
        , callback_(std::move(callback)) {
        MutexLock lock(state_->mutex);
        state_->inputs.push_back(this);
    }
    ~InputStream() override {
        MutexLock lock(state_->mutex);
        std::erase(state_->inputs, this);
    }
    Status start() override {
        MutexLock lock(state_->mutex);
        running_ = true;
        return {};
    }
    void stop() override {
        MutexLock lock(state_->mutex);
        running_ = false;
    }
    bool isRunning() const override {
        MutexLock lock(state_->mutex);
        return running_;
    }
    std::uint32_t sampleRate() const override { return rate_; }
    std::uint32_t channelCount() const override { return channels_; }

    std::shared_ptr<State> state_;
    std::uint32_t deviceID_;
    std::uint32_t channels_;
    std::uint32_t rate_;
    AudioCaptureCallback callback_;
    bool running_ = false; // guarded by state_->mutex
};

NullAudioHardware::NullAudioHardware()
    : state_(std::make_shared<State>()) {
    AudioDeviceDescription output;
    output.deviceID = nullOutputDeviceID;
    output.name = "Null Output";
    output.persistentUID = "null.output";
    output.outputStreamCount = 1;
    output.outputChannelCount = 2;
    output.builtIn = true;
    output.nominalSampleRates = {44100, 48000};
    AudioDeviceDescription input;
    input.deviceID = nullInputDeviceID;
    input.name = "Null Input";
    input.persistentUID = "null.input";
    input.inputStreams = {{nullInputDeviceID, 1}};
    input.inputChannelCount = 2;
    input.inputChannelNames = {"Front Left", "Front Right"};
    input.nominalSampleRates = {44100, 48000};
    MutexLock lock(state_->mutex);
    state_->devices = {output, input};
}

NullAudioHardware::~NullAudioHardware() = default;

void NullAudioHardware::setDevices(std::vector<AudioDeviceDescription> devices, std::uint32_t defaultOutputID,
                                   std::uint32_t defaultInputID) {
    MutexLock lock(state_->mutex);
    state_->devices = std::move(devices);
    state_->defaultOutputID = defaultOutputID;
    state_->defaultInputID = defaultInputID;
}

NullAudioHardware::RenderedAudio NullAudioHardware::render(std::size_t frames, std::uint32_t deviceID) {
    RenderedAudio out;
    out.left.assign(frames, 0.0f);
    out.right.assign(frames, 0.0f);
    std::array<float, maximumFramesPerRender> left{};
    std::array<float, maximumFramesPerRender> right{};
    float* channels[2] = {left.data(), right.data()};
    MutexLock lock(state_->mutex);
    const std::uint32_t device = deviceID ? deviceID : state_->defaultOutputID;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min(maximumFramesPerRender, frames - done);
        for (OutputStream* stream : state_->outputs) {
            if (!stream->running_ || stream->deviceID_ != device) continue;
            std::fill_n(left.data(), n, 0.0f);
            std::fill_n(right.data(), n, 0.0f);
            stream->callback_(channels, n);
            for (std::size_t i = 0; i < n; ++i) {
                out.left[done + i] += left[i];
                out.right[done + i] += right[i];
            }
        }
        done += n;
    }
    return out;
}

void NullAudioHardware::capture(std::uint32_t deviceID, const float* interleaved, std::size_t frames,
                                std::uint32_t channelCount) {
    MutexLock lock(state_->mutex);
    for (InputStream* stream : state_->inputs)
        if (stream->running_ && stream->deviceID_ == deviceID)
            stream->callback_(interleaved, frames, channelCount);
}

std::size_t NullAudioHardware::openOutputStreamCount() const {
    MutexLock lock(state_->mutex);
    return state_->outputs.size();
}

std::uint32_t NullAudioHardware::chosenSampleRate(std::uint32_t deviceID) const {
    MutexLock lock(state_->mutex);
    auto it = state_->chosenRates.find(deviceID);
    return it == state_->chosenRates.end() ? 0 : it->second;
}

std::vector<AudioDeviceDescription> NullAudioHardware::devices() {
    MutexLock lock(state_->mutex);
    return state_->devices;
}

std::uint32_t NullAudioHardware::defaultOutputDeviceID() {
    MutexLock lock(state_->mutex);
    return state_->defaultOutputID;
}

std::uint32_t NullAudioHardware::defaultInputDeviceID() {
    MutexLock lock(state_->mutex);
    return state_->defaultInputID;
}

Status NullAudioHardware::setNominalSampleRate(std::uint32_t deviceID, std::uint32_t rate) {
    MutexLock lock(state_->mutex);
    if (!state_->find(deviceID)) return fail("The audio device is not present.");
    state_->chosenRates[deviceID] = rate;
    return {};
}

Result<std::unique_ptr<AudioOutputStream>> NullAudioHardware::openOutputStream(std::uint32_t deviceID,
                                                                               AudioRenderCallback callback) {
    std::uint32_t device = 0;
    {
        MutexLock lock(state_->mutex);
        device = deviceID ? deviceID : state_->defaultOutputID;
        const AudioDeviceDescription* d = state_->find(device);
        if (!d || d->outputStreamCount == 0) return fail("The audio output device is not present.");
    }
    return std::unique_ptr<AudioOutputStream>(
        std::make_unique<OutputStream>(state_, device, std::move(callback)));
}

Result<std::unique_ptr<AudioInputStream>> NullAudioHardware::openInputStream(std::uint32_t deviceID,
                                                                             std::uint32_t channelCount,
                                                                             std::uint32_t sampleRate,
                                                                             AudioCaptureCallback callback) {
    if (channelCount == 0 || channelCount > 32) return fail("The channel count is not supported.");
    if (sampleRate < 1000 || sampleRate > 384000) return fail("The sample rate is not supported.");
    {
        MutexLock lock(state_->mutex);
        const AudioDeviceDescription* d = state_->find(deviceID);
        if (!d || d->inputStreams.empty()) return fail("The audio input device is not present.");
    }
    return std::unique_ptr<AudioInputStream>(
        std::make_unique<InputStream>(state_, deviceID, channelCount, sampleRate, std::move(callback)));
}

} // namespace vtl
