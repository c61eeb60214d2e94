// One canvas frame of a 1080p recording under an event zoom with its cursor and click rings and
// one text object, drawn through the object image pipeline and evaluated on two workers, beside
// the same-run baseline: QPainter drawing the decoded frame with that zoom, the cursor picture and
// the text's bitmap. Also the zoom and overlay maths alone (building the pictures' recipes, no
// pixels). And the export's road: the offscreen generator walking the recording's frames in
// order, each a new recorded picture to decode, read back as BGRX frames. Run pinned to two cores:
// taskset -c 0,1 build/bench/render_bench.

#include "document/CompositionDocument.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionTextObject.h"
#include "objects/MouseVisualization.h"
#include "objects/ObjectImageRequest.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "platform/imaging/CPUTileEvaluator.h"
#include "platform/imaging/FilterRegistry.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "render/VTLObjectsContainerRenderer.h"
#include "tracks/CompositionTrackObjectEventZoom.h"
#include "tracks/CompositionTrackObjectMouseImages.h"
#include "tracks/CompositionVistrelTrack.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace vtl;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kWorkers = 2;
// 2.25 s after the click at 1.0 s: a 1.5 × event zoom about (900, 500).
constexpr double kFrameTime = 3.25;

QGuiApplication& renderBenchApplication() {
    static int argc = 1;
    static char name[] = "render_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(argc, argv);
    return app;
}

PropertyList timedEntry(double time, PlistDictionary values) {
    values.set("time", PropertyList(time));
    return PropertyList(std::move(values));
}

PlistBytes cursorTiff() {
    TiffImage image{16, 24, std::vector<std::uint8_t>(16 * 24 * 4, 0)};
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 16 - y * 2 / 3; ++x) {
            std::uint8_t* p = image.rgba.data() + (std::size_t(y) * 16 + std::size_t(x)) * 4;
            p[3] = 255;
        }
    auto bytes = encodeTiff(image);
    return bytes ? PlistBytes(bytes->begin(), bytes->end()) : PlistBytes();
}

PropertyList mouseFile() {
    PlistArray events;
    for (double time : {1.0, 3.0, 3.2})
        events.push_back(timedEntry(time, {{"point", PropertyList("{900, 500}")},
                                           {"eventType", PropertyList(1)},
                                           {"button", PropertyList(1)}}));
    PlistArray positions;
    for (int i = 0; i <= 40; ++i)
        positions.push_back(
            timedEntry(i * 0.1, {{"point", PropertyList(stringFromPoint(Point{700.0 + i * 5, 400.0}))}}));
    PlistArray cursors = {timedEntry(
        0.0, {{"mouseTIFFData", PropertyList(cursorTiff())}, {"hotspot", PropertyList("{1, 1}")}})};
    return PropertyList(PlistDictionary{{"mouseVisible", PropertyList(true)},
                                        {"eventsVisible", PropertyList(true)},
                                        {"mousePositions", PropertyList(positions)},
                                        {"mouseEvents", PropertyList(events)},
                                        {"mouseCursorImages", PropertyList(cursors)}});
}

const std::filesystem::path& benchPackage() {
    static const std::filesystem::path path = [] {
        auto made = std::filesystem::temp_directory_path() /
                    ("render-bench-" + std::to_string(::getpid()) + ".vistrelRecord");
        std::filesystem::remove_all(made);
        SyntheticRecordingSettings settings;
        settings.screen.width = kWidth;
        settings.screen.height = kHeight;
        settings.framesPerSecond = 10;
        settings.seconds = 4;
        if (!writeSyntheticRecording(made.string(), settings)) std::abort();
        if (!mouseFile().writeToFile(made / "mouse", PropertyListFormat::Xml)) std::abort();
        std::atexit([] { std::filesystem::remove_all(benchPackage()); });
        return made;
    }();
    return path;
}

struct RenderScene {
    RenderScene()
        : media(std::filesystem::temp_directory_path() /
                ("render-bench-media-" + std::to_string(::getpid()))) {
        renderBenchApplication();
        registerVisualObjectClasses();
        registerBuiltinFilters();
        CompositionVistrelTrack::registerClasses();
        container()->setCanvasSize(Size(kWidth, kHeight));
        auto entry = media.entryForResourceWithFileSystemPath(benchPackage().string(), &document,
                                                              SharedMediaManager::ResourceCopy::None);
        track = makeModelObject<CompositionVistrelTrack>(container());
        track->setMediaEntry(entry);
        container()->addObject(track);
        track->setMouseVisualization(makeModelObject<MouseVisualization>());
        state = std::dynamic_pointer_cast<CompositionEventTriggeredState>(
            track->addNewTriggeredStateAtGlobalTimes(0.5, 3.6));
        text = makeModelObject<CompositionTextObject>(container());
        text->setStartTimeEndTime(0, 10);
        container()->addObject(text);
        text->setText("A caption over the recording");
        text->setRect(Rect(200, 100, 900, 120), 0);
        renderer = std::make_unique<VTLObjectsContainerRenderer>(document.objectsContainer());
    }
    ~RenderScene() {
        renderer->removeAllCachedImages();
        renderer.reset();
    }
    CompositionObjectsContainer* container() { return document.objectsContainer().get(); }

    ObjectImageRequest request() {
        ObjectImageRequest r;
        r.compositionTime = kFrameTime;
        r.renderer = renderer.get();
        r.purpose = ImagePurpose::Playback;
        return r;
    }

    // The canvas recipe: the recording's pictures, then the text's at its place.
    CIImage canvas() {
        const ObjectImageRequest r = request();
        std::vector<CIImage> layers = track->createScaledImagesForTime(r, BackAndFrontImages::Include);
        const Rect place = text->rectForTime(kFrameTime);
        for (const CIImage& image : text->createScaledImagesForTime(r, BackAndFrontImages::Include))
            layers.push_back(
                image.imageByApplyingTransform(AffineTransform::translation(place.origin.x, place.origin.y)));
        CIImage canvas;
        for (const CIImage& layer : layers)
            canvas = canvas.isNull() ? layer : layer.imageByCompositingOverImage(canvas);
        return canvas;
    }

    CompositionDocument document;
    SharedMediaManager media;
    std::shared_ptr<CompositionVistrelTrack> track;
    std::shared_ptr<CompositionEventTriggeredState> state;
    std::shared_ptr<CompositionTextObject> text;
    std::unique_ptr<VTLObjectsContainerRenderer> renderer;
};

void BM_RecordingFrame(benchmark::State& state) {
    RenderScene scene;
    CPUTileEvaluator evaluator(kWorkers);
    std::vector<std::uint8_t> pixels(std::size_t(kWidth) * kHeight * 4);
    const PixelRegion region{0, 0, kWidth, kHeight};
    PixelSpan span{pixels.data(), std::ptrdiff_t(kWidth) * 4, kWidth, kHeight};
    for (auto _ : state) {
        const CIImage canvas = scene.canvas();
        benchmark::DoNotOptimize(evaluator.draw(canvas, region, span, DrawMode::Copy).ok());
    }
}
BENCHMARK(BM_RecordingFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

QImage qimageOf(const CIImage& image, int workers) {
    const Rect e = image.extent();
    const PixelRegion region{int(std::floor(e.origin.x)), int(std::floor(e.origin.y)),
                             int(std::ceil(e.size.width)), int(std::ceil(e.size.height))};
    QImage out(region.width, region.height, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    // Rows top first in the image, y up in the span.
    PixelSpan span{out.bits() + std::ptrdiff_t(region.height - 1) * out.bytesPerLine(),
                   -std::ptrdiff_t(out.bytesPerLine()), region.width, region.height};
    if (!CPUTileEvaluator(workers).draw(image, region, span, DrawMode::Copy)) out.fill(Qt::transparent);
    return out;
}

void BM_RecordingFrame_QPainter(benchmark::State& state) {
    RenderScene scene;
    // What the baseline starts from: the decoded frame, the cursor and the text's bitmap.
    const BitmapImage frame = scene.track->movie()->createImageAtTime(kFrameTime, scene.renderer.get());
    QImage decoded(frame.data(), int(frame.width()), int(frame.height()), qsizetype(frame.bytesPerRow()),
                   QImage::Format_RGB32);
    const QImage cursor = qimageOf(mouseImageAtTime(*scene.track, kFrameTime, Point{}, 1.0f, nullptr), 1);
    const ObjectImageRequest r = scene.request();
    const QImage textBitmap = qimageOf(scene.text->createImageAtTime(r), 1);
    const Rect textRect = scene.text->rectForTime(kFrameTime);
    QImage target(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        // 1.5 × about (900, 500), y down.
        painter.translate(900, kHeight - 500);
        painter.scale(1.5, 1.5);
        painter.translate(-900, -(kHeight - 500));
        painter.drawImage(0, 0, decoded);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.drawImage(QPointF(700 + 22.5 * 5, kHeight - 400 - 24), cursor);
        painter.resetTransform();
        painter.drawImage(QPointF(textRect.origin.x, kHeight - textRect.maxY()), textBitmap);
        painter.end();
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_RecordingFrame_QPainter)->Unit(benchmark::kMillisecond)->UseRealTime();

// Frames in export order through a generator of the canvas size: decode, zoom, overlay, text,
// compositing and the read-back into the generator's own BGRX frames. Every tenth of a second is
// a new recorded frame, so no frame is served from the previous one.
void BM_GeneratorRecordingFrames(benchmark::State& state) {
    RenderScene scene;
    VTLObjectsContainerImageGenerator generator(Size(kWidth, kHeight), 1, nullptr, GeneratorAlpha::Without);
    generator.setObjectsContainer(scene.document.objectsContainer());
    std::uint64_t litFrames = 0;
    double time = 0.5;
    for (auto _ : state) {
        auto frame = generator.imageFromObjectsContainer(*scene.container(), time, false, true);
        if (!frame) {
            state.SkipWithError(frame.error().c_str());
            return;
        }
        // A frame drawn without its recording would be black where the recording is.
        const std::uint8_t* middle = frame->row(kHeight / 2) + std::size_t(kWidth / 2) * 4;
        litFrames += (middle[0] | middle[1] | middle[2]) != 0;
        time = time + 0.1 > 3.9 ? 0.5 : time + 0.1;
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames_with_recording"] =
        double(litFrames) / double(std::max<std::uint64_t>(1, state.iterations()));
}
BENCHMARK(BM_GeneratorRecordingFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

// The recipes only: triggered state lookup, the zoom transform, the overlay's cursor, rings and
// spotlight images and the frame's transform, with every cache warm.
void BM_ZoomAndOverlayMaths(benchmark::State& state) {
    RenderScene scene;
    scene.canvas();
    const double m = kFrameTime - scene.track->startTime();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            eventTransformForTime(*scene.track, m, *scene.state, Rect(0, 0, kWidth, kHeight)));
        benchmark::DoNotOptimize(
            mouseCursorAndEventImageAtTime(*scene.track, kFrameTime, scene.renderer.get(), 1.0f));
    }
}
BENCHMARK(BM_ZoomAndOverlayMaths)->Unit(benchmark::kMicrosecond);

} // namespace
