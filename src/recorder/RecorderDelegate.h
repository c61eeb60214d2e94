#pragma once
// The operations every recorder of a recording answers (screen, mouse, audio, camera, device), in
// the order the recording coordinator calls them, and the coordinator's side that recorders call
// back. The coordinator owns the recorders; a recorder never owns its delegate.

namespace vtl {

class Recorder {
public:
    virtual ~Recorder() = default;

    virtual void startProcessQueue() {}
    virtual void startRecord() {}
    // The real start: from now on what the recorder captures goes into the recording.
    virtual void setWriteToMovie() {}
    virtual void setPaused(bool paused) { (void)paused; }
    virtual void stopRecord() {}
    // The same calls as the coordinator makes them, with its own instant (seconds on its clock):
    // recorders that keep a time base take the recording's start, pauses and stop from these, so
    // their tracks last alike however late each call reaches them. The others answer the plain calls.
    virtual void setWriteToMovieAt(double startSeconds) {
        (void)startSeconds;
        setWriteToMovie();
    }
    virtual void setPausedAt(bool paused, double atSeconds) {
        (void)atSeconds;
        setPaused(paused);
    }
    virtual void stopRecordAt(double atSeconds) {
        (void)atSeconds;
        stopRecord();
    }
    virtual void finishPendingFrames() {}
    // Writes what is left, closes the recorder's files and reports recorderDone to the delegate.
    virtual void finalizeRecord() = 0;
};

class RecorderDelegate {
public:
    virtual ~RecorderDelegate() = default;

    // A recorder has its first data. Answers whether the real start has been made (now or before).
    // Called from the recorder's own threads.
    virtual bool recorderStartedProducingData(Recorder& recorder) = 0;
    // The recorder has finished its files (end of finalizeRecord).
    virtual void recorderDone(Recorder& recorder) = 0;
};

} // namespace vtl
