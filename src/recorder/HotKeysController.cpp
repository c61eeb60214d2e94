#include "recorder/HotKeysController.h"

#include "platform/foundation/Log.h"

namespace vtl {

namespace {

HotKeyRecord orDefault(const std::optional<HotKeyRecord>& record) {
    return record.value_or(
        HotKeyRecord{HotKeysController::kDefaultKeyCode, HotKeysController::kDefaultModifiers});
}

} // namespace

HotKeysController::HotKeysController(const RecordingHotKeys& presets, std::function<void()> stopRecord,
                                     std::function<void()> pauseResumeRecord)
    : stopHotKey_("StopCapture", orDefault(presets.stop).keyCode, orDefault(presets.stop).modifiers)
    , pauseResumeHotKey_("PauseResumeCapture", orDefault(presets.pauseResume).keyCode,
                         orDefault(presets.pauseResume).modifiers)
    , stopRecord_(std::move(stopRecord))
    , pauseResumeRecord_(std::move(pauseResumeRecord)) {
    int stopID = stopHotKey_.hotKeyID();
    stopHotKey_.setTarget([this, stopID] { performActionForHotKeyWithId(stopID); });
    int pauseID = pauseResumeHotKey_.hotKeyID();
    pauseResumeHotKey_.setTarget([this, pauseID] { performActionForHotKeyWithId(pauseID); });
}

Status HotKeysController::registerHotkeys(const char* displayName) {
    Status registered = stopHotKey_.registerHotKey(displayName);
    if (!registered)
        logMessage(registered.error() + " Stop the recording from Vistrel or the recorder's status item.");
    return registered;
}

void HotKeysController::unregisterHotkeys() {
    stopHotKey_.unregisterHotKey();
}

void HotKeysController::performActionForHotKeyWithId(int hotKeyID) {
    // Only the stop key acts; the pause key is never registered.
    if (hotKeyID == stopHotKey_.hotKeyID() && stopRecord_) stopRecord_();
}

} // namespace vtl
