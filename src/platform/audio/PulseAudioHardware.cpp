#include "platform/audio/PulseAudioHardware.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/PulseAudioDeviceIDs.h"
#include "platform/audio/PulseConnection.h"
#include "platform/audio/PulseStreams.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

namespace vtl {

using detail::PulseConnection;
using detail::PulseLock;

namespace {

constexpr double connectTimeoutSeconds = 2.0;
constexpr double queryTimeoutSeconds = 2.0;
// After a failed connection, further attempts wait this long so a missing server costs little.
constexpr double reconnectDelaySeconds = 1.0;

struct DeviceProperties {
    std::uint32_t index = 0;
    std::string name;
    std::string description;
    std::string formFactor;
    std::string bus;
    pa_channel_map channelMap{};
    std::uint32_t monitorOfSink = PA_INVALID_INDEX;
};

struct ServerSnapshot {
    std::string defaultSinkName;
    std::string defaultSourceName;
    std::vector<DeviceProperties> sinks;
    std::vector<DeviceProperties> sources;
};

std::string propertyText(pa_proplist* properties, const char* key) {
    const char* value = properties ? pa_proplist_gets(properties, key) : nullptr;
    return value ? value : "";
}

DeviceProperties describe(std::uint32_t index, const char* name, const char* description,
                          pa_proplist* properties, const pa_channel_map& map) {
    DeviceProperties d;
    d.index = index;
    d.name = name ? name : "";
    d.description = description && *description ? description : d.name;
    d.formFactor = propertyText(properties, PA_PROP_DEVICE_FORM_FACTOR);
    d.bus = propertyText(properties, PA_PROP_DEVICE_BUS);
    d.channelMap = map;
    return d;
}

void serverInfoArrived(pa_context*, const pa_server_info* info, void* userdata) {
    auto* snapshot = static_cast<ServerSnapshot*>(userdata);
    if (!info) return;
    snapshot->defaultSinkName = info->default_sink_name ? info->default_sink_name : "";
    snapshot->defaultSourceName = info->default_source_name ? info->default_source_name : "";
}

void sinkArrived(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    if (eol || !info) return;
    static_cast<ServerSnapshot*>(userdata)->sinks.push_back(
        describe(info->index, info->name, info->description, info->proplist, info->channel_map));
}

void sourceArrived(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    if (eol || !info) return;
    DeviceProperties d =
        describe(info->index, info->name, info->description, info->proplist, info->channel_map);
    d.monitorOfSink = info->monitor_of_sink;
    static_cast<ServerSnapshot*>(userdata)->sources.push_back(std::move(d));
}

// PulseAudio resamples to whatever the device runs at, so every common rate is on offer.
const std::vector<std::uint32_t>& offeredSampleRates() {
    static const std::vector<std::uint32_t> rates = {8000,  11025, 16000, 22050,  32000, 44100,
                                                     48000, 88200, 96000, 176400, 192000};
    return rates;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> stereoPair(const pa_channel_map& map) {
    std::optional<std::uint32_t> left;
    std::optional<std::uint32_t> right;
    for (std::uint32_t k = 0; k < map.channels && k < PA_CHANNELS_MAX; ++k) {
        if (map.map[k] == PA_CHANNEL_POSITION_FRONT_LEFT && !left) left = k + 1;
        if (map.map[k] == PA_CHANNEL_POSITION_FRONT_RIGHT && !right) right = k + 1;
    }
    if (left && right) return std::make_pair(*left, *right);
    if (map.channels >= 2) return std::make_pair(1u, 2u);
    return std::nullopt;
}

std::vector<AudioDeviceDescription> devicesFrom(const ServerSnapshot& snapshot) {
    std::vector<AudioDeviceDescription> devices;
    std::uint32_t defaultSinkIndex = PA_INVALID_INDEX;
    bool anyInternal = false;
    for (const auto& sink : snapshot.sinks) {
        if (sink.name == snapshot.defaultSinkName) defaultSinkIndex = sink.index;
        anyInternal = anyInternal || sink.formFactor == "internal";
    }
    for (const auto& sink : snapshot.sinks) {
        AudioDeviceDescription d;
        d.deviceID = pulse::sinkDeviceID(sink.index);
        d.name = sink.description;
        d.persistentUID = sink.name;
        d.outputStreamCount = 1;
        d.outputChannelCount = sink.channelMap.channels;
        d.builtIn = anyInternal ? sink.formFactor == "internal" : sink.bus == "pci";
        d.nominalSampleRates = offeredSampleRates();
        devices.push_back(std::move(d));
    }
    for (const auto& source : snapshot.sources) {
        const bool isMonitor = source.monitorOfSink != PA_INVALID_INDEX;
        if (isMonitor && (defaultSinkIndex == PA_INVALID_INDEX || source.monitorOfSink != defaultSinkIndex))
            continue;
        AudioDeviceDescription d;
        d.deviceID = pulse::sourceDeviceID(source.index);
        d.name = isMonitor ? PulseAudioHardware::systemAudioDeviceName : source.description;
        d.persistentUID = source.name;
        d.inputStreams = {{d.deviceID, 1u}};
        d.inputChannelCount = source.channelMap.channels;
        for (std::uint32_t k = 0; k < source.channelMap.channels && k < PA_CHANNELS_MAX; ++k) {
            const char* pretty = pa_channel_position_to_pretty_string(source.channelMap.map[k]);
            d.inputChannelNames.emplace_back(pretty ? pretty : "");
        }
        d.preferredStereoPair = stereoPair(source.channelMap);
        d.builtIn = !isMonitor && (source.formFactor == "internal" || source.bus == "pci");
        d.nominalSampleRates = offeredSampleRates();
        devices.push_back(std::move(d));
    }
    return devices;
}

} // namespace

struct PulseAudioHardware::Impl {
    Mutex mutex;
    std::shared_ptr<PulseConnection> connection VTL_GUARDED_BY(mutex);
    std::chrono::steady_clock::time_point lastFailure VTL_GUARDED_BY(mutex){};
    bool failedBefore VTL_GUARDED_BY(mutex) = false;
    std::map<std::uint32_t, std::uint32_t> chosenRates VTL_GUARDED_BY(mutex);

    // The live connection, reconnecting when the server went away; null without a server.
    std::shared_ptr<PulseConnection> connect() {
        MutexLock lock(mutex);
        if (connection) {
            PulseLock pulseLock(*connection);
            if (connection->isReady()) return connection;
        }
        connection.reset();
        const auto now = std::chrono::steady_clock::now();
        if (failedBefore && now - lastFailure < std::chrono::duration<double>(reconnectDelaySeconds))
            return nullptr;
        auto opened = PulseConnection::open(connectTimeoutSeconds);
        if (!opened) {
            if (!failedBefore) logMessage(opened.error());
            failedBefore = true;
            lastFailure = now;
            return nullptr;
        }
        if (failedBefore) logMessage("The audio server can be reached again.");
        failedBefore = false;
        connection = *opened;
        return connection;
    }

    std::optional<ServerSnapshot> snapshot(const std::shared_ptr<PulseConnection>& c) {
        ServerSnapshot s;
        PulseLock lock(*c);
        bool ok = c->waitForOperation(pa_context_get_server_info(c->context(), serverInfoArrived, &s),
                                      queryTimeoutSeconds);
        ok = ok && c->waitForOperation(pa_context_get_sink_info_list(c->context(), sinkArrived, &s),
                                       queryTimeoutSeconds);
        ok = ok && c->waitForOperation(pa_context_get_source_info_list(c->context(), sourceArrived, &s),
                                       queryTimeoutSeconds);
        if (!ok) {
            logOnce("pulse.devices", "The audio server did not list its devices.");
            return std::nullopt;
        }
        return s;
    }

    std::vector<AudioDeviceDescription> devices() {
        auto c = connect();
        if (!c) return {};
        auto s = snapshot(c);
        return s ? devicesFrom(*s) : std::vector<AudioDeviceDescription>{};
    }
};

PulseAudioHardware::PulseAudioHardware()
    : impl_(std::make_unique<Impl>()) {}

PulseAudioHardware::~PulseAudioHardware() = default;

std::vector<AudioDeviceDescription> PulseAudioHardware::devices() {
    return impl_->devices();
}

std::uint32_t PulseAudioHardware::defaultOutputDeviceID() {
    auto c = impl_->connect();
    if (!c) return 0;
    auto s = impl_->snapshot(c);
    if (!s) return 0;
    for (const auto& sink : s->sinks)
        if (sink.name == s->defaultSinkName) return pulse::sinkDeviceID(sink.index);
    return 0;
}

std::uint32_t PulseAudioHardware::defaultInputDeviceID() {
    auto c = impl_->connect();
    if (!c) return 0;
    auto s = impl_->snapshot(c);
    if (!s) return 0;
    for (const auto& source : s->sources)
        if (source.name == s->defaultSourceName) return pulse::sourceDeviceID(source.index);
    return 0;
}

Status PulseAudioHardware::setNominalSampleRate(std::uint32_t deviceID, std::uint32_t rate) {
    const auto all = devices();
    if (std::none_of(all.begin(), all.end(), [&](const auto& d) { return d.deviceID == deviceID; }))
        return fail("The audio device is not present.");
    MutexLock lock(impl_->mutex);
    impl_->chosenRates[deviceID] = rate;
    return {};
}

Result<std::unique_ptr<AudioOutputStream>>
PulseAudioHardware::openOutputStream(std::uint32_t deviceID, AudioRenderCallback callback) {
    auto c = impl_->connect();
    if (!c) return fail("The audio server cannot be reached.");
    std::string sinkName;
    if (deviceID != 0) {
        const auto all = devices();
        auto it = std::find_if(all.begin(), all.end(), [&](const auto& d) { return d.deviceID == deviceID; });
        if (it == all.end() || it->outputStreamCount == 0)
            return fail("The audio output device is not present.");
        sinkName = it->persistentUID;
    }
    return detail::openPulseOutputStream(c, sinkName, std::move(callback));
}

namespace {

Status usableCaptureFormat(std::uint32_t channelCount, std::uint32_t sampleRate) {
    if (channelCount == 0 || channelCount > PA_CHANNELS_MAX)
        return fail("The channel count is not supported.");
    if (sampleRate < 1000 || sampleRate > PA_RATE_MAX) return fail("The sample rate is not supported.");
    return {};
}

} // namespace

Result<std::unique_ptr<AudioInputStream>> PulseAudioHardware::openInputStream(std::uint32_t deviceID,
                                                                              std::uint32_t channelCount,
                                                                              std::uint32_t sampleRate,
                                                                              AudioCaptureCallback callback) {
    if (Status usable = usableCaptureFormat(channelCount, sampleRate); !usable) return usable.asFailure();
    auto c = impl_->connect();
    if (!c) return fail("The audio server cannot be reached.");
    const auto all = devices();
    auto it = std::find_if(all.begin(), all.end(), [&](const auto& d) { return d.deviceID == deviceID; });
    if (it == all.end() || it->inputStreams.empty()) return fail("The audio input device is not present.");
    return detail::openPulseInputStream(c, it->persistentUID, channelCount, sampleRate, std::move(callback));
}

Result<std::unique_ptr<AudioInputStream>>
PulseAudioHardware::openSystemAudioStream(std::uint32_t channelCount, std::uint32_t sampleRate,
                                          AudioCaptureCallback callback) {
    if (Status usable = usableCaptureFormat(channelCount, sampleRate); !usable) return usable.asFailure();
    auto c = impl_->connect();
    if (!c) return fail("The audio server cannot be reached.");
    return detail::openPulseInputStream(c, "@DEFAULT_MONITOR@", channelCount, sampleRate,
                                        std::move(callback));
}

} // namespace vtl
