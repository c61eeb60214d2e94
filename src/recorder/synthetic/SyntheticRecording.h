#pragma once
// Writes a recording package from the synthetic screen through the real frame and encode
// pipeline (key-frame decision, thumbnails, copies, encode queue, stop frame, header rewrite).
// Used by the developer tool, the benchmarks and the tests.

#include "recorder/ByteSink.h"
#include "recorder/synthetic/SyntheticScreenSource.h"

#include <cstdint>
#include <string>

namespace vtl {

struct SyntheticRecordingSettings {
    SyntheticScreenSettings screen;
    std::uint32_t framesPerSecond = 30;
    double seconds = 10.0;
    int recordQuality = 2; // 1 best ... 3
    float screenScaling = 1.0f;
    unsigned encodeThreads = 0;
    ByteSinkFactory sinkFactory; // empty: plain files
};

struct SyntheticRecordingResult {
    bool ok = false;
    std::string error;
    std::uint64_t framesWritten = 0; // directory entries, stop frame included
    std::uint64_t keyFrames = 0;
    std::uint64_t thumbnails = 0;
    double durationSeconds = 0;
    std::uint64_t bytesWritten = 0;
};

// Creates the package folder if needed (not its parents) and records into it.
SyntheticRecordingResult writeSyntheticRecording(const std::string& packagePath,
                                                 const SyntheticRecordingSettings& settings);

} // namespace vtl
