#pragma once
// The screen part of a recording as the recording coordinator drives it: one recorder that owns
// the encode queue writing the package's frame streams and the screen grabber feeding it, with
// the figures the coordinator reports (duration, picture size, bytes written). Owned by the
// coordinator; tests put a stand-in in its place.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "recorder/RecorderDelegate.h"
#include "recorder/RecordingModes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vtl {

class ScreenGrabberCoordinator;

class CoordinatedScreenRecorder : public Recorder {
public:
    // Read after the recorder is done.
    virtual double durationSeconds() const = 0;
    virtual std::optional<Size> sizePixels() const = 0;
    // Any thread.
    virtual std::uint64_t bytesWrittenSoFar() const = 0;
};

struct ScreenRecorderOptions {
    int frameRate = 30;
    RecordMode recordMode = RecordMode::FullScreen;
    RecordQuality recordQuality =
        RecordQuality::High; // the grabber's; the encode queue keeps a compression choice
    int windowNumber = 0;    // followed in record mode 1
};

// Creates the frame-stream files in the existing package folder and a grabber of the coordinator's
// screen and area; fails when either cannot be made (nothing is left running). `stopRecording`
// is what a failed write calls, from the encode worker's thread.
Result<std::unique_ptr<CoordinatedScreenRecorder>>
createGrabberScreenRecorder(ScreenGrabberCoordinator& coordinator, const ScreenRecorderOptions& options);

} // namespace vtl
