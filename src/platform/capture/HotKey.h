#pragma once
// A global hot key: a stored key code and modifier mask that, once registered, performs its target
// on the main thread whenever it is pressed, whichever window has the keyboard. Registration grabs
// the key on the display; a key another program holds is refused. Owned by whoever made it (the
// recorder's hot-key controller); unregistered when it goes. Main thread.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vtl {

class HotKey {
public:
    // initWithName:setDefaultKeyCode:andModifier:
    HotKey(std::string name, std::uint32_t keyCode, std::uint32_t modifiers);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    // What a press performs (on the main thread); never owned beyond the function.
    void setTarget(std::function<void()> target) { target_ = std::move(target); }
    const std::function<void()>& target() const { return target_; }

    // Grabs the key with every lock-key variant. Fails, grabbing nothing, when the key has no
    // symbol here, no display can be reached or another program holds the key.
    Status registerHotKey(const char* displayName = nullptr);
    void unregisterHotKey();
    bool isRegistered() const { return registration_ != nullptr; }

    int hotKeyID() const { return hotKeyID_; }
    const std::string& name() const { return name_; }
    std::uint32_t keyCode() const { return keyCode_; }
    std::uint32_t modifiers() const { return modifiers_; }
    // "Control-Option-C".
    std::string keyText() const;

    struct Registration;

private:
    std::string name_;
    std::uint32_t keyCode_;
    std::uint32_t modifiers_;
    int hotKeyID_;
    std::function<void()> target_;
    std::shared_ptr<Registration> registration_;
    // Presses already queued for the main thread do nothing once the hot key is gone.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

} // namespace vtl
