#pragma once
// A stretch of a track's media, in seconds, during which its player is silent. Plain value.

namespace vtl {

struct MutePhase {
    double startTime = 0;
    double endTime = 0;
    friend bool operator==(const MutePhase&, const MutePhase&) = default;
};

} // namespace vtl
