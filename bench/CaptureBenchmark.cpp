// Screen capture cost: one grab of a 1920 x 1080 area into a shared surface, the packed copy
// a frame makes of it, and looking for scrolled content in a changed picture (a scrolled pane,
// a whole screen of new content). The grabs need an X display with a 1920 x 1080 screen (DISPLAY).

#include "platform/capture/DisplayStream.h"
#include "platform/capture/Screens.h"
#include "platform/capture/ScrollDetector.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <memory>
#include <random>
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

// Text-like lines of grey glyphs on a light background, different on every line.
std::vector<std::uint8_t> textPicture(unsigned seed) {
    std::vector<std::uint8_t> bytes(std::size_t{1920} * 1080 * 4);
    auto* pixels = reinterpret_cast<std::uint32_t*>(bytes.data());
    std::fill(pixels, pixels + 1920 * 1080, 0xfff4f4f4u);
    std::mt19937 random(seed);
    for (int line = 0; line + 16 <= 1080; line += 16)
        for (int x = 4; x + 10 < 1920;) {
            const int glyph = 3 + int(random() % 6);
            const std::uint32_t ink = 0xff000000u | (random() % 0x40) * 0x010101u;
            for (int y = line + 3 + int(random() % 3); y < line + 12; ++y)
                std::fill(pixels + y * 1920 + x, pixels + y * 1920 + x + glyph, ink);
            x += glyph + 2;
        }
    return bytes;
}

// A 960 x 1008 pane scrolled by one 16-row line (arg 0), or the whole screen redrawn (arg 1).
void BM_ScrollDetection(benchmark::State& state) {
    const bool wholeScreen = state.range(0) != 0;
    const auto previous = textPicture(1);
    auto current = previous;
    vtl::Rect changed(0, 40, 960, 1008);
    if (wholeScreen) {
        current = textPicture(2);
        changed = vtl::Rect(0, 0, 1920, 1080);
    } else {
        for (int y = 40; y < 40 + 1008 - 16; ++y)
            std::memcpy(current.data() + std::size_t(y) * 1920 * 4,
                        previous.data() + std::size_t(y + 16) * 1920 * 4, 960 * 4);
    }
    vtl::ScrollDetector detector;
    const vtl::PixelView before{previous.data(), 1920 * 4, 1920, 1080};
    const vtl::PixelView after{current.data(), 1920 * 4, 1920, 1080};
    std::size_t moved = 0;
    for (auto _ : state) {
        auto update = detector.detect(before, after, {changed});
        moved = update.movedRects().size();
        benchmark::DoNotOptimize(moved);
    }
    state.counters["movedRects"] = double(moved);
}
BENCHMARK(BM_ScrollDetection)->ArgName("wholeScreen")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
