#include "audio/CompositionAudioRecordDevice.h"

#include "audio/VTLAudioTools.h"
#include "platform/foundation/Log.h"

#include <cstdio>
#include <functional>

namespace vtl {

namespace {

std::optional<CompositionAudioRecordDevice>
firstStream(AudioHardware& hardware, const std::function<bool(const AudioDeviceDescription&)>& match) {
    for (const auto& d : hardware.devices()) {
        if (!match(d) || d.inputStreams.empty()) continue;
        return CompositionAudioRecordDevice(d.deviceID, d.name, d.persistentUID,
                                            d.inputStreams.front().streamID,
                                            static_cast<std::uint32_t>(d.inputStreams.size()));
    }
    return std::nullopt;
}

} // namespace

CompositionAudioRecordDevice::CompositionAudioRecordDevice(std::uint32_t deviceID, std::string name,
                                                           std::string persistentDeviceUID,
                                                           std::uint32_t streamID,
                                                           std::uint32_t totalNumberOfStreamsInDevice)
    : deviceID_(deviceID)
    , audioStreamID_(streamID)
    , name_(std::move(name))
    , persistentDeviceUID_(std::move(persistentDeviceUID))
    , totalNumberOfStreamsInDevice_(totalNumberOfStreamsInDevice) {}

std::vector<CompositionAudioRecordDevice>
CompositionAudioRecordDevice::recordDevices(AudioHardware& hardware) {
    std::vector<CompositionAudioRecordDevice> result;
    for (const AudioDeviceDescription& d : hardware.devices()) {
        if (d.inputStreams.empty()) continue;
        const std::uint32_t deviceChannels = d.inputChannelCount.value_or(0);
        if (!d.inputChannelCount)
            logMessage("could not get number of channels for device " + std::to_string(d.deviceID));
        const auto streamCount = static_cast<std::uint32_t>(d.inputStreams.size());
        const std::size_t first = result.size();
        for (const auto& stream : d.inputStreams) {
            result.emplace_back(d.deviceID, d.name, d.persistentUID, stream.streamID, streamCount);
            result.back().setDeviceNumberOfChannels(deviceChannels);
        }
        // From the last stream back: each stream reaches up to where the next one starts.
        std::uint32_t bound = deviceChannels + 1;
        for (std::size_t k = d.inputStreams.size(); k-- > 0;) {
            CompositionAudioRecordDevice& entry = result[first + k];
            const auto start = d.inputStreams[k].startingChannel;
            if (!start || *start == 0 || *start >= bound) {
                entry.setNumberOfChannels(deviceChannels, 0, 0, &d);
                continue;
            }
            entry.setNumberOfChannels(bound - *start, *start, static_cast<std::uint32_t>(k), &d);
            bound = *start;
        }
    }
    return result;
}

std::optional<CompositionAudioRecordDevice>
CompositionAudioRecordDevice::findByPersistentUID(const std::vector<CompositionAudioRecordDevice>& devices,
                                                  const std::string& persistentUID,
                                                  std::uint32_t audioStreamID) {
    for (const auto& d : devices)
        if (d.persistentDeviceUID() == persistentUID &&
            (d.totalNumberOfStreamsInDevice() == 1 || d.audioStreamID() == audioStreamID))
            return d;
    return std::nullopt;
}

std::optional<CompositionAudioRecordDevice> CompositionAudioRecordDevice::deviceWithPersistentDeviceUID(
    const std::string& persistentUID, std::uint32_t audioStreamID, AudioHardware& hardware) {
    return findByPersistentUID(recordDevices(hardware), persistentUID, audioStreamID);
}

std::optional<CompositionAudioRecordDevice>
CompositionAudioRecordDevice::deviceWithDeviceID(std::uint32_t deviceID, std::uint32_t audioStreamID,
                                                 AudioHardware& hardware) {
    for (const auto& d : recordDevices(hardware))
        if (d.deviceID() == deviceID && d.audioStreamID() == audioStreamID) return d;
    return std::nullopt;
}

std::optional<CompositionAudioRecordDevice>
CompositionAudioRecordDevice::firstStreamOfDeviceWithDevicePersistentUID(const std::string& persistentUID,
                                                                         AudioHardware& hardware) {
    return firstStream(hardware, [&](const auto& d) { return d.persistentUID == persistentUID; });
}

std::optional<CompositionAudioRecordDevice>
CompositionAudioRecordDevice::firstStreamOfDeviceWithDeviceID(std::uint32_t deviceID,
                                                              AudioHardware& hardware) {
    return firstStream(hardware, [&](const auto& d) { return d.deviceID == deviceID; });
}

void CompositionAudioRecordDevice::setNumberOfChannels(std::uint32_t numberOfChannels,
                                                       std::uint32_t firstChannel, std::uint32_t streamIndex,
                                                       AudioHardware& hardware) {
    const auto d = VTLAudioTools::device(deviceID_, hardware);
    setNumberOfChannels(numberOfChannels, firstChannel, streamIndex, d ? &*d : nullptr);
}

void CompositionAudioRecordDevice::setNumberOfChannels(std::uint32_t numberOfChannels,
                                                       std::uint32_t firstChannel, std::uint32_t streamIndex,
                                                       const AudioDeviceDescription* device) {
    numberOfChannels_ = numberOfChannels;
    firstChannel_ = firstChannel;
    streamIndex_ = streamIndex;
    channelNames_.clear();
    needsChannelReductionForStereo_ = false;
    if (numberOfChannels_ >= 3 && totalNumberOfStreamsInDevice_ == 1) {
        needsChannelReductionForStereo_ = true;
        if (device && device->preferredStereoPair) {
            const auto [left, right] = *device->preferredStereoPair;
            logMessage("stereo channels " + std::to_string(left) + " + " + std::to_string(right));
            if (right != left + 1) logMessage("Left and right channel not adjacent in channel map!");
            numberOfChannels_ = 2;
            firstChannel_ = left;
        } else {
            needsChannelReductionForStereo_ = false;
        }
    }
    for (std::uint32_t k = 0; k < numberOfChannels_; ++k) {
        const std::uint32_t channel = firstChannel_ + k;
        std::string label;
        if (device && channel >= 1 && channel <= device->inputChannelNames.size())
            label = device->inputChannelNames[channel - 1];
        channelNames_.push_back(label.empty() ? std::to_string(channel) : label);
    }
}

bool CompositionAudioRecordDevice::operator==(const CompositionAudioRecordDevice& other) const {
    return persistentDeviceUID_ == other.persistentDeviceUID_ &&
           (audioStreamID_ == other.audioStreamID_ || totalNumberOfStreamsInDevice_ == 1);
}

std::string CompositionAudioRecordDevice::description() const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(this));
    return "<CompositionAudioRecordDevice " + std::string(buffer) + " \"" + name_ + "\", ID " +
           std::to_string(deviceID_) + ", streamID " + std::to_string(audioStreamID_) + ", " +
           std::to_string(numberOfChannels_) + " channels>";
}

} // namespace vtl
