#pragma once
// A view that shows a recording package directly, without a composition: it decodes frames on a
// serial queue of its own, copies each shown frame, scaled to fit, into a display image of its
// own (so drawing never reads a picture that is being decoded), and plays the recording in real
// time, one step per frame interval of the recording, timed by the monotonic clock. Its
// "currentTime" and "isPlaying" are observable. Owned like any view; it owns its decoder, which
// its decode tasks share until they end.

#include "platform/foundation/Result.h"
#include "platform/graphics/Bitmap.h"
#include "platform/ui/View.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class DispatchQueue;
class VistrelRecording;

class VTLRecordingView : public View {
public:
    explicit VTLRecordingView(const Rect& frame);
    // Stops playback, cancels and waits for a decode in flight, then releases the reader.
    ~VTLRecordingView() override;

    // Opens the package; a second call closes the first one cleanly. A package that does not open
    // leaves the view showing nothing, and the error stays readable in lastError().
    Status setPath(const std::string& path);
    const std::string& recordingPath() const { return recordingPath_; }
    const std::string& lastError() const { return lastError_; }
    std::shared_ptr<VistrelRecording> recording() const;
    double recordingDuration() const;
    // The recording's picture size in pixels (zero without a recording).
    Size recordingSizePixels() const;

    double currentTime() const { return currentTime_; }
    // Seeks (limited to 0 … duration): at once when paused, at the next playback step when playing.
    void setCurrentTime(double seconds);
    bool isPlaying() const { return isPlaying_; }
    // Starting at the end starts again from 0.
    void setIsPlaying(bool playing);
    bool scrollKnobDown() const { return scrollKnobDown_; }
    void setScrollKnobDown(bool down) { scrollKnobDown_ = down; }

    // Where the frame is drawn: centred and scaled to fit, keeping its aspect ratio.
    Rect pictureRect() const { return pictureRect_; }
    void redoDrawRect();
    // Decodes the requested frame on the decode queue and shows it.
    void decompressNextFrame();
    // One playback step (main thread).
    void showNextFrame();

    // The frame in the display image (−1 before the first), a copy of that image, and how many
    // different frames were drawn so far (benchmarks and tests read them).
    std::int64_t displayedFrameIndex() const;
    BitmapRef displayImage() const;
    std::uint64_t drawnFrameCount() const { return drawnFrameCount_; }
    // Replaces the monotonic clock (seconds); tests use it to pass time without waiting.
    void setClock(std::function<double()> clock);

    void setFrame(const Rect& frame) override;
    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;
    void viewDidMoveToWindow() override;
    void viewDidMoveToSuperview() override;
    std::any valueForKey(const std::string& key) const override;

    struct Decoder;

private:
    void closeRecording();
    void scheduleNextStep();
    void decodeFinished(bool decoded);
    Size displayPixelSize() const;
    void updateOpaqueness();
    double now() const { return clock_(); }

    std::string recordingPath_;
    std::string lastError_;
    std::shared_ptr<Decoder> decoder_;
    std::shared_ptr<DispatchQueue> dispatchQueue_;
    std::function<double()> clock_;

    double currentTime_ = 0;
    double lastTime_ = 0; // monotonic seconds of the last playback step
    bool isPlaying_ = false;
    bool scrollKnobDown_ = false;
    bool inWindow_ = false;
    Rect pictureRect_;

    // Decode requests: what the next decode shows, and whether one is running or waiting.
    std::int64_t requestIndex_ = 0;
    bool rewindRequested_ = true;
    bool decodeInFlight_ = false;
    bool decodeWaiting_ = false;
    // A seek made while playing, taken by the next step.
    double timeToSet_ = 0;
    bool timeToSetIsValid_ = false;

    QTimer stepTimer_;
    std::int64_t lastDrawnIndex_ = -1;
    std::uint64_t drawnFrameCount_ = 0;
};

} // namespace vtl
