#include "drawing/PreferencesTextStore.h"

namespace vtl {

namespace {
std::shared_ptr<PreferencesTextStore>& standardStore() {
    static std::shared_ptr<PreferencesTextStore> store = std::make_shared<MemoryPreferencesTextStore>();
    return store;
}
} // namespace

PreferencesTextStore& PreferencesTextStore::standard() {
    return *standardStore();
}

void PreferencesTextStore::setStandard(std::shared_ptr<PreferencesTextStore> store) {
    standardStore() = store ? std::move(store) : std::make_shared<MemoryPreferencesTextStore>();
}

std::optional<std::string> MemoryPreferencesTextStore::stringForKey(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

} // namespace vtl
