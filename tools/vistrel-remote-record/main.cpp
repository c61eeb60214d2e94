// vistrel-remote-record --recorder PATH --package PATH [--seconds N] [--fps N] [--rect "{{x, y}, {w, h}}"]
// Starts the recorder program, records the first screen (or the rectangle, in global points) and
// stops after N seconds (never when N is 0). Prints "recording <pid>" once the recording has
// started and the done info as XML at the end.
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Log.h"
#include "platform/mainloop/QtMainLoop.h"
#include "recorder/RecordingSettings.h"
#include "recordui/RemoteRecorderClient.h"

#include <QCoreApplication>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool parseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vtl::installQtMainLoop();

    std::string recorderPath, packagePath;
    double seconds = 10;
    vtl::RecordingSettings settings;
    settings.frameRate = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i], value = argv[i + 1];
        if (option == "--recorder") {
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
        } else {
            std::fprintf(stderr, "Unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (recorderPath.empty() || packagePath.empty()) {
        std::fprintf(stderr, "usage: %s --recorder PATH --package PATH [--seconds N] [--fps N] [--rect R]\n",
                     argv[0]);
        return 2;
    }
    settings.path = packagePath;

    int status = 0;
    vtl::RemoteRecorderClient* clientPointer = nullptr;
    vtl::VistrelCallbacks callbacks;
    callbacks.remoteRecorderAvailable = [&] {
        vtl::IpcReply prepared = clientPointer->prepareMovieWithInfoDictionary(settings.toDictionary());
        vtl::IpcReply started = prepared ? clientPointer->startRecording() : prepared;
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
