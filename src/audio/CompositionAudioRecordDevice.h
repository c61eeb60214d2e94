#pragma once
// One recordable audio input: one input stream of one device, with the channels of that stream.
// recordDevices() lists every such input of the machine, fresh at every call; the voice-over
// sheet, the record window and the recorder choose from it, and remember a choice by persistent
// UID and stream ID. Plain value; the caller owns it.

#include "platform/audio/AudioHardware.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CompositionAudioRecordDevice {
public:
    CompositionAudioRecordDevice(std::uint32_t deviceID, std::string name, std::string persistentDeviceUID,
                                 std::uint32_t streamID, std::uint32_t totalNumberOfStreamsInDevice);
    static CompositionAudioRecordDevice deviceWithName(std::string name, std::uint32_t deviceID,
                                                       std::string persistentDeviceUID,
                                                       std::uint32_t streamID,
                                                       std::uint32_t totalNumberOfStreamsInDevice) {
        return {deviceID, std::move(name), std::move(persistentDeviceUID), streamID,
                totalNumberOfStreamsInDevice};
    }

    static std::vector<CompositionAudioRecordDevice>
    recordDevices(AudioHardware& hardware = *AudioHardware::shared());
    static std::optional<CompositionAudioRecordDevice>
    deviceWithPersistentDeviceUID(const std::string& persistentUID, std::uint32_t audioStreamID,
                                  AudioHardware& hardware = *AudioHardware::shared());
    static std::optional<CompositionAudioRecordDevice>
    deviceWithDeviceID(std::uint32_t deviceID, std::uint32_t audioStreamID,
                       AudioHardware& hardware = *AudioHardware::shared());
    // The device's first input stream, without its channels; nothing when there is no such device.
    static std::optional<CompositionAudioRecordDevice>
    firstStreamOfDeviceWithDevicePersistentUID(const std::string& persistentUID,
                                               AudioHardware& hardware = *AudioHardware::shared());
    static std::optional<CompositionAudioRecordDevice>
    firstStreamOfDeviceWithDeviceID(std::uint32_t deviceID,
                                    AudioHardware& hardware = *AudioHardware::shared());
    // The first entry of `devices` with that UID that is its device's only stream or has that stream ID.
    static std::optional<CompositionAudioRecordDevice>
    findByPersistentUID(const std::vector<CompositionAudioRecordDevice>& devices,
                        const std::string& persistentUID, std::uint32_t audioStreamID);

    // Sets n channels from device channel f (counted from 1) for stream index i. Three or more
    // channels of a one-stream device are reduced to the device's preferred stereo pair.
    void setNumberOfChannels(std::uint32_t numberOfChannels, std::uint32_t firstChannel,
                             std::uint32_t streamIndex, AudioHardware& hardware = *AudioHardware::shared());
    void setNumberOfChannels(std::uint32_t numberOfChannels, std::uint32_t firstChannel,
                             std::uint32_t streamIndex, const AudioDeviceDescription* device);
    void setDeviceNumberOfChannels(std::uint32_t channels) { deviceNumberOfChannels_ = channels; }

    std::uint32_t deviceID() const { return deviceID_; }
    std::uint32_t audioStreamID() const { return audioStreamID_; }
    std::uint32_t streamIndex() const { return streamIndex_; }
    const std::string& name() const { return name_; }
    const std::string& persistentDeviceUID() const { return persistentDeviceUID_; }
    std::uint32_t totalNumberOfStreamsInDevice() const { return totalNumberOfStreamsInDevice_; }
    const std::vector<std::string>& channelNames() const { return channelNames_; }
    std::uint32_t deviceNumberOfChannels() const { return deviceNumberOfChannels_; }
    std::uint32_t streamNumberOfChannels() const { return numberOfChannels_; }
    std::uint32_t firstChannel() const { return firstChannel_; }
    bool needsChannelReductionForStereo() const { return needsChannelReductionForStereo_; }

    // Same persistent UID, and the same stream or a device with a single stream.
    bool operator==(const CompositionAudioRecordDevice& other) const;
    std::string description() const;

private:
    std::uint32_t deviceID_;
    std::uint32_t audioStreamID_;
    std::uint32_t streamIndex_ = 0;
    std::string name_;
    std::string persistentDeviceUID_;
    std::uint32_t totalNumberOfStreamsInDevice_;
    std::vector<std::string> channelNames_;
    std::uint32_t deviceNumberOfChannels_ = 0;
    std::uint32_t numberOfChannels_ = 0;
    std::uint32_t firstChannel_ = 0;
    bool needsChannelReductionForStereo_ = false;
};

} // namespace vtl
