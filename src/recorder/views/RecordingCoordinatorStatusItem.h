#pragma once
// The recorder program's status item in the system tray: a red dot with the stop, pause and
// resume menu, and the coordinator's title as its tooltip. Made through the coordinator's services
// and owned by the coordinator while it records; main thread only.

#include "recorder/RecorderStatusItem.h"

#include <memory>

namespace vtl {

class RecordingCoordinatorStatusItem final : public RecorderStatusItem {
public:
    // The item in the system tray, or nullptr (logged) when the program has no widgets
    // application or the session no system tray.
    static std::unique_ptr<RecorderStatusItem> create(RecorderStatusItemActions actions);
    ~RecordingCoordinatorStatusItem() override;

    void setTitle(const std::string& title) override;
    void setPaused(bool paused) override;

private:
    explicit RecordingCoordinatorStatusItem(RecorderStatusItemActions actions);

    struct Widgets;
    RecorderStatusItemActions actions_;
    std::unique_ptr<Widgets> widgets_;
};

} // namespace vtl
