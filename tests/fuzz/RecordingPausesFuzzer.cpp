// Reads a recording's pause list made of fuzzer bytes (a property list in either form) as the
// recording importer does, and checks that what it keeps is usable.
#include "document/RecordingPauses.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto pauses = vtl::readRecordingPauses(std::span<const std::uint8_t>(data, size), "fuzzed");
    if (!pauses) return 0;
    for (const vtl::RecordingPause& pause : pauses.value()) {
        if (!std::isfinite(pause.timeSeconds) || pause.timeSeconds <= 0) std::abort();
        if (pause.size && !(pause.size->width > 0 && pause.size->height > 0 && pause.size->width <= 32768 &&
                            pause.size->height <= 32768))
            std::abort();
    }
    return 0;
}
