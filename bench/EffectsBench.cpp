// Every video effect of the catalogue at its default values on a 1080p picture, drawn by the tile
// evaluator on two workers (an export frame has 33 ms), with the centre in the picture's middle as
// objects place it by default; the gaussian blur at radius 10 (20 ms); and a 400 × 300 object's
// shadow built into its renderer's cache (2 ms) and reused from it (a twentieth of that).

#include "objects/CompositionRectangularObject.h"
#include "platform/imaging/CPUTileEvaluator.h"
#include "platform/imaging/EffectFilters.h"
#include "platform/imaging/FilterRegistry.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <benchmark/benchmark.h>
#include <vector>

using namespace vtl;

namespace {

constexpr int frameWidth = 1920, frameHeight = 1080;

const CIImage& frame() {
    static const CIImage image = [] {
        auto b = std::make_shared<Bitmap>(frameWidth, frameHeight);
        for (int y = 0; y < frameHeight; ++y)
            for (int x = 0; x < frameWidth; ++x) {
                auto v = [&](int k) { return std::uint8_t((x * k + y * (k + 3)) >> 3 & 255); };
                b->setPixel(x, y, {v(3), v(5), v(7), 255});
            }
        return CIImage::imageWithBitmap(b);
    }();
    return image;
}

void drawEffect(benchmark::State& state, const std::string& name, double radius) {
    registerBuiltinFilters();
    auto f = CIFilter::filterWithName(name);
    f->setValue("inputImage", frame());
    if (f->hasInput("inputCenter")) f->setValue("inputCenter", CIVector{frameWidth / 2.0, frameHeight / 2.0});
    if (radius > 0) f->setValue("inputRadius", radius);
    const CIImage image = f->outputImage();
    const PixelRegion region{0, 0, frameWidth, frameHeight};
    std::vector<std::uint8_t> pixels(std::size_t(frameWidth) * frameHeight * 4);
    PixelSpan span{pixels.data(), std::ptrdiff_t(frameWidth) * 4, frameWidth, frameHeight};
    CPUTileEvaluator evaluator(int(state.range(0)));
    for (auto _ : state) {
        if (!evaluator.draw(image, region, span, DrawMode::Copy)) state.SkipWithError("The draw failed.");
        benchmark::DoNotOptimize(pixels.data());
    }
}

// A picture of its own, 400 × 300, opaque inside a transparent border so the silhouette matters.
class ShadowedObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return {400, 300}; }
    CIImage createImageAtTime(const ObjectImageRequest&) override { return picture; }
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest&) const override { return 1; }
    CIImage picture = [] {
        auto b = std::make_shared<Bitmap>(400, 300);
        for (int y = 10; y < 290; ++y)
            for (int x = 10; x < 390; ++x)
                b->setPixel(x, y, {40, 80, 120, 255});
        return CIImage::imageWithBitmap(b);
    }();
};

void objectShadow(benchmark::State& state, bool reuse) {
    registerBuiltinFilters();
    auto object = makeModelObject<ShadowedObject>(nullptr);
    object->setRect(Rect(0, 0, 400, 300), 0);
    object->setDrawsShadow(true, 0);
    object->setShadowRadius(5, 0);
    object->setShadowDistance(5, 0);
    VTLObjectsContainerRenderer renderer(nullptr);
    ObjectImageRequest request;
    request.renderer = &renderer;
    for (auto _ : state) {
        if (!reuse) renderer.removeAllCachedImages();
        benchmark::DoNotOptimize(object->shadowImageAtTime(request, object->picture));
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("BM_ObjectShadowBuild", [](benchmark::State& s) { objectShadow(s, false); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime()
        ->MinTime(0.3);
    benchmark::RegisterBenchmark("BM_ObjectShadowReuse", [](benchmark::State& s) { objectShadow(s, true); })
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime()
        ->MinTime(0.3);
    for (const std::string& name : effectFilterNames())
        benchmark::RegisterBenchmark(("BM_Effect/" + name).c_str(),
                                     [name](benchmark::State& s) { drawEffect(s, name, 0); })
            ->Arg(2)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime()
            ->MinTime(0.3);
    benchmark::RegisterBenchmark("BM_GaussianBlurRadius10",
                                 [](benchmark::State& s) { drawEffect(s, "CIGaussianBlur", 10); })
        ->Arg(1)
        ->Arg(2)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime()
        ->MinTime(0.3);
    return true;
}();

} // namespace
