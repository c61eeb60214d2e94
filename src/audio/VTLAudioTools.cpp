#include "audio/VTLAudioTools.h"

#include "platform/foundation/Log.h"

#include <algorithm>

namespace vtl {

namespace {
constexpr std::uint32_t highestUsableRate = 128000;
constexpr const char* loopbackName = "System Audio (Vistrel)";
} // namespace

std::optional<AudioDeviceDescription> VTLAudioTools::device(std::uint32_t deviceID, AudioHardware& hardware) {
    if (deviceID == 0) return std::nullopt;
    for (auto& d : hardware.devices())
        if (d.deviceID == deviceID) return d;
    return std::nullopt;
}

std::size_t VTLAudioTools::numberAudioDevices(AudioHardware& hardware) {
    return hardware.devices().size();
}

std::uint32_t VTLAudioTools::deviceAtIndex(std::size_t index, AudioHardware& hardware) {
    const auto all = hardware.devices();
    return index < all.size() ? all[index].deviceID : 0;
}

std::uint32_t VTLAudioTools::defaultOutputDeviceID(AudioHardware& hardware) {
    const std::uint32_t id = hardware.defaultOutputDeviceID();
    if (id == 0) logMessage("Cannot find default output device!");
    return id;
}

std::uint32_t VTLAudioTools::defaultInputDevice(AudioHardware& hardware) {
    const std::uint32_t id = hardware.defaultInputDeviceID();
    if (id == 0) logMessage("Cannot find default input device!");
    return id;
}

std::optional<std::uint32_t> VTLAudioTools::loopbackDeviceID(AudioHardware& hardware) {
    for (const auto& d : hardware.devices())
        if (d.name == loopbackName) return d.deviceID;
    return std::nullopt;
}

std::uint32_t VTLAudioTools::builtInOutputDeviceID(AudioHardware& hardware) {
    for (const auto& d : hardware.devices())
        if (d.outputStreamCount > 0 && d.builtIn) return d.deviceID;
    return 0;
}

std::string VTLAudioTools::deviceName(std::uint32_t deviceID, AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    return d ? d->name : std::string();
}

std::string VTLAudioTools::persistentDeviceUID(std::uint32_t deviceID, AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    return d ? d->persistentUID : std::string();
}

std::vector<std::uint32_t> VTLAudioTools::availableNominalSampligRatesForDevice(std::uint32_t deviceID,
                                                                                AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    return d ? d->nominalSampleRates : std::vector<std::uint32_t>{};
}

std::uint32_t VTLAudioTools::setDeviceSamplingRate(std::uint32_t deviceID, std::uint32_t wantedRate,
                                                   AudioHardware& hardware) {
    const auto rates = availableNominalSampligRatesForDevice(deviceID, hardware);
    if (rates.empty()) return 0;
    auto it = std::find_if(rates.begin(), rates.end(),
                           [&](std::uint32_t r) { return r >= wantedRate && r <= highestUsableRate; });
    std::uint32_t rate = 0;
    if (it != rates.end()) {
        rate = *it;
    } else {
        rate = rates.back();
        logMessage("No sampling rates equal or above " + std::to_string(wantedRate) +
                   " found. Using next best: " + std::to_string(rate) + ".");
    }
    if (auto status = hardware.setNominalSampleRate(deviceID, rate); !status) {
        logMessage("The sample rate could not be set: " + status.error());
        return 0;
    }
    return rate;
}

bool VTLAudioTools::deviceWithIDIsInput(std::uint32_t deviceID, AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    return d && !d->inputStreams.empty();
}

std::uint32_t VTLAudioTools::numberOfOutputsOfDevice(std::uint32_t deviceID, AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    return d ? d->outputStreamCount : 0;
}

std::uint32_t VTLAudioTools::numberOfChannelsOfDevice(std::uint32_t deviceID, AudioHardware& hardware) {
    auto d = device(deviceID, hardware);
    if (!d || !d->inputChannelCount) {
        logMessage("could not get number of channels for device " + std::to_string(deviceID));
        return 0;
    }
    return *d->inputChannelCount;
}

PropertyList VTLAudioTools::persistentUIDDictionariesForAudioDevices(
    const std::vector<CompositionAudioRecordDevice>& devices) {
    PropertyList list = PropertyList::array();
    for (const auto& d : devices) {
        if (d.persistentDeviceUID().empty()) continue;
        list.append(
            PropertyList::dictionary({{"persistentUID", d.persistentDeviceUID()},
                                      {"audioStreamID", static_cast<std::int64_t>(d.audioStreamID())}}));
    }
    return list;
}

std::vector<CompositionAudioRecordDevice>
VTLAudioTools::devicesForAudioPersistentUIDs(const PropertyList& stored, AudioHardware& hardware) {
    std::vector<CompositionAudioRecordDevice> result;
    const PlistArray* entries = stored.arrayValue();
    if (!entries) return result;
    const auto present = CompositionAudioRecordDevice::recordDevices(hardware);
    for (const auto& entry : *entries) {
        const std::string* uid = entry.stringForKey("persistentUID");
        const auto stream = entry.integerForKey("audioStreamID");
        if (!uid || !stream || *stream < 0 || *stream > 0xFFFFFFFFll) continue;
        if (auto d = CompositionAudioRecordDevice::findByPersistentUID(present, *uid,
                                                                       static_cast<std::uint32_t>(*stream)))
            result.push_back(*d);
    }
    return result;
}

} // namespace vtl
