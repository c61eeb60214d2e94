#include "platform/imaging/FilterRegistry.h"

#include "platform/foundation/Log.h"

namespace vtl {

FilterRegistry& FilterRegistry::shared() {
    static auto* registry = new FilterRegistry();
    return *registry;
}

void FilterRegistry::registerFilter(std::shared_ptr<const FilterAttributes> attributes,
                                    Constructor constructor) {
    if (!attributes || attributes->name.empty() || !constructor) return;
    MutexLock lock(mutex_);
    std::string name = attributes->name;
    filters_[name] = Entry{std::move(attributes), std::move(constructor)};
}

std::unique_ptr<CIFilter> FilterRegistry::filterWithName(const std::string& name) const {
    Entry entry;
    {
        MutexLock lock(mutex_);
        auto it = filters_.find(name);
        if (it != filters_.end()) entry = it->second;
    }
    if (!entry.constructor) {
        logOnce("unknown filter " + name, "There is no image filter named " + name + ".");
        return nullptr;
    }
    return entry.constructor(entry.attributes);
}

std::shared_ptr<const FilterAttributes> FilterRegistry::attributesOfFilter(const std::string& name) const {
    MutexLock lock(mutex_);
    auto it = filters_.find(name);
    return it == filters_.end() ? nullptr : it->second.attributes;
}

std::vector<std::string> FilterRegistry::filterNames(std::string_view category) const {
    MutexLock lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, entry] : filters_)
        if (category.empty() || entry.attributes->hasCategory(std::string(category))) names.push_back(name);
    return names;
}

} // namespace vtl
