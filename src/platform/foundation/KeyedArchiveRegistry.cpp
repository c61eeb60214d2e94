#include "platform/foundation/KeyedArchiveRegistry.h"

#include <algorithm>

namespace vtl {

ArchiveClassRegistry& ArchiveClassRegistry::shared() {
    static ArchiveClassRegistry registry;
    return registry;
}

void ArchiveClassRegistry::registerClass(std::string className, std::string superclassName, Factory factory) {
    std::lock_guard lock(mutex_);
    classes_[std::move(className)] = Entry{std::move(superclassName), std::move(factory)};
}

bool ArchiveClassRegistry::contains(std::string_view className) const {
    std::lock_guard lock(mutex_);
    return classes_.find(className) != classes_.end();
}

std::shared_ptr<Archivable> ArchiveClassRegistry::create(std::string_view className) const {
    Factory factory;
    {
        std::lock_guard lock(mutex_);
        auto it = classes_.find(className);
        if (it == classes_.end() || !it->second.factory) return nullptr;
        factory = it->second.factory;
    }
    // Called outside the lock: a factory may itself consult the registry.
    return factory();
}

std::vector<std::string> ArchiveClassRegistry::classChain(std::string_view className) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> chain{std::string(className)};
    // Bounded walk: a registration mistake that makes a loop must not hang the archiver.
    for (int guard = 0; guard < 64; ++guard) {
        auto it = classes_.find(chain.back());
        if (it == classes_.end() || it->second.superclassName.empty()) break;
        const std::string& super = it->second.superclassName;
        if (std::find(chain.begin(), chain.end(), super) != chain.end()) break;
        chain.push_back(super);
    }
    if (chain.back() != "NSObject") chain.push_back("NSObject");
    return chain;
}

} // namespace vtl
