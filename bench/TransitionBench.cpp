// The transition filters on 1080p frames, each beside its baseline in the same run: the imaging
// layer's source-over of the same two pictures, drawn the same way (a context drawing into a
// frame). Each transition is set up as the transition object sets it up (extent the canvas, the
// curls with their colour-controlled backside and presets, the ripple centred and shaded) and
// drawn at a quarter, half and three quarters of its time, on one and two workers. Arguments:
// workers, then time in percent. Last, the transition object's whole frame halfway, of each type
// on two workers: its filters made from its type and values, the two objects' pictures placed on
// the canvas, then drawn through a container renderer as export draws (argument: the type).

#include "model/CompositionObjectsContainer.h"
#include "objects/CompositionTransition.h"
#include "platform/imaging/CIContext.h"
#include "platform/imaging/CPUTileEvaluator.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/TransitionShading.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace vtl;

namespace {

constexpr int frameWidth = 1920, frameHeight = 1080;

CIImage frame(int seed) {
    auto b = std::make_shared<Bitmap>(frameWidth, frameHeight);
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < frameWidth; ++x) {
            auto v = [&](int k) { return std::uint8_t((x * k + y * (k + seed)) & 255); };
            b->setPixel(x, y, {v(3), v(5), v(7), 255});
        }
    return CIImage::imageWithBitmap(b);
}

const CIImage& source() {
    static const CIImage image = frame(1);
    return image;
}
const CIImage& target() {
    static const CIImage image = frame(4);
    return image;
}

// The backside as the transition object builds it, a recipe evaluated with every frame.
CIImage colourControlledSource() {
    registerBuiltinFilters();
    auto controls = CIFilter::filterWithName("CIColorControls");
    controls->setValue("inputImage", source());
    controls->setValue("inputSaturation", 0.22);
    controls->setValue("inputBrightness", -0.35);
    controls->setValue("inputContrast", 0.25);
    return controls->outputImage();
}

// The same backside computed once: what the curl filter itself costs.
CIImage readyBackside() {
    static const CIImage ready = [] {
        CPUTileEvaluator evaluator(2);
        return materialize(colourControlledSource(), evaluator).value();
    }();
    return ready;
}

void drawRepeatedly(benchmark::State& state, const CIImage& image) {
    static auto into = std::make_shared<Bitmap>(frameWidth, frameHeight);
    auto context = CIContext::contextWithTarget(RasterTarget::over(*into), {int(state.range(0)), nullptr});
    const Rect all(0, 0, frameWidth, frameHeight);
    for (auto _ : state)
        benchmark::DoNotOptimize(context->drawImage(image, all, all).ok());
}

void BM_SourceOverBaseline(benchmark::State& state) {
    drawRepeatedly(state, source().imageByCompositingOverImage(target()));
}
// On a shared machine the fastest of several repetitions (--benchmark_repetitions) is the fairest
// figure; "min" is reported beside the mean and median.
double fastest(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

BENCHMARK(BM_SourceOverBaseline)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

void transition(benchmark::State& state, const char* name,
                const std::vector<std::pair<std::string, FilterValue>>& inputs) {
    registerBuiltinFilters();
    auto f = CIFilter::filterWithName(name);
    f->setValue("inputImage", source());
    f->setValue("inputTargetImage", target());
    for (const auto& [key, value] : inputs)
        f->setValue(key, value);
    f->setValue("inputTime", state.range(1) / 100.0);
    drawRepeatedly(state, f->outputImage());
}

const CIVector canvas{0, 0, frameWidth, frameHeight};

void BM_Dissolve(benchmark::State& state) {
    transition(state, "CIDissolveTransition", {});
}
void BM_CopyMachine(benchmark::State& state) {
    transition(state, "CICopyMachineTransition", {{"inputExtent", canvas}});
}
void BM_PageCurl(benchmark::State& state) {
    transition(state, "CIPageCurlTransition",
               {{"inputExtent", canvas},
                {"inputAngle", 1.0471976},
                {"inputRadius", 100.0},
                {"inputShadingImage", restrictedShineImage()},
                {"inputBacksideImage", readyBackside()}});
}
void BM_PageCurlWithShadow(benchmark::State& state) {
    transition(state, "CIPageCurlWithShadowTransition",
               {{"inputExtent", canvas},
                {"inputAngle", 1.0471976},
                {"inputRadius", 100.0},
                {"inputBacksideImage", readyBackside()}});
}
// With the backside's colour controls evaluated in the same draw, as each frame of the object does.
void BM_PageCurlWithBacksideRecipe(benchmark::State& state) {
    transition(state, "CIPageCurlTransition",
               {{"inputExtent", canvas},
                {"inputAngle", 1.0471976},
                {"inputRadius", 100.0},
                {"inputShadingImage", restrictedShineImage()},
                {"inputBacksideImage", colourControlledSource()}});
}
void BM_Ripple(benchmark::State& state) {
    transition(state, "CIRippleTransition",
               {{"inputExtent", canvas},
                {"inputCenter", CIVector{frameWidth / 2.0, frameHeight / 2.0}},
                {"inputShadingImage", restrictedShineImage()}});
}
void BM_BarsSwipe(benchmark::State& state) {
    transition(state, "CIBarsSwipeTransition", {});
}

#define TRANSITION_BENCHMARK(name)                                                                           \
    BENCHMARK(name)                                                                                          \
        ->ArgsProduct({{1, 2}, {25, 50, 75}})                                                                \
        ->Unit(benchmark::kMillisecond)                                                                      \
        ->UseRealTime()                                                                                      \
        ->ComputeStatistics("min", fastest)
TRANSITION_BENCHMARK(BM_Dissolve);
TRANSITION_BENCHMARK(BM_CopyMachine);
TRANSITION_BENCHMARK(BM_PageCurl);
TRANSITION_BENCHMARK(BM_PageCurlWithShadow);
TRANSITION_BENCHMARK(BM_PageCurlWithBacksideRecipe);
TRANSITION_BENCHMARK(BM_Ripple);
TRANSITION_BENCHMARK(BM_BarsSwipe);

// An object showing one of the two frames at the canvas size.
class FramePicture : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return {frameWidth, frameHeight}; }
    CIImage createImageAtTime(const ObjectImageRequest&) override { return isSource ? source() : target(); }
    bool isSource = true;
};

void BM_TransitionObject(benchmark::State& state) {
    registerBuiltinFilters();
    auto container = makeModelObject<CompositionObjectsContainer>();
    container->setCanvasSize({frameWidth, frameHeight});
    auto from = makeModelObject<FramePicture>(container.get());
    from->setStartTimeEndTime(0, 10);
    auto to = makeModelObject<FramePicture>(container.get());
    to->setStartTimeEndTime(8, 20);
    to->isSource = false;
    container->addObject(from);
    container->addObject(to);
    auto transition = CompositionTransition::transitionWithObjects(from, to, container.get());
    container->addObject(transition);
    transition->setTransitionType(int32_t(state.range(0)));
    static auto into = std::make_shared<Bitmap>(frameWidth, frameHeight);
    auto context = CIContext::contextWithTarget(RasterTarget::over(*into), {2, nullptr});
    const Rect all(0, 0, frameWidth, frameHeight);
    VTLObjectsContainerRenderer renderer(container);
    ObjectImageRequest request;
    request.compositionTime = 9;
    request.renderer = &renderer;
    request.purpose = ImagePurpose::Export;
    for (auto _ : state)
        benchmark::DoNotOptimize(context->drawImage(transition->createImageAtTime(request), all, all).ok());
}
BENCHMARK(BM_TransitionObject)
    ->DenseRange(0, 7)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->ComputeStatistics("min", fastest);

} // namespace
