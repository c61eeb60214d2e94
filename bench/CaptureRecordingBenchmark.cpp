// Ten seconds of recording a constantly changing 1920 x 1080 screen through the real display
// stream, screen grabber and encode queue, at 30 and 60 frames per second, with part of the screen
// or all of it changing. Reports the updates
// delivered against the frames kept, dropped and skipped, and the CPU seconds this process spent
// per recorded second (the X server's own work is not counted). Needs an X display of at least
// 1920 x 1080 (DISPLAY).

#include "BenchCoordinator.h"
#include "capture/CaptureTestSupport.h"
#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/Screens.h"
#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace vtl;
using bench::BenchCoordinator;
using bench::processCpuSeconds;

void BM_RecordChangingScreen(benchmark::State& state) {
    const auto fps = static_cast<std::uint32_t>(state.range(0));
    const bool wholeScreen = state.range(1) != 0;
    const double seconds = 10.0;
    auto screens = listScreens();
    if (!screens || screens->empty()) {
        state.SkipWithError(screens ? "no screen" : screens.error().c_str());
        return;
    }
    const ScreenDescription& screen = screens->front();
    const Rect areaX11(screen.x11Frame.minX(), screen.x11Frame.minY(), 1920, 1080);
    capturetest::XcbTestWindow window(int(areaX11.minX()), int(areaX11.minY()), 1920, 1080, 0x202020);
    if (!window.ok()) {
        state.SkipWithError("cannot draw on the display");
        return;
    }
    auto folder = std::filesystem::temp_directory_path() / ("vistrel-bench-" + std::to_string(::getpid()));

    for (auto _ : state) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "take.vistrelRecord");
        BenchCoordinator coordinator(screen.displayID, X11CoordinateSpace(screen.x11Frame).fromX11(areaX11),
                                     (folder / "take.vistrelRecord").string());
        EncodeQueueSettings settings;
        settings.frameRate = fps;
        settings.areaWidthPixels = 1920;
        settings.areaHeightPixels = 1080;
        VTL3RecordEndcodeQueue queue(settings);
        if (Status prepared = queue.prepareForRecording(coordinator.recordPath()); !prepared) {
            state.SkipWithError(prepared.error().c_str());
            return;
        }
        auto created = VTL3RecordImageGrabber::create(fps, RecordMode::FullScreen, queue, coordinator,
                                                      RecordQuality::High);
        if (!created) {
            state.SkipWithError(created.error().c_str());
            return;
        }
        auto grabber = std::move(created).value();

        // Something changes all the time. Mode 0: a band sweeping down the screen and a block that
        // changes colour, about 200 drawings a second. Mode 1: the whole screen, as bands of
        // changing colours, about 100 times a second.
        std::atomic<bool> drawing{true};
        std::thread painter([&] {
            std::uint32_t step = 0;
            while (drawing.load()) {
                if (wholeScreen) {
                    for (int row = 0; row < 1080; row += 40)
                        window.fill(0, row, 1920, 40,
                                    (step * 0x0a0b0c + std::uint32_t(row) * 0x030201) & 0xffffff);
                } else {
                    int row = int((step * 12) % 1080);
                    window.fill(0, row, 1920, 12, 0x404040 + (step * 0x010203 & 0x7f7f7f));
                    window.fill(int((step * 97) % 1800), int((step * 53) % 1000), 120, 80,
                                step * 0x3f1f0f & 0xffffff);
                }
                ++step;
                std::this_thread::sleep_for(std::chrono::milliseconds(wholeScreen ? 10 : 5));
            }
        });

        const double cpuBefore = processCpuSeconds();
        grabber->startProcessQueue();
        grabber->setWriteToMovie();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        grabber->stopRecord();
        drawing = false;
        painter.join();
        grabber->finalizeRecord();
        const double cpu = processCpuSeconds() - cpuBefore;

        auto stats = grabber->statistics();
        state.counters["delivered"] = double(stats.delivered);
        state.counters["kept"] = double(stats.kept);
        state.counters["dropped"] = double(stats.dropped);
        state.counters["skipped"] = double(stats.skipped);
        state.counters["keyFrames"] = double(stats.keyFrames);
        state.counters["keptPerSecond"] = double(stats.kept) / seconds;
        state.counters["cpuSecondsPerRecordedSecond"] = cpu / seconds;
        state.counters["MBWritten"] = double(queue.bytesWrittenSoFar()) / 1e6;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecordChangingScreen)
    ->ArgNames({"fps", "wholeScreen"})
    ->Args({30, 0})
    ->Args({60, 0})
    ->Args({30, 1})
    ->Args({60, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
