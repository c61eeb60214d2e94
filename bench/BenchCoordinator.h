#pragma once
// What the screen-recording benchmarks need of a recording coordinator: a 1920 x 1080 screen
// area, a package path, and nothing else; plus the CPU time the process has used. Header-only;
// each benchmark run owns its coordinator.

#include "recorder/ScreenGrabberCoordinator.h"

#include <string>
#include <sys/resource.h>
#include <utility>

namespace vtl::bench {

class BenchCoordinator : public ScreenGrabberCoordinator {
public:
    BenchCoordinator(std::uint32_t display, Rect area, std::string path)
        : display_(display)
        , area_(area)
        , path_(std::move(path)) {}
    std::uint32_t displayID() const override { return display_; }
    Rect logicalRecordingScreenRect() const override { return {0, 0, 1920, 1080}; }
    float recordingScreenScaling() const override { return 1.0f; }
    Rect logicalAreaOnRecordingScreenRect() const override { return area_; }
    Rect physicalAreaOnRecordingScreenRect() const override { return area_; }
    std::string recordPath() const override { return path_; }
    void showError(int) override {}
    void stopRecording() override {}
    void stopRecordingAfterFailure(const std::string&) override {}
    bool recorderStartedProducingData(VTL3RecordImageGrabber&) override { return true; }
    void recorderDone(VTL3RecordImageGrabber&) override {}

private:
    std::uint32_t display_;
    Rect area_;
    std::string path_;
};

// User and system CPU seconds of this process so far.
inline double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace vtl::bench
