#pragma once
// The small window with a turning spinner shown while the recording is finished, centred on the
// main screen. Owned by the recording coordinator until the recording is done; main thread.

#include "recorder/RecorderWindows.h"

#include <memory>

namespace vtl {

class WaitWindow final : public RecorderWindow {
public:
    // Shown at once; nullptr without a widgets application.
    static std::unique_ptr<RecorderWindow> showWindow();
    ~WaitWindow() override;

    struct Widgets;

private:
    WaitWindow();
    std::unique_ptr<Widgets> widgets_;
};

} // namespace vtl
