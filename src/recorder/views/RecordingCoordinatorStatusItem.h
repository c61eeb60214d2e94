#pragma once
// The recorder's status item in the system tray: a menu to stop, pause and resume the recording
// and, by the display mode, the elapsed time or the size recorded so far. Made and owned by the
// recording coordinator while it records; the texts are worked out here, apart from the tray.

#include <cstdint>
#include <functional>
#include <memory>
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

struct RecorderStatusItemActions {
    std::function<void()> stop;
    std::function<void()> pause;
    std::function<void()> resume;
};

// The status item in the system tray, or nullptr (logged) when there is no system tray.
std::unique_ptr<RecorderStatusItem> createTrayStatusItem(RecorderStatusItemActions actions);

// Display mode 1: the elapsed time, "mm:ss" or from an hour on "hh:mm:ss" (empty until the
// recording really started); mode 2: the size so far in KB, MB or GB; mode 0: nothing.
std::string recorderStatusTitle(int displayMode, std::optional<double> elapsedSeconds,
                                std::uint64_t sizeBytes);
std::string formatRecordSize(std::uint64_t sizeBytes);

} // namespace vtl
