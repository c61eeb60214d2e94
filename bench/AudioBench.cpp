// Render cost of track playback: N tracks, each through GraphicEQ, DynamicsProcessor and Reverb,
// rendered the way the output stream asks for it (512 frames a call). "core_per_track" is the
// render thread's CPU time per track as a fraction of real time; "allocations" counts heap
// allocations inside the render calls after warm-up (must be 0).
// FeederDecode: what a feeder thread does to fill its ring, a whole AAC file (48 kHz stereo,
// resampled to 44.1 kHz) read through the media layer, against the ffmpeg tool decoding and
// resampling the same file in the same run; "speed_vs_tool" is the tool's time over ours.
#include "audio/AudioEffectDictionary.h"
#include "audio/AudioTrackPlayer.h"
#include "audio/GraphicEQUnit.h"
#include "audio/MediaPcmSource.h"
#include "audio/MemoryPcmSource.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/NullAudioHardware.h"

#include <array>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <time.h>
#include <vector>

// The counting allocator replaces the global one with malloc and free, which the compiler cannot see match.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

thread_local bool countingAllocations = false;
std::atomic<std::uint64_t> allocations{0};

} // namespace

void* operator new(std::size_t size) {
    if (countingAllocations) allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace vtl;

// Hands the streams' render callbacks to the benchmark, which then plays the device.
class CallbackHardware : public NullAudioHardware {
public:
    std::vector<AudioRenderCallback> callbacks;

    Result<std::unique_ptr<AudioOutputStream>> openOutputStream(std::uint32_t,
                                                                AudioRenderCallback callback) override {
        callbacks.push_back(callback);
        struct Stream : AudioOutputStream {
            Status start() override { return {}; }
            void stop() override {}
            bool isRunning() const override { return true; }
            std::uint64_t underrunCount() const override { return 0; }
            double latencySeconds() const override { return 0; }
        };
        return std::unique_ptr<AudioOutputStream>(std::make_unique<Stream>());
    }
};

std::unique_ptr<PcmSource> music(double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * playbackSampleRate);
    std::vector<std::vector<float>> channels(2, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / playbackSampleRate;
        channels[0][i] = static_cast<float>(0.3 * std::sin(2 * 3.14159265 * 220 * t) +
                                            0.1 * std::sin(2 * 3.14159265 * 3300 * t));
        channels[1][i] = static_cast<float>(0.3 * std::sin(2 * 3.14159265 * 330 * t));
    }
    return std::make_unique<MemoryPcmSource>(std::move(channels));
}

void TrackRender(benchmark::State& state) {
    const auto tracks = static_cast<std::size_t>(state.range(0));
    auto hardware = std::make_shared<CallbackHardware>();
    std::vector<std::unique_ptr<AudioTrackPlayer>> players;
    for (std::size_t t = 0; t < tracks; ++t) {
        auto player = std::make_unique<AudioTrackPlayer>(music(600), true, hardware);
        player->setEffectDictionaries({
            audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("greq")),
            audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("dcmp")),
            audioeffect::makeEffectDictionary(audioeffect::effectType, fourCharCode("mrev")),
        });
        for (std::size_t band = 0; band < GraphicEQUnit::bandCount; ++band)
            player->unitAtIndex(0)->setParameter(static_cast<std::uint32_t>(band), band % 2 ? 3.0f : -3.0f);
        player->doStartMoviePreview(0.0);
        players.push_back(std::move(player));
    }
    std::array<float, maximumFramesPerRender> left{}, right{};
    float* channels[2] = {left.data(), right.data()};
    auto renderAll = [&] {
        for (auto& callback : hardware->callbacks)
            callback(channels, maximumFramesPerRender);
    };
    for (int i = 0; i < 200; ++i) { // warm-up
        for (auto& p : players)
            p->waitForFeeder(4096, 1.0);
        renderAll();
    }
    allocations = 0;
    std::uint64_t frames = 0;
    double renderCpuSeconds = 0;
    auto threadCpu = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    for (auto _ : state) {
        state.PauseTiming();
        for (auto& p : players)
            p->waitForFeeder(maximumFramesPerRender * 8, 1.0);
        state.ResumeTiming();
        const double before = threadCpu();
        countingAllocations = true;
        for (int block = 0; block < 8; ++block)
            renderAll();
        countingAllocations = false;
        renderCpuSeconds += threadCpu() - before;
        frames += maximumFramesPerRender * 8;
        benchmark::DoNotOptimize(left.data());
    }
    const double audioSeconds = static_cast<double>(frames) / playbackSampleRate;
    state.counters["core_per_track"] =
        audioSeconds > 0 ? renderCpuSeconds / (audioSeconds * static_cast<double>(tracks)) : 0;
    state.counters["allocations"] = static_cast<double>(allocations.load());
    state.counters["underruns"] = 0;
    for (auto& p : players)
        state.counters["underruns"] += static_cast<double>(p->underrunCount());
    state.SetItemsProcessed(static_cast<std::int64_t>(frames));
}

double wallSeconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void FeederDecode(benchmark::State& state) {
    const std::string file = (std::filesystem::temp_directory_path() / "vistrel-audio-bench.m4a").string();
    const std::string make =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i 'sine=f=440:r=48000:d=300' -f lavfi "
        "-i 'sine=f=660:r=48000:d=300' -filter_complex amerge -c:a aac -b:a 192k " +
        file;
    if (std::system(make.c_str()) != 0) {
        state.SkipWithError("ffmpeg cannot make the sound file");
        return;
    }
    const std::string tool = "ffmpeg -nostdin -loglevel error -i " + file + " -ar 44100 -f null -";
    double ours = 0, theirs = 0;
    std::int64_t frames = 0;
    for (auto _ : state) {
        ours += wallSeconds([&] {
            auto source = MediaPcmSource::open(file);
            if (!source) return;
            std::vector<float> left(4096), right(4096);
            float* channels[2] = {left.data(), right.data()};
            for (;;) {
                auto got = (*source)->read(channels, left.size());
                if (!got || *got == 0) break;
                frames += static_cast<std::int64_t>(*got);
            }
        });
        theirs += wallSeconds([&] {
            if (std::system(tool.c_str()) != 0) state.SkipWithError("the ffmpeg tool failed");
        });
    }
    std::filesystem::remove(file);
    state.counters["ours_s"] = ours / static_cast<double>(state.iterations());
    state.counters["tool_s"] = theirs / static_cast<double>(state.iterations());
    state.counters["speed_vs_tool"] = ours > 0 ? theirs / ours : 0;
    state.SetItemsProcessed(frames);
}

} // namespace

BENCHMARK(FeederDecode)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(TrackRender)->Arg(1)->Arg(8)->Arg(16)->Unit(benchmark::kMicrosecond)->UseRealTime();
