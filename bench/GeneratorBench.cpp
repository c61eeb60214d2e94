// The offscreen generator on 1920 × 1080 frames, each beside its baseline in the same run:
//  - five full-canvas picture layers (the lower opaque, the upper four with translucent pixels,
//    each a few pixels off the last) rendered and read back as BGRA, against QPainter drawing the
//    same five premultiplied pictures source-over into a cleared QImage (the 60 fps preview goal:
//    16.7 ms a frame);
//  - throughput of a frame with the canvas background and one picture layer, in frames a second
//    (goal 60; the reference command-line editor manages 28–30 on such frames), as BGRA and as
//    BGRX for a movie writer.
// Run on two cores: taskset -c 0,1 build/bench/generator_bench.

#include "document/CompositionDocument.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <vector>

using namespace vtl;

namespace {

constexpr int benchWidth = 1920, benchHeight = 1080;

// A picture layer showing a fixed premultiplied bitmap at its natural size.
class BenchLayer : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    CIImage picture;
    Size originalSize() const override { return {double(benchWidth), double(benchHeight)}; }
    CIImage createImageAtTime(const ObjectImageRequest&) override { return picture; }
};

// Smooth colour that differs per layer; alpha 255 for the first layer, translucent bands above.
BitmapImage layerBitmap(int layer) {
    BitmapImage bitmap(benchWidth, benchHeight);
    for (int y = 0; y < benchHeight; ++y) {
        std::uint8_t* row = bitmap.mutableData() + std::size_t(y) * bitmap.bytesPerRow();
        for (int x = 0; x < benchWidth; ++x, row += 4) {
            const int alpha =
                layer == 0 ? 255 : ((x / 64 + y / 64 + layer) % 3 == 0 ? 0 : 160 + 40 * (x % 2));
            const int r = (x * 255 / benchWidth + layer * 40) % 256, g = (y * 255 / benchHeight) % 256,
                      b = (layer * 60 + (x ^ y) % 64) % 256;
            row[0] = std::uint8_t(b * alpha / 255);
            row[1] = std::uint8_t(g * alpha / 255);
            row[2] = std::uint8_t(r * alpha / 255);
            row[3] = std::uint8_t(alpha);
        }
    }
    return bitmap;
}

struct LayerScene {
    explicit LayerScene(int layers, BackgroundKind background = BackgroundKind::None) {
        container()->setCanvasSize({double(benchWidth), double(benchHeight)});
        container()->setBackgroundKind(background);
        for (int i = 0; i < layers; ++i) {
            bitmaps.push_back(layerBitmap(i));
            auto layer = makeModelObject<BenchLayer>(container());
            layer->picture = CIImage::imageWithBitmapImage(bitmaps.back());
            layer->setStartTimeEndTime(0, 10);
            layer->setRect(Rect(i * 3, i * 2, benchWidth, benchHeight), 0);
            container()->addObject(layer);
        }
    }
    CompositionObjectsContainer* container() { return document.objectsContainer().get(); }
    CompositionDocument document;
    std::vector<BitmapImage> bitmaps;
};

// QPainter's composite of the five layers, as the baseline draws it.
struct PainterLayers {
    PainterLayers() {
        for (int i = 0; i < 5; ++i) {
            bitmaps.push_back(layerBitmap(i));
            layers.emplace_back(bitmaps.back().data(), benchWidth, benchHeight,
                                int(bitmaps.back().bytesPerRow()), QImage::Format_ARGB32_Premultiplied);
        }
    }
    void drawInto(QImage& target) const {
        target.fill(Qt::transparent);
        QPainter painter(&target);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        for (int i = 0; i < 5; ++i)
            painter.drawImage(QPoint(i * 3, -i * 2), layers[std::size_t(i)]);
    }
    std::vector<BitmapImage> bitmaps;
    std::vector<QImage> layers;
};

void renderFrames(benchmark::State& state, LayerScene& scene, GeneratorAlpha alpha) {
    VTLObjectsContainerImageGenerator generator({double(benchWidth), double(benchHeight)}, 1, nullptr, alpha);
    for (auto _ : state) {
        auto frame = generator.imageFromObjectsContainer(*scene.container(), 1, false, true);
        if (!frame) {
            state.SkipWithError(frame.error().c_str());
            return;
        }
        benchmark::DoNotOptimize(frame->pixels.get());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GeneratorFiveLayers1080p(benchmark::State& state) {
    LayerScene scene(5);
    {
        // Both draw the same picture: the largest byte difference from QPainter's, as a counter.
        VTLObjectsContainerImageGenerator check({double(benchWidth), double(benchHeight)}, 1, nullptr,
                                                GeneratorAlpha::With);
        auto frame = check.imageFromObjectsContainer(*scene.container(), 1, false, true);
        QImage painted(benchWidth, benchHeight, QImage::Format_ARGB32_Premultiplied);
        PainterLayers().drawInto(painted);
        int largest = 0;
        for (int y = 0; frame && y < benchHeight; ++y)
            for (int x = 0; x < benchWidth * 4; ++x)
                largest =
                    std::max(largest, std::abs(int(frame->row(y)[x]) - int(painted.constScanLine(y)[x])));
        state.counters["max_difference_from_qpainter"] = largest;
    }
    renderFrames(state, scene, GeneratorAlpha::With);
}
BENCHMARK(BM_GeneratorFiveLayers1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_QPainterFiveLayers1080p(benchmark::State& state) {
    PainterLayers layers;
    QImage target(benchWidth, benchHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        layers.drawInto(target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_QPainterFiveLayers1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GeneratorThroughputBGRA(benchmark::State& state) {
    LayerScene scene(1, BackgroundKind::LinearGradient);
    renderFrames(state, scene, GeneratorAlpha::With);
}
BENCHMARK(BM_GeneratorThroughputBGRA)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GeneratorThroughputBGRX(benchmark::State& state) {
    LayerScene scene(1, BackgroundKind::LinearGradient);
    renderFrames(state, scene, GeneratorAlpha::Without);
}
BENCHMARK(BM_GeneratorThroughputBGRX)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
