#pragma once
// Named notifications delivered synchronously, on the posting thread, to the observers that match
// the name and sender. The default center is process-wide; a component may own a center of its own.

#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vtl {

// Extra values of a notification by key; values are whatever the poster documents (numbers as
// double or int64_t, strings as std::string, objects as std::shared_ptr of their class).
using NotificationUserInfo = std::map<std::string, std::any>;

struct Notification {
    std::string name;
    const void* object = nullptr; // the sender, compared by identity only
    NotificationUserInfo userInfo;

    // The user-info value under the key when present and of type T, else null.
    template <typename T> const T* value(const std::string& key) const {
        auto it = userInfo.find(key);
        return it == userInfo.end() ? nullptr : std::any_cast<T>(&it->second);
    }
};

class NotificationCenter {
public:
    using Observer = std::function<void(const Notification&)>;

    // Identifies one registration; 0 is never handed out.
    using Token = std::uint64_t;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    static NotificationCenter& defaultCenter();

    // An empty name matches every name; a null object matches every sender.
    Token addObserver(std::string name, const void* object, Observer observer);

    // After this returns the observer is not called again, not even by a post already delivering
    // (unless the observer is running on another thread at that moment). Safe from inside an
    // observer. Unknown tokens are ignored.
    void removeObserver(Token token);

    void post(const Notification& notification) const;
    void post(std::string name, const void* object = nullptr, NotificationUserInfo userInfo = {}) const;

private:
    struct Entry {
        Token token;
        std::string name;
        const void* object;
        Observer observer;
        std::atomic<bool> removed{false};
    };

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Entry>> entries_;
    Token nextToken_ = 1;
};

// Removes its registration when it goes away; for observers whose lifetime is one object's.
class ScopedNotificationObserver {
public:
    ScopedNotificationObserver() = default;
    ScopedNotificationObserver(NotificationCenter& center, NotificationCenter::Token token)
        : center_(&center)
        , token_(token) {}
    ScopedNotificationObserver(ScopedNotificationObserver&& other) noexcept { *this = std::move(other); }
    ScopedNotificationObserver& operator=(ScopedNotificationObserver&& other) noexcept {
        if (this != &other) {
            reset();
            center_ = other.center_;
            token_ = other.token_;
            other.center_ = nullptr;
            other.token_ = 0;
        }
        return *this;
    }
    ~ScopedNotificationObserver() { reset(); }

    void reset() {
        if (center_ && token_) center_->removeObserver(token_);
        center_ = nullptr;
        token_ = 0;
    }

private:
    NotificationCenter* center_ = nullptr;
    NotificationCenter::Token token_ = 0;
};

} // namespace vtl
