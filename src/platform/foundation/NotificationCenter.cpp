#include "platform/foundation/NotificationCenter.h"

#include <algorithm>

namespace vtl {

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: threads may still post while the program exits.
    static auto* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, const void* object,
                                                          Observer observer) {
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->object = object;
    entry->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    entry->token = nextToken_++;
    entries_.push_back(entry);
    return entry->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::shared_ptr<Entry> removed;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [token](const auto& e) { return e->token == token; });
        if (it == entries_.end()) return;
        (*it)->removed = true;
        removed = std::move(*it);
        entries_.erase(it);
    }
    // The observer and what it captures are released here, unlocked: their destructors may remove
    // other observers.
}

void NotificationCenter::post(const Notification& notification) const {
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : entries_)
            if ((entry->name.empty() || entry->name == notification.name) &&
                (!entry->object || entry->object == notification.object))
                matching.push_back(entry);
    }
    for (const auto& entry : matching)
        if (!entry->removed.load()) entry->observer(notification);
}

void NotificationCenter::post(std::string name, const void* object, NotificationUserInfo userInfo) const {
    post(Notification{std::move(name), object, std::move(userInfo)});
}

} // namespace vtl
