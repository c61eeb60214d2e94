#pragma once
// What the recording coordinator shows while it records: a status item with a menu to stop,
// pause and resume, titled by the display mode with the elapsed time or the size recorded so far.
// The coordinator owns the item while it records and works out its texts; the item itself (the
// tray view of the recorder program) comes through the coordinator's services.

#include "recorder/RecordingModes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vtl {

class RecorderStatusItem {
public:
    virtual ~RecorderStatusItem() = default;
    virtual void setTitle(const std::string& title) = 0;
    // While paused the menu offers resume instead of pause.
    virtual void setPaused(bool paused) = 0;
};

// The menu's commands, run on the main thread.
struct RecorderStatusItemActions {
    std::function<void()> stop;
    std::function<void()> pause;
    std::function<void()> resume;
};

// The elapsed time, "mm:ss" or from an hour on "hh:mm:ss" (empty until the recording really
// started), or the size so far in KB, MB or GB, or nothing.
std::string recorderStatusTitle(RecorderDisplayMode displayMode, std::optional<double> elapsedSeconds,
                                std::uint64_t sizeBytes);
std::string formatRecordSize(std::uint64_t sizeBytes);

} // namespace vtl
