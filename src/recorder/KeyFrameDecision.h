#pragma once
// Whether a screen update becomes a key frame, and why: the screen grabber asks the key-frame
// class and hands the answer to the frame scheduler, which never drops a scheduled key frame.

namespace vtl {

enum class KeyFrameDecision {
    // A moved/changed-block frame will do.
    NotNeeded = 0,
    // Most of the picture (over 70 %) changed.
    MostlyChanged = 1,
    // Every frameRate frames from frame 0; never dropped.
    Scheduled = 2,
};

} // namespace vtl
