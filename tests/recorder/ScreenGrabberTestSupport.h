#pragma once
// A stand-in for the recording coordinator in the screen grabber's tests: a fixed screen and
// area, and a record of what the grabber reported.

#include "recorder/ScreenGrabberCoordinator.h"
#include "recorder/VTL3RecordImageGrabber.h"

#include <string>
#include <vector>

namespace vtl::testing {

class FakeCoordinator final : public ScreenGrabberCoordinator {
public:
    // `area`: the recorded area in points relative to the screen, y up (scale 1: also the pixels).
    explicit FakeCoordinator(Rect area, std::uint32_t display = 1, Rect screen = {0, 0, 1920, 1080})
        : area_(area)
        , display_(display)
        , screen_(screen) {}

    std::uint32_t displayID() const override { return display_; }
    Rect logicalRecordingScreenRect() const override { return screen_; }
    float recordingScreenScaling() const override { return 1.0f; }
    Rect logicalAreaOnRecordingScreenRect() const override { return area_; }
    Rect physicalAreaOnRecordingScreenRect() const override { return area_; }
    std::string recordPath() const override { return path; }
    void showError(int code) override { errors.push_back(code); }
    // Stops the grabber as the coordinator would, from whichever thread asks.
    void stopRecording() override {
        ++stopRequests;
        if (grabber) grabber->stopRecord();
    }
    void stopRecordingAfterFailure(const std::string& reason) override {
        failures.push_back(reason);
        stopRecording();
    }
    bool recorderStartedProducingData(VTL3RecordImageGrabber&) override {
        ++started;
        return true;
    }
    void recorderDone(VTL3RecordImageGrabber&) override { ++done; }

    std::string path;
    VTL3RecordImageGrabber* grabber = nullptr;
    std::vector<int> errors;
    std::vector<std::string> failures;
    int stopRequests = 0;
    int started = 0;
    int done = 0;

private:
    Rect area_;
    std::uint32_t display_;
    Rect screen_;
};

} // namespace vtl::testing
