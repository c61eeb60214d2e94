// Decoding cost of the recording reader on a 1920 x 1080 recording written by the recorder's
// pipeline: a key frame, one typical changed-block frame, the worst random access (a key frame
// plus keyFrameRate - 1 deltas), and playback through the decode-ahead cache at 60 requests a
// second, counting requests that found their frame not decoded yet.

#include "recorder/synthetic/SyntheticRecording.h"
#include "tracks/reader/VistrelDecoderCachedBuffer.h"
#include "tracks/reader/VistrelRecording.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace vtl {
namespace {

// One recording for the whole program: 2 s at 30 fps, so key frames at 0 and 30.
const std::string& recordingPath() {
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() /
             ("reader-bench-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
              ".vistrelRecord"))
                .string();
        std::filesystem::remove_all(p);
        SyntheticRecordingSettings settings;
        settings.framesPerSecond = 30;
        settings.seconds = 2.0;
        settings.screen.movedBlocks = true;
        const auto result = writeSyntheticRecording(p, settings);
        if (!result) {
            std::fprintf(stderr, "could not write the benchmark recording: %s\n", result.error().c_str());
            std::exit(1);
        }
        std::atexit([] { std::filesystem::remove_all(recordingPath()); });
        return p;
    }();
    return path;
}

struct OpenRecording {
    std::shared_ptr<VistrelRecording> recording = std::make_shared<VistrelRecording>(recordingPath());
    std::unique_ptr<DecompressionInfo> info;
    OpenRecording() {
        auto made = recording->makeDecompressionInfo();
        if (!made) {
            std::fprintf(stderr, "could not decode the benchmark recording: %s\n", made.error().c_str());
            std::exit(1);
        }
        info = std::move(made).value();
    }
    ~OpenRecording() { info->release(); }
    void decodeFromScratch(std::uint64_t frame) {
        info->forgetLastFrame();
        info->decompressFrame(frame);
    }
};

void BM_KeyFrame1080p(benchmark::State& state) {
    OpenRecording r;
    for (auto _ : state)
        r.decodeFromScratch(0);
    state.SetLabel(std::to_string(r.recording->width()) + "x" + std::to_string(r.recording->height()));
}
BENCHMARK(BM_KeyFrame1080p)->Unit(benchmark::kMillisecond);

void BM_ChangedBlockFrame(benchmark::State& state) {
    OpenRecording r;
    r.decodeFromScratch(4);
    // Applying frame 5's record again costs what applying it once does.
    for (auto _ : state)
        r.info->decompressNextFrame(5);
}
BENCHMARK(BM_ChangedBlockFrame)->Unit(benchmark::kMillisecond);

void BM_WorstCaseRandomAccess(benchmark::State& state) {
    OpenRecording r;
    const std::uint64_t target = r.recording->frameRate() - 1;
    for (auto _ : state)
        r.decodeFromScratch(target);
    state.counters["frames decoded"] = double(target + 1);
}
BENCHMARK(BM_WorstCaseRandomAccess)->Unit(benchmark::kMillisecond);

void BM_PlaybackThroughCacheAt60Hz(benchmark::State& state) {
    auto recording = std::make_shared<VistrelRecording>(recordingPath());
    recording->open();
    std::uint64_t requests = 0, waited = 0;
    for (auto _ : state) {
        VistrelDecoderCachedBuffer cache(recording, 0, 15);
        cache.setColorspaceAndStartDecoding("sRGB", {});
        const auto start = std::chrono::steady_clock::now();
        const double duration = recording->duration();
        for (int i = 0;; ++i) {
            const double t = i / 60.0;
            if (t >= duration) break;
            std::this_thread::sleep_until(start + std::chrono::microseconds(std::int64_t(t * 1e6)));
            benchmark::DoNotOptimize(cache.createImageAtTime(t));
        }
        cache.cancelCaching();
        requests += cache.requestCount();
        waited += cache.waitedRequestCount();
    }
    state.counters["requests"] = double(requests);
    state.counters["waited"] = double(waited);
}
BENCHMARK(BM_PlaybackThroughCacheAt60Hz)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

} // namespace
} // namespace vtl
