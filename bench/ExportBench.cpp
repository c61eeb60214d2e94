// A 1080p30 recording with a click zoom, its pointer and a text, exported to H.264 through the
// movie exporter, beside the same-run baseline: the ffmpeg tool decoding the exported frames and
// encoding them again with libx264 veryfast, nothing else. Also the stages alone, in ms a frame:
// rendering through the offscreen generator, and encoding rendered frames with the movie writer.
// melt's export of such a composition runs at 28–30 frames a second on this kind of machine; that
// anchor is reported as a number beside ours. Run pinned to two cores for the 2-core figure:
// taskset -c 0,1 build/bench/export_bench. VISTREL_EXPORT_BENCH_SECONDS shortens the recording.

#include "document/CompositionDocument.h"
#include "export/VTLMovieExporter.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionTextObject.h"
#include "objects/MouseVisualization.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/media/MovieWriter.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "tracks/CompositionVistrelTrack.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace vtl;

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFrameRate = 30;
constexpr double kMeltFramesPerSecond = 29;

double recordingSeconds() {
    const char* text = std::getenv("VISTREL_EXPORT_BENCH_SECONDS");
    const double seconds = text ? std::atof(text) : 60.0;
    return seconds >= 1 ? seconds : 60.0;
}

QGuiApplication& exportBenchApplication() {
    static int argc = 1;
    static char name[] = "export_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(argc, argv);
    return app;
}

const fs::path& exportBenchFolder() {
    static const fs::path folder = [] {
        fs::path made = fs::temp_directory_path() / ("export-bench-" + std::to_string(::getpid()));
        fs::create_directories(made);
        std::atexit([] { fs::remove_all(exportBenchFolder()); });
        return made;
    }();
    return folder;
}

PropertyList exportBenchTimed(double time, PlistDictionary values) {
    values.set("time", PropertyList(time));
    return PropertyList(std::move(values));
}

PlistBytes exportBenchCursor() {
    TiffImage image{16, 24, std::vector<std::uint8_t>(16 * 24 * 4, 0)};
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16 - y * 2 / 3; ++x)
            image.rgba[(std::size_t(y) * 16 + std::size_t(x)) * 4 + 3] = 255;
    auto bytes = encodeTiff(image);
    return bytes ? PlistBytes(bytes->begin(), bytes->end()) : PlistBytes();
}

// Clicks every 5 s and the pointer moving the whole time.
PropertyList exportBenchMouse(double seconds) {
    PlistArray events, positions;
    for (double time = 1.0; time < seconds; time += 5.0)
        events.push_back(exportBenchTimed(time, {{"point", PropertyList("{900, 500}")},
                                                 {"eventType", PropertyList(1)},
                                                 {"button", PropertyList(1)}}));
    for (double time = 0; time <= seconds; time += 0.1)
        positions.push_back(exportBenchTimed(
            time,
            {{"point", PropertyList(stringFromPoint(Point{700.0 + std::fmod(time, 10.0) * 50, 400.0}))}}));
    PlistArray cursors = {exportBenchTimed(
        0.0, {{"mouseTIFFData", PropertyList(exportBenchCursor())}, {"hotspot", PropertyList("{1, 1}")}})};
    return PropertyList(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                        {"eventsVisible", PropertyList(true)},
                                        {"mousePositions", PropertyList(positions)},
                                        {"mouseEvents", PropertyList(events)},
                                        {"mouseCursorImages", PropertyList(cursors)}});
}

const fs::path& exportBenchPackage() {
    static const fs::path path = [] {
        const fs::path made = exportBenchFolder() / "bench.vistrelRecord";
        SyntheticRecordingSettings settings;
        settings.screen.width = kWidth;
        settings.screen.height = kHeight;
        settings.framesPerSecond = kFrameRate;
        settings.seconds = recordingSeconds();
        if (!writeSyntheticRecording(made.string(), settings)) std::abort();
        if (!exportBenchMouse(settings.seconds).writeToFile(made / "mouse", PropertyListFormat::Xml))
            std::abort();
        return made;
    }();
    return path;
}

// The recording on a 1080p canvas, zoomed in on each click, and a text over the whole length.
struct ExportScene {
    ExportScene()
        : media(exportBenchFolder() / "media") {
        exportBenchApplication();
        registerVisualObjectClasses();
        registerBuiltinFilters();
        CompositionVistrelTrack::registerClasses();
        container()->setCanvasSize(Size(kWidth, kHeight));
        auto entry = media.entryForResourceWithFileSystemPath(exportBenchPackage().string(), &document,
                                                              SharedMediaManager::ResourceCopy::None);
        track = makeModelObject<CompositionVistrelTrack>(container());
        track->setMediaEntry(entry);
        container()->addObject(track);
        track->setMouseVisualization(makeModelObject<MouseVisualization>());
        for (double time = 0.5; time + 2 < recordingSeconds(); time += 5.0)
            track->addNewTriggeredStateAtGlobalTimes(time, time + 2.6);
        auto text = makeModelObject<CompositionTextObject>(container());
        text->setStartTimeEndTime(0, recordingSeconds());
        container()->addObject(text);
        text->setText("A caption over the recording");
        text->setRect(Rect(200, 100, 900, 120), 0);
    }
    CompositionObjectsContainer* container() { return document.objectsContainer().get(); }

    CompositionDocument document;
    SharedMediaManager media;
    std::shared_ptr<CompositionVistrelTrack> track;
};

std::int64_t exportBenchFrames(ExportScene& scene) {
    return exportFrameCount(scene.container()->maximumVisibleTime(), kFrameRate);
}

const fs::path& exportBenchMovie() {
    static const fs::path path = exportBenchFolder() / "export.m4v";
    return path;
}

// The whole export: rendering, conversion, encoding and writing, frame n + 1 rendered while n is
// encoded.
void BM_ExportRecordingToH264(benchmark::State& state) {
    ExportScene scene;
    const std::int64_t frames = exportBenchFrames(scene);
    for (auto _ : state) {
        VTLMovieExporter exporter(scene.document.objectsContainer());
        exporter.setExportPath(exportBenchMovie().string());
        exporter.setFrameRate(kFrameRate);
        if (!exporter.startExport()) {
            state.SkipWithError("The export did not start.");
            return;
        }
        const Status done = exporter.waitUntilFinished();
        if (!done) {
            state.SkipWithError(done.error().c_str());
            return;
        }
    }
    const double seconds = double(frames * std::int64_t(state.iterations()));
    state.counters["fps"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["s_per_frame"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["frames"] = double(frames);
    state.counters["melt_anchor_fps"] = kMeltFramesPerSecond;
}
BENCHMARK(BM_ExportRecordingToH264)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The baseline: ffmpeg decoding the exported movie and encoding the same frames with libx264
// veryfast, to nowhere.
void BM_FfmpegDecodeAndVeryfastEncode(benchmark::State& state) {
    if (!fs::exists(exportBenchMovie())) {
        state.SkipWithError("The export benchmark has to run first.");
        return;
    }
    std::int64_t frames = 0;
    {
        ExportScene scene;
        frames = exportBenchFrames(scene);
    }
    const std::string command = "ffmpeg -v error -nostdin -y -i '" + exportBenchMovie().string() +
                                "' -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p -f null -";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("ffmpeg failed.");
            return;
        }
    const double seconds = double(frames * std::int64_t(state.iterations()));
    state.counters["fps"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
    state.counters["s_per_frame"] =
        benchmark::Counter(seconds, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FfmpegDecodeAndVeryfastEncode)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// Stage: the offscreen generator alone, frames in export order (decode, zoom, pointer, text,
// compositing, read-back into BGRX frames).
void BM_StageRender(benchmark::State& state) {
    ExportScene scene;
    VTLObjectsContainerImageGenerator generator(Size(kWidth, kHeight), 1, nullptr, GeneratorAlpha::Without);
    generator.setObjectsContainer(scene.document.objectsContainer());
    scene.track->beginExport();
    std::int64_t n = 0;
    const std::int64_t frames = exportBenchFrames(scene);
    for (auto _ : state) {
        auto frame =
            generator.imageFromObjectsContainer(*scene.container(), double(n) / kFrameRate, false, true);
        if (!frame) {
            state.SkipWithError(frame.error().c_str());
            break;
        }
        n = (n + 1) % frames;
    }
    scene.track->endExport();
    state.counters["s_per_frame"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StageRender)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);

// Stage: conversion to 4:2:0 and libx264 veryfast encoding of rendered frames, with the muxer.
void BM_StageEncode(benchmark::State& state) {
    ExportScene scene;
    VTLObjectsContainerImageGenerator generator(Size(kWidth, kHeight), 1, nullptr, GeneratorAlpha::Without);
    generator.setObjectsContainer(scene.document.objectsContainer());
    scene.track->beginExport();
    std::vector<RenderedFrame> rendered;
    for (int i = 0; i < 30; ++i) {
        auto frame = generator.imageFromObjectsContainer(*scene.container(), 1.0 + i / 3.0, false, true);
        if (!frame) {
            state.SkipWithError(frame.error().c_str());
            return;
        }
        // A copy: the generator's pool keeps only a few frames.
        RenderedFrame copy = *frame;
        copy.pixels = std::shared_ptr<std::uint8_t[]>(new std::uint8_t[frame->bytesPerRow * kHeight]);
        std::memcpy(copy.pixels.get(), frame->pixels.get(), frame->bytesPerRow * kHeight);
        rendered.push_back(copy);
    }
    scene.track->endExport();
    auto writer = MovieWriter::create((exportBenchFolder() / "encode.m4v").string());
    VideoTrackSettings video;
    video.widthPixels = kWidth;
    video.heightPixels = kHeight;
    video.frameRateNumerator = kFrameRate;
    if (!writer || !writer.value()->addVideoTrack(video) || !writer.value()->start()) {
        state.SkipWithError("The writer cannot start.");
        return;
    }
    std::int64_t n = 0;
    for (auto _ : state) {
        const RenderedFrame& frame = rendered[std::size_t(n % 30)];
        if (!writer.value()->appendVideoFrame(0, frame.pixels.get(), frame.bytesPerRow,
                                              MediaTime{n, kFrameRate})) {
            state.SkipWithError("A frame cannot be encoded.");
            break;
        }
        ++n;
    }
    if (!writer.value()->finish()) state.SkipWithError("The movie cannot be finished.");
    state.counters["s_per_frame"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StageEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);

} // namespace
