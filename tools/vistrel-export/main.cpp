// vistrel-export INPUT OUT.(mov|m4v|mp4) [--size WxH] [--fps N] [--codec h264|prores] [--bitrate B]:
// exports the composition package or recording package INPUT as a movie through the movie
// exporter, at its defaults where no option says otherwise. Progress goes to standard error. Exits
// 1 with one line on standard error when the input cannot be read or the movie cannot be made, 2 on
// wrong arguments.

#include "document/DocumentOpening.h"
#include "export/VTLMovieExporter.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/InterruptSignals.h"
#include "platform/foundation/Log.h"

#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

using namespace vtl;

namespace {

constexpr const char* usage = "usage: vistrel-export INPUT OUT.(mov|m4v|mp4) [--size WxH] [--fps N] [--codec "
                              "h264|prores] [--bitrate B]";
constexpr long maximumSide = 16384;

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-export: %s (%s)\n", message.c_str(), usage);
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vistrel-export: %s\n", message.c_str());
    return 1;
}

std::optional<long long> parseCount(const std::string& text, long long lowest, long long highest) {
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < lowest || value > highest) return std::nullopt;
    return value;
}

class StderrProgress : public VTLMovieExportProgressDelegate {
public:
    explicit StderrProgress(double length)
        : length_(length) {}
    void exportProgressedTo(double seconds) override {
        if (length_ > 0)
            std::fprintf(stderr, "\rvistrel-export: %.1f of %.1f s (%3.0f%%)", seconds, length_,
                         std::min(100.0, 100.0 * seconds / length_));
        else
            std::fprintf(stderr, "\rvistrel-export: %.1f s", seconds);
        std::fflush(stderr);
        shown_ = true;
    }
    void endLine() {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    double length_;
    bool shown_ = false;
};

int runTool(int argc, char** argv) {
    std::optional<std::string> input, output, sizeText, fpsText, codecText, bitrateText;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::printf("%s\n", usage);
            return 0;
        }
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (argument == "--size") {
            if (!value(sizeText)) return usageError("--size needs a value.");
        } else if (argument == "--fps") {
            if (!value(fpsText)) return usageError("--fps needs a value.");
        } else if (argument == "--codec") {
            if (!value(codecText)) return usageError("--codec needs a value.");
        } else if (argument == "--bitrate") {
            if (!value(bitrateText)) return usageError("--bitrate needs a value.");
        } else if (argument.rfind("--", 0) == 0) {
            return usageError("unknown option " + argument + ".");
        } else if (!input) {
            input = argument;
        } else if (!output) {
            output = argument;
        } else {
            return usageError("only one input and one output can be given.");
        }
    }
    if (!input) return usageError("no input given.");
    if (!output) return usageError("no output file given.");
    std::string extension = std::filesystem::path(*output).extension().string();
    for (char& c : extension)
        c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (extension != ".mov" && extension != ".m4v" && extension != ".mp4")
        return usageError("the output \"" + *output + "\" does not end in .mov, .m4v or .mp4.");
    std::optional<Size> size;
    if (sizeText) {
        const std::size_t x = sizeText->find('x');
        const auto w =
            x == std::string::npos ? std::nullopt : parseCount(sizeText->substr(0, x), 1, maximumSide);
        const auto h =
            x == std::string::npos ? std::nullopt : parseCount(sizeText->substr(x + 1), 1, maximumSide);
        if (!w || !h)
            return usageError("the size \"" + *sizeText + "\" is not WxH with sides from 1 to " +
                              std::to_string(maximumSide) + ".");
        size = Size{double(*w), double(*h)};
    }
    std::optional<long long> fps;
    if (fpsText && !(fps = parseCount(*fpsText, 1, 240)))
        return usageError("the frame rate \"" + *fpsText + "\" is not a whole number from 1 to 240.");
    ExportVideoCodec codec = ExportVideoCodec::H264;
    if (codecText) {
        if (*codecText == "prores")
            codec = ExportVideoCodec::ProRes422;
        else if (*codecText != "h264")
            return usageError("the codec \"" + *codecText + "\" is neither h264 nor prores.");
    }
    if (codec != ExportVideoCodec::H264 && extension != ".mov")
        return usageError("ProRes movies can only be written as .mov.");
    std::optional<long long> bitrate;
    if (bitrateText && !(bitrate = parseCount(*bitrateText, 0, 1000000000000LL)))
        return usageError("the bit rate \"" + *bitrateText + "\" is not a whole number of bits a second.");

    // Texts lay out with the font system, which needs an application object; no display is used.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char qtName[] = "vistrel-export";
    static char* qtArgv[] = {qtName, nullptr};
    // The tool reports failures in one line of its own; the toolkit's notes would add more.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication application(qtArgc, qtArgv);
    // Likewise the system's log lines: a failure is reported once, in the tool's line.
    setLogSink([](std::string_view) {});

    // Ctrl-C and SIGTERM cancel the export, which then removes its unfinished movie.
    interrupts::catchInterrupts();
    const std::filesystem::path temporary =
        std::filesystem::temp_directory_path() / ("vistrel-export-" + std::to_string(::getpid()));
    SharedMediaManager media(temporary);
    Result<std::unique_ptr<CompositionDocument>> opened = openDocument(*input, media);
    if (!opened) return failure(opened.error());
    const std::shared_ptr<CompositionObjectsContainer> container = opened.value()->objectsContainer();

    StderrProgress progress(container->maximumVisibleTime());
    VTLMovieExporter exporter(container);
    exporter.setExportPath(*output);
    exporter.setVideoCodec(codec);
    if (size) {
        exporter.setExportSize(*size);
        // The codec may need even sides: the movie then is not quite the size asked for.
        const ExportPixelSize pixels = exportPixelSize(*size, 1.0f, codec);
        if (pixels.width > 0 && (pixels.width != int(size->width) || pixels.height != int(size->height)))
            std::fprintf(stderr, "vistrel-export: the size %s was rounded to %dx%d.\n", sizeText->c_str(),
                         pixels.width, pixels.height);
    }
    if (fps) exporter.setFrameRate(*fps);
    if (bitrate) exporter.setBitrate(std::uint64_t(*bitrate));
    exporter.setProgressDelegate(&progress);
    if (Status started = exporter.startExport(); !started) return failure(started.error());
    while (!exporter.isFinished()) {
        if (interrupts::caughtSignal() != 0) exporter.cancelExport();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const Status finished = exporter.waitUntilFinished();
    progress.endLine();
    if (!finished && interrupts::caughtSignal() != 0) {
        std::fprintf(stderr, "vistrel-export: interrupted; no movie was written.\n");
        interrupts::endAsInterrupted();
    }
    if (!finished) return failure(finished.error());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Running out of memory on a large input is reported as any other failure is, never an abort.
    try {
        return runTool(argc, argv);
    } catch (const std::bad_alloc&) {
        return failure("there is not enough memory for this input.");
    }
}
