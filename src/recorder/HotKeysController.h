#pragma once
// The recorder's hot keys: the stop key, which ends the recording from any window, and the pause
// key, prepared but never registered (pausing comes from the main application's own hot key).
// Owned by the recorder's application delegate until the recording stops; main thread.

#include "platform/capture/HotKey.h"
#include "recorder/RecordingSettings.h"

#include <functional>

namespace vtl {

class HotKeysController {
public:
    // Control + Option + C, what both keys are without presets.
    static constexpr std::uint32_t kDefaultKeyCode = 8;
    static constexpr std::uint32_t kDefaultModifiers = 6144;

    // `stopRecord` and `pauseResumeRecord` are the delegate's actions; never owned beyond them.
    HotKeysController(const RecordingHotKeys& presets, std::function<void()> stopRecord,
                      std::function<void()> pauseResumeRecord);

    // Registers the stop key. A key another program holds is logged; the recording goes on and is
    // stopped from the main application or the status item.
    Status registerHotkeys(const char* displayName = nullptr);
    void unregisterHotkeys();
    void performActionForHotKeyWithId(int hotKeyID);
    HotKey& stopHotKey() { return stopHotKey_; }
    HotKey& pauseResumeHotKey() { return pauseResumeHotKey_; }

private:
    HotKey stopHotKey_;
    HotKey pauseResumeHotKey_;
    std::function<void()> stopRecord_;
    std::function<void()> pauseResumeRecord_;
};

} // namespace vtl
