// Waveform extraction of a 10-minute stereo AAC sound file (44.1 kHz): the audio track's whole
// background run (decode to 44 kHz mono float in 512-frame steps, one peak per 10 ms, the hand-over
// on the main queue) against the ffmpeg tool's decode of the same file to the same samples
// (`ffmpeg -i FILE -ac 1 -ar 44000 -f f32le -y /dev/null`, its own -benchmark time), same run.
//   - "x_real_time": seconds of sound per second of extraction (target: at least 100).
//   - the tool's time over the extraction's is printed after the benchmarks (target: at least 0.8).

#include "BenchMediaFile.h"
#include "model/CompositionMediaEntry.h"
#include "platform/audio/AudioHardware.h"
#include "platform/audio/NullAudioHardware.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "tracks/CompositionAudioTrackObject.h"

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

constexpr double kSoundSeconds = 600;

const std::string& soundPath() {
    static const std::string path = [] {
        std::string p = bench::makeBenchSound("waveform-bench.m4a", kSoundSeconds);
        bench::removeAtExit(p);
        return p;
    }();
    return path;
}

double extractionSeconds = 0;
double toolSeconds = 0;

void BM_WaveformExtraction(benchmark::State& state) {
    CompositionAudioTrackObject::registerClasses();
    AudioHardware::setShared(std::make_shared<NullAudioHardware>());
    const std::string path = soundPath();
    for (auto _ : state) {
        auto track = makeModelObject<CompositionAudioTrackObject>(nullptr);
        track->setMediaEntry(std::make_shared<CompositionMediaEntry>(path, nullptr));
        track->setTrackIndex(0);
        const auto start = std::chrono::steady_clock::now();
        track->extractWaveFormAndNotify();
        while (!track->waveformExtractionDone()) {
            if (!runMainLoopOnce(0)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        extractionSeconds = seconds;
        state.counters["peaks"] = track->numberSamples();
        state.counters["x_real_time"] = kSoundSeconds / seconds;
    }
}
BENCHMARK(BM_WaveformExtraction)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ToolMonoDecode(benchmark::State& state) {
    const std::string arguments = "-i '" + soundPath() + "' -ac 1 -ar 44000 -f f32le -y /dev/null";
    for (auto _ : state) {
        const double seconds = bench::ffmpegBenchmarkSeconds(arguments);
        if (seconds <= 0) {
            state.SkipWithError("ffmpeg failed");
            return;
        }
        state.SetIterationTime(seconds);
        toolSeconds = seconds;
        state.counters["x_real_time"] = kSoundSeconds / seconds;
    }
}
BENCHMARK(BM_ToolMonoDecode)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

struct RatioPrinter {
    ~RatioPrinter() {
        if (extractionSeconds > 0 && toolSeconds > 0)
            std::printf(
                "tool decode / waveform extraction: %.2f (%.3f s / %.3f s); extraction %.0fx real time\n",
                toolSeconds / extractionSeconds, toolSeconds, extractionSeconds,
                kSoundSeconds / extractionSeconds);
    }
} ratioPrinter;

} // namespace
} // namespace vtl
