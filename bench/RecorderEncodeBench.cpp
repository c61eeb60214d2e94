// Encode throughput of the recorder: a 1920 x 1080 key frame (parallel stripes), a frame with
// typical small changes, and whole synthetic recordings of 10 seconds at 30 and 60 fps.
// Files go to a sink that discards them, so the figures are the encoder's, not the disk's.

#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTLRecorderKeyFrame.h"
#include "recorder/VTLRecorderMoveChangeBlockFrame.h"
#include "recorder/VTLRecorderStopFrame.h"
#include "recorder/synthetic/SyntheticRecording.h"
#include "recorder/synthetic/SyntheticScreenSource.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <thread>

namespace vtl {
namespace {

class DiscardSink final : public ByteSink {
public:
    Status append(const std::uint8_t*, std::size_t) override { return {}; }
    Status writeAt(std::uint64_t, const std::uint8_t*, std::size_t) override { return {}; }
    Status truncate(std::uint64_t) override { return {}; }
    Status close() override { return {}; }
};

ByteSinkFactory discardFactory() {
    return [](const std::string&) -> Result<std::unique_ptr<ByteSink>> {
        return std::unique_ptr<ByteSink>(std::make_unique<DiscardSink>());
    };
}

// Processor time of every thread of the process.
double processCpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

void waitForFrames(const VTL3RecordEndcodeQueue& queue, std::uint32_t count) {
    while (queue.overallFrameCounter() < count)
        std::this_thread::yield();
}

// One frame at a time through the queue: copy, quality, parallel JPEG, records.
void encodeFrames(benchmark::State& state, bool keyFrames) {
    const std::uint32_t width = 1920, height = 1080;
    SyntheticScreenSettings screen;
    SyntheticScreenSource source(screen);
    SyntheticUpdate first = source.nextFrame();
    SyntheticUpdate update = keyFrames ? first : source.nextFrame();

    EncodeQueueSettings settings;
    settings.frameRate = 30;
    settings.areaWidthPixels = width;
    settings.areaHeightPixels = height;
    settings.encodeThreads = static_cast<unsigned>(state.range(0));
    settings.sinkFactory = discardFactory();
    VTL3RecordEndcodeQueue queue(settings);
    if (Status prepared = queue.prepareForRecording("/nonexistent"); !prepared)
        state.SkipWithError(prepared.error().c_str());
    const Rect area(0, 0, width, height);
    std::int64_t index = 0;
    std::uint64_t pixels = 0;
    for (auto _ : state) {
        std::unique_ptr<VTL3RecorderFrame> frame;
        if (keyFrames || index % 30 == 0)
            frame = std::make_unique<VTLRecorderKeyFrame>(update.surface, area, double(index) / 30, index);
        else
            frame = std::make_unique<VTLRecorderMoveChangeBlockFrame>(
                update.surface, area, double(index) / 30, index, update.movedRects, update.movedDeltaX,
                update.movedDeltaY, update.changedRects);
        frame->setRecordQuality(RecordQuality::High);
        frame->processSurface(queue.pool());
        queue.addRecorderFrame(std::move(frame));
        ++index;
        waitForFrames(queue, static_cast<std::uint32_t>(index));
    }
    for (const Rect& rect : update.changedRects)
        pixels += std::uint64_t(rect.width() * rect.height());
    queue.addRecorderFrame(std::make_unique<VTLRecorderStopFrame>(double(index) / 30, index));
    (void)queue.finalizeRecord();
    state.SetItemsProcessed(state.iterations());
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    if (!keyFrames) state.counters["changed_pixels"] = double(pixels);
}

void BM_KeyFrame1080p(benchmark::State& state) {
    encodeFrames(state, true);
}
void BM_SmallChangesFrame1080p(benchmark::State& state) {
    encodeFrames(state, false);
}

// A whole recording, source to finished package.
void BM_SyntheticRecording10s(benchmark::State& state) {
    SyntheticRecordingSettings settings;
    settings.framesPerSecond = static_cast<std::uint32_t>(state.range(0));
    settings.seconds = 10;
    settings.sinkFactory = discardFactory();
    double frames = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const auto result = writeSyntheticRecording("/tmp", settings);
        wallSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuSeconds += processCpuSeconds() - cpuBefore;
        if (!result) {
            state.SkipWithError(result.error().c_str());
            break;
        }
        frames += double(result->framesWritten);
    }
    const double runs = double(state.iterations());
    state.counters["encode_fps"] = frames / wallSeconds;
    state.counters["cpu_s_per_recorded_s"] = cpuSeconds / (runs * settings.seconds);
    state.counters["frames"] = frames / runs;
}

BENCHMARK(BM_KeyFrame1080p)->Arg(1)->Arg(0)->ArgName("threads")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SmallChangesFrame1080p)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("threads")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SyntheticRecording10s)
    ->Arg(30)
    ->Arg(60)
    ->ArgName("fps")
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
} // namespace vtl
