// vistrel-remote-record --recorder PATH --package PATH [--seconds N] [--fps N] [--rect "{{x, y}, {w, h}}"]
//                       [--system-audio] [--audio-device UID]... [--pause-at S:D]...
//                       [--mouse] [--hide-desktop R;G;B;A] [--show-area] [--stop-key CODE:MODS]
// Starts the recorder program, records the first screen (or the rectangle, in global points) and
// stops after N seconds (never when N is 0). --system-audio adds what the machine plays,
// --audio-device the input with that persistent UID; --pause-at pauses S seconds after the start
// for D seconds. --mouse shows the recorded pointer, --hide-desktop covers the desktop in the
// colour (components from 0 to 1), --show-area frames the recorded area, --stop-key sets the stop
// hot key (stored key code and modifier mask, e.g. 8:6144). Prints "recording <pid>" once the
// recording has started and the done info as XML at the end; sentences the recorder shows the
// user go to standard error.
#include "audio/CompositionAudioRecordDevice.h"
#include "platform/audio/AudioHardware.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Log.h"
#include "platform/mainloop/QtMainLoop.h"
#include "recorder/RecorderWindows.h"
#include "recorder/RecordingSettings.h"
#include "recordui/RemoteRecorderClient.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

bool parseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

struct PauseAt {
    double startSeconds = 0;
    double durationSeconds = 0;
};

// "S:D": a pause S seconds after the start, D seconds long.
bool parsePause(const std::string& text, PauseAt& out) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    return parseNumber(text.substr(0, colon), out.startSeconds) &&
           parseNumber(text.substr(colon + 1), out.durationSeconds) && out.startSeconds >= 0 &&
           out.durationSeconds > 0 && out.startSeconds + out.durationSeconds <= 86400;
}

// "CODE:MODS": a stored key code and modifier mask, both unsigned 32-bit decimals.
std::optional<vtl::HotKeyRecord> parseHotKey(const std::string& text) {
    std::size_t colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    auto number = [](const std::string& part) -> std::optional<std::uint32_t> {
        if (part.empty() || part.size() > 10 || part.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        unsigned long long value = std::strtoull(part.c_str(), nullptr, 10);
        if (value > 0xffffffffull) return std::nullopt;
        return static_cast<std::uint32_t>(value);
    };
    std::optional<std::uint32_t> code = number(text.substr(0, colon)), mods = number(text.substr(colon + 1));
    if (!code || !mods) return std::nullopt;
    return vtl::HotKeyRecord{*code, *mods};
}

} // namespace

constexpr const char* usageText =
    "usage: vistrel-remote-record --recorder PATH --package PATH [--seconds N] [--fps N] [--rect R] "
    "[--system-audio]\n"
    "       [--audio-device UID]... [--pause-at S:D]... [--mouse] [--hide-desktop R;G;B;A]\n"
    "       [--show-area] [--stop-key CODE:MODS]\n";

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        }
    QCoreApplication app(argc, argv);
    vtl::installQtMainLoop();

    std::string recorderPath, packagePath;
    double seconds = 10;
    vtl::RecordingSettings settings;
    settings.frameRate = 10;
    bool systemAudio = false;
    std::vector<std::string> audioDevices;
    std::vector<PauseAt> pauses;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        // Switches without a value.
        if (option == "--mouse") {
            settings.recordMouse = true;
            continue;
        }
        if (option == "--show-area") {
            settings.showRecordAreaWhileRecording = true;
            continue;
        }
        if (option == "--system-audio") {
            systemAudio = true;
            continue;
        }
        static const std::set<std::string> withValue{"--recorder", "--package",      "--seconds",
                                                     "--fps",      "--rect",         "--audio-device",
                                                     "--pause-at", "--hide-desktop", "--stop-key"};
        if (!withValue.contains(option)) {
            std::fprintf(stderr, "vistrel-remote-record: unknown option %s\n", option.c_str());
            std::fputs(usageText, stderr);
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "The option %s needs a value\n", option.c_str());
            return 2;
        }
        std::string value = argv[++i];
        if (option == "--audio-device") {
            audioDevices.push_back(value);
        } else if (option == "--pause-at") {
            PauseAt pause;
            if (!parsePause(value, pause)) {
                std::fprintf(stderr, "Not a pause S:D (start and length in seconds): %s\n", value.c_str());
                return 2;
            }
            pauses.push_back(pause);
        } else if (option == "--recorder") {
            recorderPath = value;
        } else if (option == "--package") {
            packagePath = value;
        } else if (option == "--seconds") {
            // At most a day: the stop timer counts milliseconds in an int.
            if (!parseNumber(value, seconds) || seconds < 0 || seconds > 86400) {
                std::fprintf(stderr, "Not a number of seconds from 0 to 86400: %s\n", value.c_str());
                return 2;
            }
        } else if (option == "--fps") {
            double fps = 0;
            if (!parseNumber(value, fps) || fps < 2 || fps > 120 || fps != std::trunc(fps)) {
                std::fprintf(stderr, "Not a frame rate from 2 to 120: %s\n", value.c_str());
                return 2;
            }
            settings.frameRate = static_cast<int>(fps);
        } else if (option == "--rect") {
            std::optional<vtl::Rect> rect = vtl::parseRect(value);
            if (!rect) {
                std::fprintf(stderr, "Not a rectangle: %s\n", value.c_str());
                return 2;
            }
            settings.recordMode = vtl::RecordMode::Area;
            settings.recordRect = *rect;
        } else if (option == "--hide-desktop") {
            if (!vtl::parseDesktopFillColor(value)) {
                std::fprintf(stderr, "Not a colour R;G;B;A with components from 0 to 1: %s\n", value.c_str());
                return 2;
            }
            settings.hideDesktop = true;
            settings.desktopFillColor.assign(value.begin(), value.end());
        } else if (option == "--stop-key") {
            std::optional<vtl::HotKeyRecord> key = parseHotKey(value);
            if (!key) {
                std::fprintf(stderr, "Not a key CODE:MODS: %s\n", value.c_str());
                return 2;
            }
            settings.hotkeys.stop = *key;
        } else {
            std::fprintf(stderr, "vistrel-remote-record: unknown option %s\n", option.c_str());
            std::fputs(usageText, stderr);
            return 2;
        }
    }
    if (recorderPath.empty() || packagePath.empty()) {
        std::fputs(usageText, stderr);
        return 2;
    }
    settings.path = packagePath;
    if (systemAudio || !audioDevices.empty()) {
        // Inputs are sent as the main application stores them: persistent UID and stream.
        const auto inputs = vtl::CompositionAudioRecordDevice::recordDevices();
        auto add = [&](const vtl::CompositionAudioRecordDevice& device) {
            settings.audioDevicesToRecord.push_back({device.persistentDeviceUID(), device.audioStreamID()});
        };
        if (systemAudio) {
            auto it = std::find_if(inputs.begin(), inputs.end(), [](const auto& d) {
                return d.name() == vtl::AudioHardware::systemAudioDeviceName;
            });
            if (it == inputs.end()) {
                std::fprintf(stderr, "There is no system audio to record\n");
                return 1;
            }
            add(*it);
        }
        for (const std::string& uid : audioDevices) {
            auto it = std::find_if(inputs.begin(), inputs.end(),
                                   [&](const auto& d) { return d.persistentDeviceUID() == uid; });
            if (it == inputs.end()) {
                std::fprintf(stderr, "No audio input device %s\n", uid.c_str());
                return 1;
            }
            add(*it);
        }
    }

    int status = 0;
    vtl::RemoteRecorderClient* clientPointer = nullptr;
    vtl::VistrelCallbacks callbacks;
    callbacks.remoteRecorderAvailable = [&] {
        vtl::IpcReply prepared = clientPointer->prepareMovieWithInfoDictionary(settings.toDictionary());
        // The main application routes the sound while it counts down.
        vtl::IpcReply routed = prepared ? clientPointer->startAudioRouting() : prepared;
        vtl::IpcReply started = routed ? clientPointer->startRecording() : routed;
        if (!started) {
            std::fprintf(stderr, "The recording did not start: %s\n", started.error.c_str());
            clientPointer->quitWithoutRecording();
            status = 1;
            QCoreApplication::quit();
            return;
        }
        std::printf("recording %lld\n", static_cast<long long>(clientPointer->recorderProcessId()));
        std::fflush(stdout);
        if (seconds > 0)
            QTimer::singleShot(static_cast<int>(seconds * 1000), [&] { clientPointer->stopRecord(); });
        for (const PauseAt& pause : pauses) {
            QTimer::singleShot(static_cast<int>(pause.startSeconds * 1000),
                               [&] { clientPointer->pauseResumeRecord(); });
            QTimer::singleShot(static_cast<int>((pause.startSeconds + pause.durationSeconds) * 1000),
                               [&] { clientPointer->pauseResumeRecord(); });
        }
    };
    callbacks.recordDoneWithInfo = [&](const std::optional<vtl::PropertyList>& info) {
        if (info) {
            auto xml = info->toBytes(vtl::PropertyListFormat::Xml);
            std::fwrite(xml.value().data(), 1, xml.value().size(), stdout);
        } else {
            std::printf("no done info\n");
        }
        std::fflush(stdout);
        QCoreApplication::quit();
    };
    callbacks.presentRecordError = [](const std::string& message) {
        std::fprintf(stderr, "%s\n", message.c_str());
    };
    callbacks.setRecordingError = [&](int code) {
        std::fprintf(stderr, "recording error %d\n", code);
        status = 1;
    };
    vtl::RemoteRecorderClient client(callbacks);
    clientPointer = &client;
    std::string error;
    if (!client.vend(error) || !client.launchRecorder(recorderPath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int result = app.exec();
    return status != 0 ? status : result;
}
