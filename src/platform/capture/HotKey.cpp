#include "platform/capture/HotKey.h"

#include "platform/capture/KeyCodes.h"
#include "platform/capture/XcbConnection.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <poll.h>
#include <thread>
#include <vector>
#include <xcb/xcb_keysyms.h>

namespace vtl {

namespace {

constexpr int kPollMilliseconds = 50;
constexpr std::uint32_t kNumLockKeySymbol = 0xff7f;
constexpr std::uint8_t kBadAccess = 10;

std::atomic<int> nextHotKeyID{1};

// One connection for all registered hot keys of the program: grabs belong to the connection that
// made them, and so do the presses. Lives while any hot key is registered.
class HotKeyCenter {
public:
    using Press = std::function<void()>;

    static std::shared_ptr<HotKeyCenter> shared(const char* displayName, std::string& error) {
        static std::mutex mutex;
        static std::weak_ptr<HotKeyCenter> current;
        std::lock_guard lock(mutex);
        if (auto existing = current.lock()) return existing;
        auto connection = XcbConnection::open(displayName, error);
        if (!connection) return nullptr;
        std::shared_ptr<HotKeyCenter> center(new HotKeyCenter(std::move(connection)));
        current = center;
        return center;
    }

    ~HotKeyCenter() {
        stopRequested_ = true;
        if (thread_.joinable()) thread_.join();
        if (symbols_) xcb_key_symbols_free(symbols_);
    }

    struct Grab {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
    };

    // Grabs every key code of the symbol with the modifiers and their lock variants.
    Result<std::vector<Grab>> grab(std::uint32_t keySymbol, std::uint16_t modifiers, Press press) {
        xcb_connection_t* c = connection_->get();
        std::vector<xcb_keycode_t> keycodes;
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, keySymbol)) {
            for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
                keycodes.push_back(*k);
            std::free(codes);
        }
        if (keycodes.empty()) return fail("The key has no place on this keyboard.");
        std::vector<Grab> made;
        bool taken = false, failed = false;
        for (xcb_keycode_t keycode : keycodes)
            for (std::uint16_t variant : lockVariants()) {
                std::uint16_t mods = static_cast<std::uint16_t>(modifiers | variant);
                XcbReply<xcb_generic_error_t> error(
                    xcb_request_check(c, xcb_grab_key_checked(c, 1, connection_->root(), mods, keycode,
                                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
                if (error) {
                    (error->error_code == kBadAccess ? taken : failed) = true;
                    continue;
                }
                made.push_back({keycode, mods});
            }
        if (taken || failed) {
            ungrab(made);
            return fail(taken ? "Another program holds the key." : "The display refused the key.");
        }
        {
            std::lock_guard lock(pressMutex_);
            for (const Grab& g : made)
                presses_[key(g)] = press;
        }
        startThread();
        return made;
    }

    void ungrab(const std::vector<Grab>& grabs) {
        xcb_connection_t* c = connection_->get();
        {
            std::lock_guard lock(pressMutex_);
            for (const Grab& g : grabs)
                presses_.erase(key(g));
        }
        for (const Grab& g : grabs)
            xcb_ungrab_key(c, g.keycode, connection_->root(), g.modifiers);
        // A round trip, so the key is free for others once this returns.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }

private:
    explicit HotKeyCenter(std::unique_ptr<XcbConnection> connection)
        : connection_(std::move(connection)) {
        xcb_connection_t* c = connection_->get();
        symbols_ = xcb_key_symbols_alloc(c);
        numLockMask_ = findNumLockMask();
    }

    static std::uint32_t key(const Grab& g) { return (std::uint32_t{g.keycode} << 16) | g.modifiers; }

    std::vector<std::uint16_t> lockVariants() const {
        std::vector<std::uint16_t> variants = {0, XCB_MOD_MASK_LOCK};
        if (numLockMask_) {
            variants.push_back(numLockMask_);
            variants.push_back(static_cast<std::uint16_t>(numLockMask_ | XCB_MOD_MASK_LOCK));
        }
        return variants;
    }

    std::uint16_t findNumLockMask() {
        xcb_connection_t* c = connection_->get();
        std::vector<xcb_keycode_t> numLock;
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols_, kNumLockKeySymbol)) {
            for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
                numLock.push_back(*k);
            std::free(codes);
        }
        XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
            xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr));
        if (!mapping || numLock.empty()) return 0;
        const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(mapping.get());
        int perModifier = mapping->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier)
            for (int i = 0; i < perModifier; ++i) {
                xcb_keycode_t k = keys[modifier * perModifier + i];
                if (k && std::find(numLock.begin(), numLock.end(), k) != numLock.end())
                    return static_cast<std::uint16_t>(1u << modifier);
            }
        return 0;
    }

    void startThread() {
        std::lock_guard lock(threadMutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }

    void run() {
        xcb_connection_t* c = connection_->get();
        pollfd pfd{xcb_get_file_descriptor(c), POLLIN, 0};
        while (!stopRequested_.load()) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                XcbReply<xcb_generic_event_t> event(raw);
                if ((event->response_type & 0x7f) != XCB_KEY_PRESS) continue;
                const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event.get());
                Press action;
                {
                    std::lock_guard lock(pressMutex_);
                    auto found =
                        presses_.find(key({press->detail, static_cast<std::uint16_t>(press->state & 0xff)}));
                    if (found != presses_.end()) action = found->second;
                }
                if (action) action();
            }
            if (connection_->hasError()) return;
            ::poll(&pfd, 1, kPollMilliseconds);
        }
    }

    std::unique_ptr<XcbConnection> connection_;
    xcb_key_symbols_t* symbols_ = nullptr;
    std::uint16_t numLockMask_ = 0;
    std::mutex pressMutex_;
    std::map<std::uint32_t, Press> presses_;
    std::mutex threadMutex_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
};

} // namespace

struct HotKey::Registration {
    std::shared_ptr<HotKeyCenter> center;
    std::vector<HotKeyCenter::Grab> grabs;
};

HotKey::HotKey(std::string name, std::uint32_t keyCode, std::uint32_t modifiers)
    : name_(std::move(name))
    , keyCode_(keyCode)
    , modifiers_(modifiers)
    , hotKeyID_(nextHotKeyID.fetch_add(1)) {}

HotKey::~HotKey() {
    unregisterHotKey();
}

std::string HotKey::keyText() const {
    return hotKeyText(keyCode_, modifiers_);
}

Status HotKey::registerHotKey(const char* displayName) {
    if (registration_) return {};
    std::optional<std::uint32_t> symbol = keySymbolForKeyCode(keyCode_);
    if (!symbol) return fail("The hot key " + keyText() + " has no key on this system.");
    std::string error;
    std::shared_ptr<HotKeyCenter> center = HotKeyCenter::shared(displayName, error);
    if (!center) return fail("The hot key " + keyText() + " cannot be registered: " + error);
    std::weak_ptr<int> alive = lifetime_;
    // Presses arrive on the center's thread; the target runs where the program's work happens.
    auto press = [this, alive] {
        DispatchQueue::mainQueue()->async([this, alive] {
            if (alive.lock() && registration_ && target_) target_();
        });
    };
    auto grabs = center->grab(*symbol, x11ModifiersForMask(modifiers_), press);
    if (!grabs) return fail("The hot key " + keyText() + " cannot be registered: " + grabs.error());
    registration_ = std::make_shared<Registration>(Registration{center, std::move(grabs).value()});
    return {};
}

void HotKey::unregisterHotKey() {
    if (!registration_) return;
    registration_->center->ungrab(registration_->grabs);
    registration_.reset();
}

} // namespace vtl
