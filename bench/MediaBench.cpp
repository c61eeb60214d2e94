// Movie decoding against the ffmpeg tool on the same clip, in the same run: a 10 s 1080p30 H.264
// clip with one GOP of 250 frames and B-frames.
//   - sequential decode to B, G, R, A: ours (MediaFrameReader) against
//     `ffmpeg -threads N -i clip -pix_fmt bgra -f null -` (its own -benchmark time, without
//     start-up), for N = 1 and all cores; target ratio ≥ 0.8.
//   - exact random seek to 8.2 s: ours (MediaImageGenerator) against the tool's
//     `-ss 8.2 -frames:v 1` minus the same command at -ss 0 (its start-up); target ≤ 1.0.
//   - one frame forward while scrubbing, in single-thread frame decodes; target ≤ 3.
// The figures and ratios are printed after the benchmarks.

#include "BenchMediaFile.h"
#include "platform/media/MediaAsset.h"
#include "platform/media/MediaFrameReader.h"
#include "platform/media/MediaImageGenerator.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

constexpr int clipFrames = 300;
constexpr double seekSeconds = 8.2;

int allCores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

const std::string& clipPath() {
    static const std::string path = [] {
        std::string p = bench::makeBenchMediaFile(
            "media-bench.mov", "-f lavfi -i testsrc2=s=1920x1080:r=30:d=10 -pix_fmt yuv420p "
                               "-c:v libx264 -preset veryfast -g 250 -bf 3");
        bench::removeAtExit(p);
        return p;
    }();
    return path;
}

std::shared_ptr<const MediaAsset> clipAsset() {
    static const std::shared_ptr<const MediaAsset> asset = [] {
        auto opened = MediaAsset::open(clipPath());
        if (!opened) {
            std::fprintf(stderr, "could not open the benchmark clip: %s\n", opened.error().c_str());
            std::exit(1);
        }
        return *opened;
    }();
    return asset;
}

// Seconds a figure took, by name, for the ratios printed at the end (medians would need more
// repetitions than the clip's length allows; the last iteration's mean is kept).
std::mutex figuresMutex;
std::map<std::string, double> figures;
void record(const std::string& name, double seconds) {
    std::lock_guard lock(figuresMutex);
    figures[name] = seconds;
}

double wallSeconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The tool's own time for its decode loop ("rtime" of -benchmark), without start-up.
double toolDecodeSeconds(int threads) {
    return bench::ffmpegBenchmarkSeconds("-threads " + std::to_string(threads) + " -i '" + clipPath() +
                                         "' -pix_fmt bgra -f null -");
}

void BM_ToolSequentialDecode(benchmark::State& state) {
    const int threads = state.range(0) == 0 ? allCores() : static_cast<int>(state.range(0));
    clipPath();
    double total = 0;
    for (auto _ : state) {
        const double seconds = toolDecodeSeconds(threads);
        if (seconds <= 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(seconds);
        total += seconds;
    }
    record("tool decode " + std::to_string(threads), total / state.iterations());
    state.counters["fps"] = benchmark::Counter(clipFrames * state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(threads) + " threads");
}
BENCHMARK(BM_ToolSequentialDecode)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

void BM_SequentialDecode(benchmark::State& state) {
    const int threads = state.range(0) == 0 ? allCores() : static_cast<int>(state.range(0));
    auto asset = clipAsset();
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        VideoDecodeOptions options;
        options.threadCount = threads;
        auto reader = MediaFrameReader::open(asset, 0, options);
        if (!reader) {
            state.SkipWithError(reader.error().c_str());
            return;
        }
        int frames = 0;
        for (;;) {
            auto frame = (*reader)->nextFrame();
            if (!frame || !*frame) break;
            benchmark::DoNotOptimize((*frame)->image.data());
            ++frames;
        }
        if (frames != clipFrames) {
            state.SkipWithError("wrong frame count");
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    record("decode " + std::to_string(threads), total / state.iterations());
    state.counters["fps"] = benchmark::Counter(clipFrames * state.iterations(), benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(threads) + " threads");
}
BENCHMARK(BM_SequentialDecode)->Arg(1)->Arg(0)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ToolExactSeek(benchmark::State& state) {
    clipPath();
    auto command = [](double at) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", at);
        return "ffmpeg -nostdin -v error -ss " + std::string(seconds) + " -i '" + clipPath() +
               "' -frames:v 1 -pix_fmt bgra -f null -";
    };
    double total = 0;
    for (auto _ : state) {
        const double startUp = wallSeconds(command(0));
        const double seek = wallSeconds(command(seekSeconds));
        const double seconds = std::max(seek - startUp, 1e-6);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    record("tool seek", total / state.iterations());
}
BENCHMARK(BM_ToolExactSeek)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_ExactSeek(benchmark::State& state) {
    auto generator = MediaImageGenerator::create(clipAsset(), 0);
    if (!generator) {
        state.SkipWithError(generator.error().c_str());
        return;
    }
    double total = 0;
    for (auto _ : state) {
        state.PauseTiming();
        (void)(*generator)->imageAtTime(MediaTime::zero());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        auto frame = (*generator)->imageAtTime(MediaTime::fromSeconds(seekSeconds, 30000));
        if (!frame) {
            state.SkipWithError(frame.error().c_str());
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
    }
    record("seek", total / state.iterations());
}
BENCHMARK(BM_ExactSeek)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// One frame forward at a time from 4 s, as a scrub to the right does.
void BM_ForwardScrubOneFrame(benchmark::State& state) {
    const int threads = state.range(0) == 0 ? allCores() : static_cast<int>(state.range(0));
    VideoDecodeOptions options;
    options.threadCount = threads;
    auto generator = MediaImageGenerator::create(clipAsset(), 0, options);
    if (!generator) {
        state.SkipWithError(generator.error().c_str());
        return;
    }
    int frame = 120;
    (void)(*generator)->imageAtTime(MediaTime{frame, 30});
    double total = 0;
    for (auto _ : state) {
        ++frame;
        if (frame >= clipFrames - 1) {
            state.PauseTiming();
            frame = 120;
            (void)(*generator)->imageAtTime(MediaTime{frame, 30});
            state.ResumeTiming();
        }
        const auto start = std::chrono::steady_clock::now();
        auto image = (*generator)->imageAtTime(MediaTime{frame * 2 + 1, 60});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(image.ok());
        state.SetIterationTime(seconds);
        total += seconds;
    }
    record("scrub " + std::to_string(threads), total / state.iterations());
    state.SetLabel(std::to_string(threads) + " threads");
}
BENCHMARK(BM_ForwardScrubOneFrame)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMillisecond);

void printRatios() {
    std::lock_guard lock(figuresMutex);
    auto figure = [](const std::string& name) {
        const auto found = figures.find(name);
        return found == figures.end() ? -1.0 : found->second;
    };
    const std::string cores = std::to_string(allCores());
    std::printf("\nRatios (same run):\n");
    for (const std::string& threads : {std::string("1"), cores}) {
        const double ours = figure("decode " + threads);
        const double tool = figure("tool decode " + threads);
        if (ours > 0 && tool > 0)
            std::printf("  sequential BGRA decode, %s thread(s): %.0f fps vs ffmpeg %.0f fps: %.2fx (target "
                        ">= 0.8)\n",
                        threads.c_str(), clipFrames / ours, clipFrames / tool, tool / ours);
    }
    const double seek = figure("seek");
    const double toolSeek = figure("tool seek");
    if (seek > 0 && toolSeek > 0)
        std::printf("  exact seek to %.1f s: %.0f ms vs ffmpeg -ss %.0f ms (start-up removed): %.2fx (target "
                    "<= 1.0)\n",
                    seekSeconds, seek * 1e3, toolSeek * 1e3, seek / toolSeek);
    const double frameDecode = figure("decode 1") / clipFrames;
    for (const std::string& threads : {std::string("1"), cores}) {
        const double scrub = figure("scrub " + threads);
        if (scrub > 0 && frameDecode > 0)
            std::printf("  one frame forward, %s thread(s): %.2f ms = %.2f single-thread frame decodes "
                        "(target <= 3)\n",
                        threads.c_str(), scrub * 1e3, scrub / frameDecode);
    }
}

} // namespace
} // namespace vtl

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    vtl::printRatios();
    return 0;
}
