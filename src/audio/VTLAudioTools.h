#pragma once
// Questions about the machine's audio devices, asked of the device layer (the shared one unless
// one is given): lists, defaults, names, UIDs, sample rates, channel counts, the loop-back device
// that carries what the machine plays, and the stored form of record devices. No instances.

#include "audio/CompositionAudioRecordDevice.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class VTLAudioTools {
public:
    VTLAudioTools() = delete;

    static std::size_t numberAudioDevices(AudioHardware& hardware = *AudioHardware::shared());
    // 0 for an index out of range.
    static std::uint32_t deviceAtIndex(std::size_t index, AudioHardware& hardware = *AudioHardware::shared());
    // 0 (logged) when there is none.
    static std::uint32_t defaultOutputDeviceID(AudioHardware& hardware = *AudioHardware::shared());
    static std::uint32_t defaultInputDevice(AudioHardware& hardware = *AudioHardware::shared());
    // The device named "System Audio (Vistrel)"; nothing when there is none.
    static std::optional<std::uint32_t> loopbackDeviceID(AudioHardware& hardware = *AudioHardware::shared());
    // The first device with an output stream that is built in; 0 when there is none.
    static std::uint32_t builtInOutputDeviceID(AudioHardware& hardware = *AudioHardware::shared());

    // "" for an unknown device.
    static std::string deviceName(std::uint32_t deviceID, AudioHardware& hardware = *AudioHardware::shared());
    static std::string persistentDeviceUID(std::uint32_t deviceID,
                                           AudioHardware& hardware = *AudioHardware::shared());

    static std::vector<std::uint32_t>
    availableNominalSampligRatesForDevice(std::uint32_t deviceID,
                                          AudioHardware& hardware = *AudioHardware::shared());
    // The first offered rate at or above the wanted one (at most 128000), else the highest offered
    // (logged); 0 when none is offered or setting failed.
    static std::uint32_t setDeviceSamplingRate(std::uint32_t deviceID, std::uint32_t wantedRate,
                                               AudioHardware& hardware = *AudioHardware::shared());

    static bool deviceWithIDIsInput(std::uint32_t deviceID,
                                    AudioHardware& hardware = *AudioHardware::shared());
    static std::uint32_t numberOfOutputsOfDevice(std::uint32_t deviceID,
                                                 AudioHardware& hardware = *AudioHardware::shared());
    // Input channels of the device; 0 (logged) when they cannot be read.
    static std::uint32_t numberOfChannelsOfDevice(std::uint32_t deviceID,
                                                  AudioHardware& hardware = *AudioHardware::shared());

    // The stored form: [{"persistentUID": text, "audioStreamID": integer}], devices without a UID left out.
    static PropertyList
    persistentUIDDictionariesForAudioDevices(const std::vector<CompositionAudioRecordDevice>& devices);
    // The devices present for a stored form, in order; absent ones and malformed entries left out.
    static std::vector<CompositionAudioRecordDevice>
    devicesForAudioPersistentUIDs(const PropertyList& stored,
                                  AudioHardware& hardware = *AudioHardware::shared());

    // The description of one device; nothing when it is not present.
    static std::optional<AudioDeviceDescription> device(std::uint32_t deviceID, AudioHardware& hardware);
};

} // namespace vtl
