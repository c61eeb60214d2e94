// Playing a 1920 × 1080, 30 fps recording in the recording view on two cores, in a 960 × 540
// window, against a plain loop that decodes and draws the same frames at the same size in the
// same run. Reports the share of frames the view drew and the CPU each spends per second of
// recording played (process CPU time, all threads), and their ratio. The loop plays in real time
// too (each frame at its time), so both pay for waking up between frames; the same loop run flat
// out is reported beside it (cpu_ratio_flat_out), where a warm cache and busy cores favour it.

#include "platform/foundation/MonotonicClock.h"
#include "platform/mainloop/QtMainLoop.h"
#include "tracks/views/RecordingFrameSource.h"
#include "tracks/views/VTLRecordingView.h"
#include "tracksviews/RecordingViewTestSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <sched.h>
#include <thread>

namespace vtl {
namespace {

constexpr std::uint32_t kFps = 30;
constexpr double kSeconds = 10.0;
constexpr int kViewWidth = 960, kViewHeight = 540;

// Before any thread exists, so that every thread of the program inherits it.
const bool kOnTwoCores = [] {
    cpu_set_t current, two;
    CPU_ZERO(&two);
    if (sched_getaffinity(0, sizeof current, &current) != 0) return false;
    int chosen = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && chosen < 2; ++cpu)
        if (CPU_ISSET(cpu, &current)) CPU_SET(cpu, &two), ++chosen;
    return chosen == 2 && sched_setaffinity(0, sizeof two, &two) == 0;
}();

double processCpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

QApplication& application() {
    static int argc = 1;
    static char name[] = "recording_view_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        installQtMainLoop();
        return a;
    }();
    return *app;
}

const std::string& package() {
    static const std::string path = test::frameNumberedPackage(
        (std::filesystem::temp_directory_path() / "vistrel-recording-view-bench-1080p30.vistrelRecord")
            .string(),
        1920, 1080, kSeconds, kFps);
    return path;
}

// CPU seconds per played second of a loop that decodes every frame in order and draws it scaled
// into an image of the view's size, as the view does; paced: each frame waits for its time.
double plainLoopCpuPerPlayedSecond(bool paced) {
    auto source = RecordingFrameSource::open(package());
    if (!source) return 0;
    QImage target(kViewWidth, kViewHeight, QImage::Format_RGB32);
    const auto frames = static_cast<std::int64_t>(kSeconds * kFps);
    const double start = processCpuSeconds();
    const double wallStart = monotonicSeconds();
    for (std::int64_t i = 0; i < frames; ++i) {
        if (paced) {
            const double wait = wallStart + double(i) / kFps - monotonicSeconds();
            if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double>(wait));
        }
        source.value()->decodeFrame(i, i == 0, [&](const RecordingFrameSource::Pixels& p) {
            const QImage picture(p.bgrx, p.width, p.height, qsizetype(p.bytesPerRow), QImage::Format_RGB32);
            QPainter painter(&target);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
            painter.drawImage(target.rect(), picture);
        });
        benchmark::DoNotOptimize(target.constBits());
    }
    return (processCpuSeconds() - start) / (double(frames) / kFps);
}

// Runs the event loop for a while without spinning.
void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct ViewResult {
    double cpuPerPlayedSecond = 0;
    double shownShare = 0;
    double wallSeconds = 0;
};

ViewResult playInView() {
    ViewResult result;
    View window(Rect(0, 0, kViewWidth, kViewHeight));
    auto* view = new VTLRecordingView(Rect(0, 0, kViewWidth, kViewHeight));
    window.addSubview(view);
    if (!view->setPath(package()).ok()) return result;
    window.show();
    for (int i = 0; i < 100 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i)
        wait(20);
    QEventLoop loop;
    view->addObserver("isPlaying", KeyValueObservingOptions::newValue, nullptr, [&](const KeyValueChange& c) {
        if (!std::any_cast<bool>(c.newValue)) loop.quit();
    });
    wait(200); // the first frame is on screen
    const std::uint64_t drawnBefore = view->drawnFrameCount();
    const double cpuStart = processCpuSeconds();
    const double wallStart = monotonicSeconds();
    view->setIsPlaying(true);
    loop.exec();
    const double played = monotonicSeconds() - wallStart;
    result.cpuPerPlayedSecond = (processCpuSeconds() - cpuStart) / played;
    result.wallSeconds = played;
    wait(100); // the last frame's paint
    // Frame 0 was drawn before playing; the end shows the closing entry past the last frame.
    const double frames = kSeconds * kFps;
    double drawn = double(view->drawnFrameCount() - drawnBefore) + 1;
    if (view->displayedFrameIndex() >= std::int64_t(frames)) drawn -= 1;
    result.shownShare = drawn / frames;
    return result;
}

void RecordingViewPlayback(benchmark::State& state) {
    application();
    if (!kOnTwoCores) state.SkipWithError("Cannot limit the benchmark to two cores.");
    if (package().empty()) state.SkipWithError("Cannot write the benchmark recording.");
    for (auto _ : state) {
        const double flatOut = plainLoopCpuPerPlayedSecond(false);
        const double loop = plainLoopCpuPerPlayedSecond(true);
        const ViewResult view = playInView();
        state.counters["loop_cpu_per_s"] = loop;
        state.counters["view_cpu_per_s"] = view.cpuPerPlayedSecond;
        state.counters["cpu_ratio"] = loop > 0 ? view.cpuPerPlayedSecond / loop : 0;
        state.counters["cpu_ratio_flat_out"] = flatOut > 0 ? view.cpuPerPlayedSecond / flatOut : 0;
        state.counters["shown_percent"] = 100.0 * view.shownShare;
        state.counters["played_s"] = view.wallSeconds;
    }
}
BENCHMARK(RecordingViewPlayback)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
} // namespace vtl
