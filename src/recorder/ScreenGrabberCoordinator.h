#pragma once
// What the screen grabber needs of the recording coordinator that drives it: the recorded screen
// and area, the package path, and the calls through which it reports data, errors and its end.
// The coordinator implements it and outlives the grabber; the grabber never owns it.

#include "platform/foundation/Geometry.h"

#include <cstdint>
#include <string>

namespace vtl {

class VTL3RecordImageGrabber;

class ScreenGrabberCoordinator {
public:
    virtual ~ScreenGrabberCoordinator() = default;

    // The recorded screen (a capture screen's displayID).
    virtual std::uint32_t displayID() const = 0;
    // The recorded screen's frame in global points, y up from the primary screen's bottom-left.
    virtual Rect logicalRecordingScreenRect() const = 0;
    // Pixels per point of the recorded screen (1.0 on X11).
    virtual float recordingScreenScaling() const = 0;
    // The recorded area in points relative to the screen's bottom-left corner, y up.
    virtual Rect logicalAreaOnRecordingScreenRect() const = 0;
    // The same area in pixels: the size of every recorded picture.
    virtual Rect physicalAreaOnRecordingScreenRect() const = 0;
    // The package folder, whose disk is watched for free space.
    virtual std::string recordPath() const = 0;

    // Error code for after the recording (1: the disk is nearly full).
    virtual void showError(int errorCode) = 0;
    // Asks for the whole recording to stop; may be called from the grabber's capture thread.
    virtual void stopRecording() = 0;
    // Any thread: the recording cannot go on (the disk is nearly full, a write failed). Stops at
    // once, without waiting for the minimum length, and tells the main application the reason.
    virtual void stopRecordingAfterFailure(const std::string& reason) = 0;
    virtual bool recorderStartedProducingData(VTL3RecordImageGrabber& recorder) = 0;
    virtual void recorderDone(VTL3RecordImageGrabber& recorder) = 0;
};

} // namespace vtl
