#pragma once
// Keeps the screen saver and display sleep away while held, through the desktop's screen-saver
// service on the session bus where there is one. Owned by the recording that needs it; released
// at the latest when destroyed.

#include "platform/ipc/BusConnection.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vtl {

class ScreenSaverInhibitor {
public:
    explicit ScreenSaverInhibitor(BusConnection& bus = BusConnection::session());
    ~ScreenSaverInhibitor();
    ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
    ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

    // False with a message when no screen-saver service answers; holding twice keeps one hold.
    bool inhibit(std::string_view applicationName, std::string_view reason, std::string& error);
    // False with a message when the service refused the release.
    bool release(std::string& error);
    bool isInhibited() const { return inhibited_; }

private:
    BusConnection* bus_;
    std::uint32_t cookie_ = 0;
    bool inhibited_ = false;
};

} // namespace vtl
