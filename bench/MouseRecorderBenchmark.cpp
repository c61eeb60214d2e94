// The mouse recorder's cost beside the screen grabber: ten seconds of a 1920 x 1080 recording at
// 60 frames per second with part of the screen changing all the time, while the pointer never
// stops moving and the mouse recorder ticks at the same 60 per second. Reports the CPU seconds per
// recorded second of the grabber (this process, less the helper threads and the mouse recorder)
// and of the mouse recorder's ticks (its event thread sleeps while no button is pressed), and the mouse
// recorder's share of the grabber's cost. Starts an X server of its own (Xvfb).

#include "BenchCoordinator.h"
#include "capture/CaptureTestSupport.h"
#include "capture/PrivateXServer.h"
#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/PointerMonitor.h"
#include "platform/capture/Screens.h"
#include "recorder/MouseRecorder.h"
#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/VTL3RecordEndcodeQueue.h"
#include "recorder/VTL3RecordImageGrabber.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace vtl;

// The screen coordinator of the other capture benchmarks, also standing in for the mouse
// recorder's coordinator and delegate.
class MouseBenchCoordinator final : public bench::BenchCoordinator,
                                    public RecorderDelegate,
                                    public MouseRecorderCoordinator {
public:
    using bench::BenchCoordinator::BenchCoordinator;
    using bench::BenchCoordinator::recorderDone;
    using bench::BenchCoordinator::recorderStartedProducingData;
    bool recorderStartedProducingData(Recorder&) override { return true; }
    void recorderDone(Recorder&) override {}
    float recordingScreenScaling() const override {
        return bench::BenchCoordinator::recordingScreenScaling();
    }
    double recordStartTime() const override { return 0; }
    double recordingClockSeconds() const override { return 0; }
    Point convertPointFromCarbonCoordinatesToMovieCoordinates(Point p) const override {
        return Point{p.x, 1080 - p.y};
    }
};

using bench::processCpuSeconds;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void BM_MouseRecorderBesideGrabber(benchmark::State& state) {
    const std::uint32_t fps = 60;
    const double seconds = 10.0;
    std::string error;
    if (!vtl::testing::startPrivateXServer(error, false)) {
        state.SkipWithError(error.c_str());
        return;
    }
    auto screens = listScreens();
    if (!screens || screens->empty()) {
        state.SkipWithError(screens ? "no screen" : screens.error().c_str());
        return;
    }
    const ScreenDescription& screen = screens->front();
    const Rect areaX11(screen.x11Frame.minX(), screen.x11Frame.minY(), 1920, 1080);
    capturetest::XcbTestWindow window(int(areaX11.minX()), int(areaX11.minY()), 1920, 1080, 0x202020);
    vtl::testing::XTestDriver driver;
    if (!window.ok() || !driver.ok()) {
        state.SkipWithError("cannot draw on the display");
        return;
    }
    auto folder =
        std::filesystem::temp_directory_path() / ("vistrel-mouse-bench-" + std::to_string(::getpid()));

    for (auto _ : state) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder / "take.vistrelRecord");
        MouseBenchCoordinator coordinator(screen.displayID,
                                          X11CoordinateSpace(screen.x11Frame).fromX11(areaX11),
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
        auto monitor = openPointerMonitor();
        if (!created || !monitor) {
            state.SkipWithError(!created ? created.error().c_str() : monitor.error().c_str());
            return;
        }
        auto grabber = std::move(created).value();
        MouseRecorder mouse(coordinator, coordinator, std::move(monitor).value(), int(fps),
                            MouseRecorder::TickSource::Caller);

        std::atomic<bool> running{true};
        std::atomic<double> helperCpu{0}, mouseCpu{0};
        // A band sweeping down the screen and a block changing colour, about 200 drawings a second.
        std::thread painter([&] {
            double start = threadCpuSeconds();
            std::uint32_t step = 0;
            while (running.load()) {
                int row = int((step * 12) % 1080);
                window.fill(0, row, 1920, 12, 0x404040 + (step * 0x010203 & 0x7f7f7f));
                window.fill(int((step * 97) % 1800), int((step * 53) % 1000), 120, 80,
                            step * 0x3f1f0f & 0xffffff);
                ++step;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            helperCpu = helperCpu + (threadCpuSeconds() - start);
        });
        // The pointer circles without a pause, about 500 moves a second.
        std::thread mover([&] {
            double start = threadCpuSeconds();
            for (int step = 0; running.load(); ++step) {
                double angle = step * 0.05;
                driver.moveTo(960 + int(400 * std::cos(angle)), 540 + int(300 * std::sin(angle)));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            helperCpu = helperCpu + (threadCpuSeconds() - start);
        });
        // The mouse recorder's tick, as its own thread would run it.
        std::thread ticker([&] {
            double start = threadCpuSeconds();
            auto next = std::chrono::steady_clock::now();
            while (running.load()) {
                mouse.renderMouse();
                next += std::chrono::microseconds(1000000 / fps);
                std::this_thread::sleep_until(next);
            }
            mouseCpu = threadCpuSeconds() - start;
        });

        const double cpuBefore = processCpuSeconds();
        mouse.startRecord();
        mouse.setWriteToMovie();
        grabber->startProcessQueue();
        grabber->setWriteToMovie();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        grabber->stopRecord();
        running = false;
        painter.join();
        mover.join();
        ticker.join();
        mouse.stopRecord();
        grabber->finalizeRecord();
        const double cpu = processCpuSeconds() - cpuBefore;
        const double grabberCpu = cpu - helperCpu.load() - mouseCpu.load();

        auto positions = mouse.mouseFileContents().arrayForKey("mousePositions");
        state.counters["keptFrames"] = double(grabber->statistics().kept);
        state.counters["positions"] = positions ? double(positions->size()) : 0;
        state.counters["grabberCpuPerSecond"] = grabberCpu / seconds;
        state.counters["mouseCpuPerSecond"] = mouseCpu.load() / seconds;
        state.counters["mouseShareOfGrabberPercent"] = 100.0 * mouseCpu.load() / grabberCpu;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_MouseRecorderBesideGrabber)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
