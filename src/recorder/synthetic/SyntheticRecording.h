#pragma once
// Writes a recording package from the synthetic screen through the real frame and encode
// pipeline (key-frame decision, thumbnails, copies, encode queue, stop frame, header rewrite).
// Used by the developer tool, the benchmarks and the tests.

#include "platform/foundation/Result.h"
#include "recorder/ByteSink.h"
#include "recorder/RecordingModes.h"
#include "recorder/synthetic/SyntheticScreenSource.h"

#include <cstdint>
#include <string>

namespace vtl {

struct SyntheticRecordingSettings {
    SyntheticScreenSettings screen;
    std::uint32_t framesPerSecond = 30;
    double seconds = 10.0;
    RecordQuality recordQuality = RecordQuality::High;
    float screenScaling = 1.0f;
    unsigned encodeThreads = 0;
    ByteSinkFactory sinkFactory; // empty: plain files
};

// What a synthetic recording wrote.
struct SyntheticRecordingSummary {
    std::uint64_t framesWritten = 0; // directory entries, stop frame included
    std::uint64_t keyFrames = 0;
    std::uint64_t thumbnails = 0;
    double durationSeconds = 0;
    std::uint64_t bytesWritten = 0;
};

// Creates the package folder if needed (not its parents) and records into it.
Result<SyntheticRecordingSummary> writeSyntheticRecording(const std::string& packagePath,
                                                          const SyntheticRecordingSettings& settings);

} // namespace vtl
