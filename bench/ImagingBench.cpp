// The imaging layer's hot paths on 1080p frames, each beside its baseline in the same run:
// the blur against a straightforward separable float convolution, source-over and
// rotate-and-scale draws against QPainter doing the same, a blur → colour matrix → over recipe on
// one and two workers, and 8-bit against float premultiplied compositing (the working format).

#include "platform/imaging/CIContext.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/CPUTileEvaluator.h"
#include "platform/imaging/FilterRegistry.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace vtl;

namespace {

constexpr int frameWidth = 1920, frameHeight = 1080;

std::shared_ptr<Bitmap> frame(std::uint8_t alpha) {
    auto b = std::make_shared<Bitmap>(frameWidth, frameHeight);
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < frameWidth; ++x) {
            auto v = [&](int k) { return std::uint8_t(((x * k + y * (k + 3)) & 255) * alpha / 255); };
            b->setPixel(x, y, {v(3), v(5), v(7), alpha});
        }
    return b;
}

QImage wrap(Bitmap& b) {
    return QImage(b.data(), b.width(), b.height(), qsizetype(b.bytesPerRow()),
                  QImage::Format_ARGB32_Premultiplied);
}

// Exact kernel of radius 3σ, float, scalar, one thread, zero outside: the plain way to blur.
void referenceBlur(const Bitmap& in, std::vector<float>& tmp, std::vector<float>& out, double sigma) {
    const int w = in.width(), h = in.height(), r = int(std::ceil(3 * sigma));
    std::vector<float> g(2 * r + 1);
    float total = 0;
    for (int k = -r; k <= r; ++k)
        total += g[k + r] = float(std::exp(-k * k / (2 * sigma * sigma)));
    for (float& v : g)
        v /= total;
    const std::uint8_t* p = in.data();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                float acc = 0;
                for (int k = -r; k <= r; ++k)
                    if (x + k >= 0 && x + k < w) acc += g[k + r] * p[(std::size_t(y) * w + x + k) * 4 + c];
                tmp[(std::size_t(y) * w + x) * 4 + c] = acc;
            }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                float acc = 0;
                for (int k = -r; k <= r; ++k)
                    if (y + k >= 0 && y + k < h) acc += g[k + r] * tmp[(std::size_t(y + k) * w + x) * 4 + c];
                out[(std::size_t(y) * w + x) * 4 + c] = acc;
            }
}

void BM_BlurSigma10_Reference(benchmark::State& state) {
    auto in = frame(255);
    std::vector<float> tmp(std::size_t(frameWidth) * frameHeight * 4), out(tmp.size());
    for (auto _ : state) {
        referenceBlur(*in, tmp, out, 10);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BlurSigma10_Reference)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_BlurSigma10(benchmark::State& state) {
    registerBuiltinFilters();
    auto blur = CIFilter::filterWithName("CIGaussianBlur");
    blur->setValue("inputImage", CIImage::imageWithBitmap(frame(255)));
    blur->setValue("inputRadius", 10.0);
    CIImage image = blur->outputImage();
    PixelRegion region = pixelRegionCovering(image.extent()); // 1980 × 1140
    std::vector<std::uint8_t> out(std::size_t(region.pixelCount()) * 4);
    CPUTileEvaluator evaluator(int(state.range(0)));
    PixelSpan span{out.data(), std::ptrdiff_t(region.width) * 4, region.width, region.height};
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluator.draw(image, region, span, DrawMode::Copy).ok());
}
BENCHMARK(BM_BlurSigma10)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SourceOver_QPainter(benchmark::State& state) {
    auto source = frame(160);
    auto target = frame(255);
    QImage from = wrap(*source), into = wrap(*target);
    for (auto _ : state) {
        QPainter painter(&into);
        painter.drawImage(0, 0, from);
    }
}
BENCHMARK(BM_SourceOver_QPainter)->Unit(benchmark::kMillisecond);

void BM_SourceOver(benchmark::State& state) {
    CIImage image = CIImage::imageWithBitmap(frame(160));
    auto target = frame(255);
    auto context = CIContext::contextWithTarget(RasterTarget::over(*target), {int(state.range(0)), nullptr});
    Rect all(0, 0, frameWidth, frameHeight);
    for (auto _ : state)
        benchmark::DoNotOptimize(context->drawImage(image, all, all).ok());
}
BENCHMARK(BM_SourceOver)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// 30° about the centre at 0.8 scale, bilinear with smooth edges.
QTransform rotateAndScale() {
    QTransform t;
    t.translate(frameWidth / 2.0, frameHeight / 2.0);
    t.rotate(30);
    t.scale(0.8, 0.8);
    t.translate(-frameWidth / 2.0, -frameHeight / 2.0);
    return t;
}

void BM_RotateScale_QPainter(benchmark::State& state) {
    auto source = frame(255);
    auto target = frame(255);
    QImage from = wrap(*source), into = wrap(*target);
    for (auto _ : state) {
        QPainter painter(&into);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setTransform(rotateAndScale());
        painter.drawImage(0, 0, from);
    }
}
BENCHMARK(BM_RotateScale_QPainter)->Unit(benchmark::kMillisecond);

void BM_RotateScale(benchmark::State& state) {
    CIImage image = CIImage::imageWithBitmap(frame(255));
    image = vtltools::imageByRotatingByDegrees(image, 30, 0.8, nullptr);
    auto target = frame(255);
    auto context = CIContext::contextWithTarget(RasterTarget::over(*target), {int(state.range(0)), nullptr});
    Rect all(0, 0, frameWidth, frameHeight);
    for (auto _ : state)
        benchmark::DoNotOptimize(context->drawImage(image, all, all).ok());
}
BENCHMARK(BM_RotateScale)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BlurMatrixOverRecipe(benchmark::State& state) {
    registerBuiltinFilters();
    CIImage source = CIImage::imageWithBitmap(frame(200));
    auto blur = CIFilter::filterWithName("CIGaussianBlur");
    blur->setValue("inputImage", source);
    blur->setValue("inputRadius", 10.0);
    auto matrix = CIFilter::filterWithName("CIColorMatrix");
    matrix->setValue("inputImage", blur->outputImage());
    matrix->setValue("inputRVector", CIVector{0.3, 0.6, 0.1, 0});
    matrix->setValue("inputAVector", CIVector{0, 0, 0, 0.7});
    CIImage recipe = source.imageByCompositingOverImage(matrix->outputImage());
    auto target = frame(255);
    auto context = CIContext::contextWithTarget(RasterTarget::over(*target), {int(state.range(0)), nullptr});
    Rect all(0, 0, frameWidth, frameHeight);
    for (auto _ : state)
        benchmark::DoNotOptimize(context->drawImage(recipe, all, all).ok());
}
BENCHMARK(BM_BlurMatrixOverRecipe)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The working format: the same source-over on float premultiplied pixels, one thread.
void BM_SourceOver_FloatFormat(benchmark::State& state) {
    std::vector<float> source(std::size_t(frameWidth) * frameHeight * 4), target(source.size());
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = float(i % 251) / 400.0f;
        target[i] = float(i % 241) / 300.0f;
    }
    for (auto _ : state) {
        for (std::size_t i = 0; i < source.size(); i += 4) {
            float keep = 1 - source[i + 3];
            for (int c = 0; c < 4; ++c)
                target[i + c] = source[i + c] + target[i + c] * keep;
        }
        benchmark::DoNotOptimize(target.data());
    }
}
BENCHMARK(BM_SourceOver_FloatFormat)->Unit(benchmark::kMillisecond);

} // namespace
