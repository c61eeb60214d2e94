// Composition packages: opening and saving a composition of 500 texts and shapes against
// unarchiving and archiving-and-writing the same bytes, and the media copy of a first save against
// `cp -r` of the same recording package. The recording's size is DOCUMENT_BENCH_RECORDING_MB
// (default 64; 1024 for the 1 GB case).

#include "document/CompositionDocument.h"
#include "document/DocumentPackage.h"
#include "model/CompositionBaseObject.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "objects/TextVisualization.h"
#include "platform/foundation/FileHandle.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>

using namespace vtl;
namespace fs = std::filesystem;

namespace {

QGuiApplication& documentBenchApplication() {
    static int argc = 1;
    static char name[] = "document_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(argc, argv);
    return app;
}

const fs::path& benchFolder() {
    static const fs::path folder = [] {
        fs::path made = fs::temp_directory_path() / ("document-bench-" + std::to_string(::getpid()));
        fs::create_directories(made);
        std::atexit([] {
            fs::remove_all(fs::temp_directory_path() / ("document-bench-" + std::to_string(::getpid())));
        });
        return made;
    }();
    return folder;
}

SharedMediaManager& benchMedia() {
    static SharedMediaManager media(benchFolder() / "TemporaryResources");
    return media;
}

// A saved package of 250 texts and 250 shapes, made once.
const fs::path& objectsPackage() {
    static const fs::path package = [] {
        documentBenchApplication();
        setLogSink([](std::string_view) {});
        auto style = makeModelObject<TextVisualization>();
        style->setName("Bench");
        style->setFont(ArchivedFont{"DejaVu Sans", 18});
        CompositionTextObject::setDefaultStyleProvider([style] { return style; });
        CompositionDocument document;
        document.setSharedMediaManager(&benchMedia());
        CompositionObjectsContainer& container = *document.objectsContainer();
        container.setCanvasSize({1920, 1080});
        for (int i = 0; i < 250; ++i) {
            const double start = i * 0.5;
            auto shape = makeModelObject<CompositionShapeObject>(&container, int32_t(ShapeKind::Polygon));
            shape->setStartTimeEndTime(start, start + 4);
            shape->setRect(Rect(10 + i, 20 + i, 200, 120), start);
            shape->setColor(RGBAColor::device(0.2, 0.5, 0.8, 1), start);
            container.addObject(shape);
            auto text = makeModelObject<CompositionTextObject>(&container);
            text->setStartTimeEndTime(start, start + 4);
            container.addObject(text);
            text->setText("Text number " + std::to_string(i));
            text->setRect(Rect(300, 40 + i, 400, 60), start);
        }
        fs::path made = benchFolder() / "objects.vistrelcomposition";
        if (Status saved = document.writeSafelyToURL(made.string(), PackageIcon::Skip); !saved)
            std::fprintf(stderr, "document_bench: %s\n", saved.error().c_str());
        document.tearDown();
        return made;
    }();
    return package;
}

std::vector<std::uint8_t> compositionBytes() {
    return FileHandle::readWholeFile((objectsPackage() / package::compositionFileName).string()).value();
}

void BM_OpenComposition(benchmark::State& state) {
    const fs::path& package = objectsPackage();
    for (auto _ : state) {
        CompositionDocument document;
        document.setSharedMediaManager(&benchMedia());
        if (!document.readFromURL(package.string()).ok()) state.SkipWithError("the package does not open");
        state.PauseTiming();
        document.tearDown();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenComposition)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the object graph decoded from bytes already in memory.
void BM_UnarchiveComposition(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = compositionBytes();
    package::registerDocumentClasses();
    for (auto _ : state) {
        KeyedUnarchiver coder;
        if (!coder.open(bytes).ok()) state.SkipWithError("damaged");
        auto root = coder.decodeDictionaryForKey("root");
        benchmark::DoNotOptimize(root);
    }
}
BENCHMARK(BM_UnarchiveComposition)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveComposition(benchmark::State& state) {
    CompositionDocument document;
    document.setSharedMediaManager(&benchMedia());
    if (!document.readFromURL(objectsPackage().string()).ok())
        state.SkipWithError("the package does not open");
    const fs::path target = benchFolder() / "saved.vistrelcomposition";
    (void)document.writeSafelyToURL(target.string(), PackageIcon::Skip);
    for (auto _ : state) {
        if (!document.writeSafelyToURL(target.string(), PackageIcon::Skip).ok())
            state.SkipWithError("save failed");
    }
    document.tearDown();
}
BENCHMARK(BM_SaveComposition)->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: the same root archived and written durably (written, synced) to one file.
void BM_ArchiveAndWriteComposition(benchmark::State& state) {
    CompositionDocument document;
    document.setSharedMediaManager(&benchMedia());
    if (!document.readFromURL(objectsPackage().string()).ok())
        state.SkipWithError("the package does not open");
    package::RootValues root;
    root.container = document.objectsContainer();
    root.mediaEntries = benchMedia().entriesForDocument(&document);
    const fs::path target = benchFolder() / "plain-composition";
    for (auto _ : state) {
        Result<PlistBytes> bytes = package::archiveRoot(root);
        Result<FileHandle> file = FileHandle::open(target.string(), FileOpenMode::CreateTruncate);
        if (!bytes || !file) state.SkipWithError("cannot write");
        (void)file.value().writeAll(bytes.value().data(), bytes.value().size());
        (void)file.value().sync();
        (void)file.value().close();
    }
    document.tearDown();
}
BENCHMARK(BM_ArchiveAndWriteComposition)->Unit(benchmark::kMillisecond)->UseRealTime();

std::uint64_t recordingMegabytes() {
    const char* text = std::getenv("DOCUMENT_BENCH_RECORDING_MB");
    const long value = text ? std::strtol(text, nullptr, 10) : 64;
    return value > 0 ? std::uint64_t(value) : 64;
}

// A recording package of the size: a few large files and some small ones.
const fs::path& recordingPackage() {
    static const fs::path package = [] {
        fs::path made = benchFolder() / "large.vistrelRecord";
        fs::create_directories(made);
        std::mt19937_64 random(3);
        std::vector<std::uint64_t> block((1 << 20) / 8);
        const std::uint64_t megabytes = recordingMegabytes();
        for (int file = 0; file < 4; ++file) {
            std::ofstream out(made / ("frames" + std::to_string(file)), std::ios::binary);
            for (std::uint64_t mb = 0; mb < megabytes / 4; ++mb) {
                for (auto& word : block)
                    word = random();
                out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 8));
            }
        }
        for (const char* name : {"mouse", "metadata", "mouseVisualization"})
            std::ofstream(made / name) << name;
        return made;
    }();
    return package;
}

void BM_FirstSaveCopiesRecording(benchmark::State& state) {
    const fs::path& recording = recordingPackage();
    const fs::path target = benchFolder() / "copy.vistrelcomposition";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        auto document = std::make_unique<CompositionDocument>();
        document->setSharedMediaManager(&benchMedia());
        auto entry = benchMedia().entryForResourceWithFileSystemPath(recording.string(), document.get(),
                                                                     SharedMediaManager::ResourceCopy::None);
        entry->addToUsageCounter(1);
        state.ResumeTiming();
        if (!document->writeSafelyToURL(target.string(), PackageIcon::Skip).ok())
            state.SkipWithError("save failed");
        state.PauseTiming();
        document->tearDown();
        document.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * recordingMegabytes() << 20));
}
BENCHMARK(BM_FirstSaveCopiesRecording)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Baseline: the coreutils copy of the same package.
void BM_CpRecording(benchmark::State& state) {
    const fs::path& recording = recordingPackage();
    const fs::path target = benchFolder() / "cp-copy";
    const std::string command = "cp -r '" + recording.string() + "' '" + target.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(target);
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * recordingMegabytes() << 20));
}
BENCHMARK(BM_CpRecording)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
