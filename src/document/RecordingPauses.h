#pragma once
// The pauses a recording package lists in its "pauseTimes" file (a property list: an array of
// dictionaries with "time", seconds from the recording's start, and an optional "size" string of
// the picture size after the pause). Plain values read from outside data; nobody owns them.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl {

struct RecordingPause {
    double timeSeconds = 0;
    std::optional<Size> size;
};

// The usable pauses in stored order. Entries without a finite time above 0 are skipped, and sizes
// that are not positive and at most 32768 on each side are dropped, each logged with `name`. Fails
// when the bytes are not a list.
Result<std::vector<RecordingPause>> readRecordingPauses(std::span<const std::uint8_t> bytes,
                                                        const std::string& name);

} // namespace vtl
