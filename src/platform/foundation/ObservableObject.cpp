#include "platform/foundation/ObservableObject.h"

#include "platform/foundation/Log.h"

#include <algorithm>

namespace vtl {

struct ObservableObject::Registration {
    Token token;
    std::string key;
    KeyValueObservingOptions options;
    const void* context;
    Observer observer;
    bool removed = false;
};

struct ObservableObject::PendingChange {
    std::string key;
    KeyValueChangeKind kind;
    std::vector<std::size_t> indexes;
    std::any oldValue;
    std::vector<std::any> oldElements;
    bool haveOld = false;
};

struct ObservableObject::ObservationInfo {
    std::vector<std::shared_ptr<Registration>> registrations;
    std::vector<PendingChange> pending;
    Token nextToken = 1;
};

ObservableObject::ObservableObject() = default;
ObservableObject::ObservableObject(const ObservableObject&) {}
ObservableObject& ObservableObject::operator=(const ObservableObject&) {
    return *this;
}

ObservableObject::~ObservableObject() {
    // Detached first: what the observers capture may, when destroyed, remove observers of this
    // object, which then finds none.
    std::unique_ptr<ObservationInfo> info = std::move(info_);
    if (!info) return;
    // Observers still running further up the stack must see these as gone.
    for (auto& registration : info->registrations)
        registration->removed = true;
}

ObservableObject::Token ObservableObject::addObserver(const std::string& key,
                                                      KeyValueObservingOptions options, const void* context,
                                                      Observer observer) {
    VTL_ASSERT(key.find('.') == std::string::npos,
               "observing a key path through other objects is not supported");
    if (!info_) info_ = std::make_unique<ObservationInfo>();
    auto registration = std::make_shared<Registration>();
    registration->token = info_->nextToken++;
    registration->key = key;
    registration->options = options;
    registration->context = context;
    registration->observer = std::move(observer);
    info_->registrations.push_back(registration);
    if (hasOption(options, KeyValueObservingOptions::initial)) {
        KeyValueChange change;
        change.object = this;
        change.key = key;
        change.context = context;
        if (hasOption(options, KeyValueObservingOptions::newValue)) change.newValue = valueForKey(key);
        registration->observer(change);
    }
    return registration->token;
}

void ObservableObject::removeObserver(Token token) {
    if (!info_) return;
    auto& list = info_->registrations;
    auto it = std::find_if(list.begin(), list.end(), [token](const auto& r) { return r->token == token; });
    if (it == list.end()) return;
    (*it)->removed = true;
    // Released after the list is whole again: its captures may remove observers when destroyed.
    std::shared_ptr<Registration> removed = std::move(*it);
    list.erase(it);
}

void ObservableObject::removeObservers(const std::string& key, const void* context) {
    if (!info_) return;
    auto& list = info_->registrations;
    std::vector<std::shared_ptr<Registration>> removed;
    auto kept = list.begin();
    for (auto& r : list) {
        if (r->key == key && r->context == context) {
            r->removed = true;
            removed.push_back(std::move(r));
        } else {
            *kept++ = std::move(r);
        }
    }
    list.erase(kept, list.end());
}

bool ObservableObject::hasObservers(const std::string& key) const {
    if (!info_) return false;
    return std::any_of(info_->registrations.begin(), info_->registrations.end(),
                       [&](const auto& r) { return r->key == key; });
}

std::vector<std::shared_ptr<ObservableObject::Registration>>
ObservableObject::registrationsFor(const std::string& key) const {
    std::vector<std::shared_ptr<Registration>> result;
    if (!info_) return result;
    for (const auto& r : info_->registrations)
        if (r->key == key) result.push_back(r);
    return result;
}

namespace {
bool anyWants(const auto& registrations, KeyValueObservingOptions option) {
    return std::any_of(registrations.begin(), registrations.end(),
                       [&](const auto& r) { return hasOption(r->options, option); });
}
} // namespace

void ObservableObject::deliver(const std::vector<std::shared_ptr<Registration>>& registrations,
                               const KeyValueChange& change, bool prior) {
    for (const auto& r : registrations) {
        if (r->removed) continue;
        if (prior && !hasOption(r->options, KeyValueObservingOptions::prior)) continue;
        KeyValueChange own = change;
        own.context = r->context;
        if (!hasOption(r->options, KeyValueObservingOptions::oldValue)) {
            own.oldValue.reset();
            own.oldElements.clear();
        }
        if (!hasOption(r->options, KeyValueObservingOptions::newValue)) {
            own.newValue.reset();
            own.newElements.clear();
        }
        r->observer(own);
    }
}

void ObservableObject::willChangeValueForKey(const std::string& key) {
    willChange(KeyValueChangeKind::setting, {}, key);
}

void ObservableObject::didChangeValueForKey(const std::string& key) {
    didChange(KeyValueChangeKind::setting, {}, key);
}

void ObservableObject::willChange(KeyValueChangeKind kind, std::vector<std::size_t> indexes,
                                  const std::string& key) {
    auto registrations = registrationsFor(key);
    if (registrations.empty()) return;
    std::sort(indexes.begin(), indexes.end());
    PendingChange pending{key, kind, std::move(indexes), {}, {}, false};
    bool toMany = kind != KeyValueChangeKind::setting;
    bool oldElementsExist = kind == KeyValueChangeKind::removal || kind == KeyValueChangeKind::replacement;
    if (anyWants(registrations, KeyValueObservingOptions::oldValue)) {
        pending.haveOld = true;
        if (!toMany)
            pending.oldValue = valueForKey(key);
        else if (oldElementsExist)
            for (std::size_t index : pending.indexes)
                pending.oldElements.push_back(valueAtIndex(key, index));
    }
    if (anyWants(registrations, KeyValueObservingOptions::prior)) {
        KeyValueChange change;
        change.object = this;
        change.key = key;
        change.kind = kind;
        change.isPrior = true;
        change.indexes = pending.indexes;
        change.oldValue = pending.oldValue;
        change.oldElements = pending.oldElements;
        deliver(registrations, change, true);
    }
    info_->pending.push_back(std::move(pending));
}

void ObservableObject::didChange(KeyValueChangeKind kind, const std::vector<std::size_t>& indexes,
                                 const std::string& key) {
    auto registrations = registrationsFor(key);
    KeyValueChange change;
    change.object = this;
    change.key = key;
    change.kind = kind;
    if (info_) {
        auto& pending = info_->pending;
        auto it = std::find_if(pending.rbegin(), pending.rend(), [&](const auto& p) { return p.key == key; });
        if (it != pending.rend()) {
            change.indexes = std::move(it->indexes);
            change.oldValue = std::move(it->oldValue);
            change.oldElements = std::move(it->oldElements);
            pending.erase(std::next(it).base());
        } else {
            change.indexes = indexes; // observed only since the will: no old value
            std::sort(change.indexes.begin(), change.indexes.end());
        }
    }
    if (registrations.empty()) return;
    if (anyWants(registrations, KeyValueObservingOptions::newValue)) {
        if (kind == KeyValueChangeKind::setting)
            change.newValue = valueForKey(key);
        else if (kind != KeyValueChangeKind::removal)
            for (std::size_t index : change.indexes)
                change.newElements.push_back(valueAtIndex(key, index));
    }
    deliver(registrations, change, false);
}

std::any ObservableObject::valueForKey(const std::string& key) const {
    assertionFailure(__FILE__, __LINE__, "valueForKey: unknown key " + key);
    return {};
}

bool ObservableObject::setValueForKey(const std::string& key, const std::any&) {
    assertionFailure(__FILE__, __LINE__, "setValueForKey: unknown key " + key);
    return false;
}

std::size_t ObservableObject::countForKey(const std::string& key) const {
    assertionFailure(__FILE__, __LINE__, "countForKey: unknown key " + key);
    return 0;
}

std::any ObservableObject::valueAtIndex(const std::string& key, std::size_t) const {
    assertionFailure(__FILE__, __LINE__, "valueAtIndex: unknown key " + key);
    return {};
}

bool ObservableObject::insertValueAtIndex(const std::string& key, std::size_t, const std::any&) {
    assertionFailure(__FILE__, __LINE__, "insertValueAtIndex: unknown key " + key);
    return false;
}

bool ObservableObject::removeValueAtIndex(const std::string& key, std::size_t) {
    assertionFailure(__FILE__, __LINE__, "removeValueAtIndex: unknown key " + key);
    return false;
}

} // namespace vtl
