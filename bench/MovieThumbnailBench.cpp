// Timeline thumbnails of a 60-minute movie (320 × 180, 15 fps H.264, GOP 250): the whole run of a
// movie track (one picture every 4/3 s, each stored four times) while the main thread pumps its
// queue, against the ffmpeg tool's sequential decode of the same clip scaled to the thumbnail size
// (`ffmpeg -threads N -i clip -vf scale=235:132 -pix_fmt bgra -f null -`, its own -benchmark time),
// N = all cores, in the same run.
//   - "longest_main_task_ms": the longest single pass of the main thread's queue during the run
//     (progress, partial lists, the hand-over); target: no stall over 16 ms.
//   - the ratio of the run's time to the tool's decode is printed after the benchmarks (thumbnails
//     cost about one sequential decode).

#include "BenchMediaFile.h"
#include "model/CompositionMediaEntry.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>

namespace vtl {
namespace {

int allCores() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

const std::string& longClipPath() {
    static const std::string path = [] {
        std::string p = bench::makeBenchMediaFile(
            "movie-thumbnail-bench.mov", "-f lavfi -i testsrc2=s=320x180:r=15:d=3600 -pix_fmt yuv420p "
                                         "-c:v libx264 -preset ultrafast -g 250 -bf 2 -threads 2");
        bench::removeAtExit(p);
        return p;
    }();
    return path;
}

double runSeconds = 0;
double toolSeconds = 0;

void BM_SixtyMinuteThumbnails(benchmark::State& state) {
    CompositionMovieTrackObject::registerClasses();
    const std::string path = longClipPath();
    for (auto _ : state) {
        auto track = makeModelObject<CompositionMovieTrackObject>(nullptr);
        track->setMediaEntry(std::make_shared<CompositionMediaEntry>(path, nullptr));
        track->setTrackIndex(0);
        double longestTask = 0;
        std::size_t passes = 0;
        const auto start = std::chrono::steady_clock::now();
        track->generateThumbnails();
        while (CompositionTrackObject::currentlyExtractingTrack()) {
            const auto before = std::chrono::steady_clock::now();
            const bool ran = runMainLoopOnce(0);
            const double taken =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
            if (ran) {
                ++passes;
                longestTask = std::max(longestTask, taken);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        runSeconds = seconds;
        const auto thumbnails = track->previewThumbnails();
        state.counters["thumbnails"] = thumbnails ? static_cast<double>(thumbnails->size()) : 0;
        state.counters["longest_main_task_ms"] = longestTask * 1000;
        state.counters["main_passes"] = static_cast<double>(passes);
    }
}
BENCHMARK(BM_SixtyMinuteThumbnails)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ToolScaledDecode(benchmark::State& state) {
    const std::string arguments = "-threads " + std::to_string(allCores()) + " -i '" + longClipPath() +
                                  "' -vf scale=235:132 -pix_fmt bgra -f null -";
    for (auto _ : state) {
        const double seconds = bench::ffmpegBenchmarkSeconds(arguments);
        if (seconds <= 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(seconds);
        toolSeconds = seconds;
    }
}
BENCHMARK(BM_ToolScaledDecode)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

struct RatioPrinter {
    ~RatioPrinter() {
        if (runSeconds > 0 && toolSeconds > 0)
            std::printf("thumbnail run / tool sequential decode: %.2f (%.2f s / %.2f s)\n",
                        runSeconds / toolSeconds, runSeconds, toolSeconds);
    }
} ratioPrinter;

} // namespace
} // namespace vtl
