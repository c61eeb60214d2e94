// Screen capture cost: one grab of a 1920 x 1080 area into a shared surface, and the packed copy
// a frame makes of it. Needs an X display with a 1920 x 1080 screen (DISPLAY).

#include "platform/capture/DisplayStream.h"
#include "platform/capture/Screens.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<vtl::DisplayStream> fullHdStream(benchmark::State& state) {
    auto screens = vtl::listScreens();
    if (!screens || screens->empty()) {
        state.SkipWithError(screens ? "no screen" : screens.error().c_str());
        return nullptr;
    }
    vtl::DisplayStreamConfiguration config;
    config.displayID = screens->front().displayID;
    config.sourceRect = vtl::Rect(0, 0, 1920, 1080);
    config.outputWidth = 1920;
    config.outputHeight = 1080;
    auto stream = vtl::DisplayStream::create(config, [](auto...) {});
    if (!stream) {
        state.SkipWithError(stream.error().c_str());
        return nullptr;
    }
    return std::move(stream).value();
}

void BM_Grab1920x1080(benchmark::State& state) {
    auto stream = fullHdStream(state);
    if (!stream) return;
    for (auto _ : state) {
        auto surface = stream->grabStill();
        benchmark::DoNotOptimize(surface.ok());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1920 * 1080 * 4);
}
BENCHMARK(BM_Grab1920x1080)->Unit(benchmark::kMillisecond);

void BM_Grab1920x1080AndCopy(benchmark::State& state) {
    auto stream = fullHdStream(state);
    if (!stream) return;
    std::vector<std::uint8_t> packed(std::size_t{1920} * 1080 * 4);
    for (auto _ : state) {
        auto grabbed = stream->grabStill();
        if (!grabbed) {
            state.SkipWithError("grab failed");
            return;
        }
        auto surface = std::move(grabbed).value();
        surface->lockReadOnly();
        std::memcpy(packed.data(), surface->baseAddress(), packed.size());
        surface->unlockReadOnly();
        benchmark::DoNotOptimize(packed.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 1920 * 1080 * 4);
}
BENCHMARK(BM_Grab1920x1080AndCopy)->Unit(benchmark::kMillisecond);

} // namespace
