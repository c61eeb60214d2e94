// vistrel-document INPUT [--summary] [--save OUT]: opens the composition package or recording
// package INPUT as the application does, prints a summary of it (also when nothing else is asked)
// and saves it as the composition package OUT. Exits 1 with one line on standard error when the
// input cannot be opened or the package cannot be saved, 2 on wrong arguments. Log lines are
// shown only with VISTREL_DOCUMENT_LOG set in the environment.

#include "document/CompositionDocument.h"
#include "document/DocumentOpening.h"
#include "document/DocumentPackage.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionChapterMark.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/InterruptSignals.h"
#include "platform/foundation/Log.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <unistd.h>

using namespace vtl;

namespace {

constexpr const char* usage = "usage: vistrel-document INPUT [--summary] [--save OUT]";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vistrel-document: %s (%s)\n", message.c_str(), usage);
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vistrel-document: %s\n", message.c_str());
    return 1;
}

void printSummary(const std::string& input, CompositionDocument& document) {
    const CompositionObjectsContainer& container = *document.objectsContainer();
    const Size canvas = container.canvasSize();
    std::printf("composition %s\n", input.c_str());
    std::printf("canvas %g x %g\n", canvas.width, canvas.height);
    std::printf("duration %.3f s\n", document.documentDuration());
    std::printf("time scale %g s\n", document.timeScale());
    std::printf("tracks %zu\n", container.countOfTracks());
    std::printf("objects %zu\n", container.allObjects().size());
    for (const auto& object : container.allObjects()) {
        const auto& track = object->containerTrack();
        std::printf("  %s \"%s\" track %d from %.3f to %.3f\n", object->className().c_str(),
                    object->name().c_str(), track ? int(track->trackNumber()) : 0, object->startTime(),
                    object->endTime());
    }
    const MediaEntryList entries = document.sharedMediaManager().entriesForDocument(&document);
    std::printf("media %zu\n", entries.size());
    for (const auto& entry : entries) {
        std::printf("  %s%s\n", entry->relativePathFromDocumentRoot().c_str(),
                    entry->isMissing() ? " (missing)" : "");
    }
    std::printf("chapter marks %zu\n", container.chapterMarks().size());
    for (const auto& mark : container.chronologicallySortedChapterMarks())
        std::printf("  %.3f \"%s\"\n", mark->time(), mark->name().c_str());
}

int runTool(int argc, char** argv) {
    std::optional<std::string> input, output;
    bool summary = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help") {
            std::printf("%s\n", usage);
            return 0;
        }
        if (argument == "--summary") {
            summary = true;
        } else if (argument == "--save") {
            if (i + 1 >= argc) return usageError("--save needs a value.");
            output = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            return usageError("unknown option " + argument + ".");
        } else if (input) {
            return usageError("only one input can be opened.");
        } else {
            input = argument;
        }
    }
    if (!input) return usageError("no input given.");
    if (output && std::filesystem::path(*output).filename().empty())
        return usageError("--save needs a package path.");

    // Texts lay out and the package icon is drawn with the font system, which needs an
    // application object; no display is used.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char qtName[] = "vistrel-document";
    static char* qtArgv[] = {qtName, nullptr};
    // The tool reports a failure in one line of its own; notes of the toolkit and the log would add more.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!std::getenv("VISTREL_DOCUMENT_LOG")) setLogSink([](std::string_view) {});
    QGuiApplication application(qtArgc, qtArgv);

    // Ctrl-C and SIGTERM cancel a save between its steps instead of cutting it anywhere.
    interrupts::catchInterrupts();
    const std::filesystem::path temporary =
        std::filesystem::temp_directory_path() / ("vistrel-document-" + std::to_string(::getpid()));
    struct RemoveTemporary {
        std::filesystem::path folder;
        ~RemoveTemporary() {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    } removeTemporary{temporary};
    SharedMediaManager media(temporary);
    auto document = std::make_unique<CompositionDocument>();
    document->setSharedMediaManager(&media);
    document->setSaveCancellation([] { return interrupts::caughtSignal() != 0; });
    const std::string type =
        isRecordingPackagePath(*input) ? package::recordingTypeName : "vistrelcomposition";
    if (Status read = document->readFromURL(*input, type); !read) return failure(read.error());
    if (summary || !output) printSummary(*input, *document);
    if (output) {
        if (Status saved = document->writeSafelyToURL(*output); !saved) {
            if (interrupts::caughtSignal() == 0) return failure(saved.error());
            std::fprintf(stderr, "vistrel-document: interrupted; %s was left as it was.\n", output->c_str());
            std::error_code ignored;
            std::filesystem::remove_all(temporary, ignored);
            interrupts::endAsInterrupted();
        }
    }
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
