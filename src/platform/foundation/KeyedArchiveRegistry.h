#pragma once
// The registry from archived class name to a C++ factory and superclass name. One process-wide
// instance serves the program; tests and tools may build their own. Thread-safe.
//
// Register classes explicitly at start-up (a model library offers one function that registers all
// its classes): a static registration object in a static library is dropped by the linker when
// nothing else refers to its file.

#include "platform/foundation/KeyedArchivable.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {

class ArchiveClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<Archivable>()>;

    static ArchiveClassRegistry& shared();

    // Registers (or replaces) a class. A null factory records only the superclass, for abstract
    // classes that appear in the chains of others but are never decoded themselves.
    void registerClass(std::string className, std::string superclassName, Factory factory);

    template <typename T> void registerClass(std::string className, std::string superclassName = "NSObject") {
        registerClass(std::move(className), std::move(superclassName),
                      [] { return std::static_pointer_cast<Archivable>(std::make_shared<T>()); });
    }

    bool contains(std::string_view className) const;
    // A new object of the class, or nullptr when it is unknown or abstract.
    std::shared_ptr<Archivable> create(std::string_view className) const;
    // The class followed by its superclasses, ending with "NSObject".
    std::vector<std::string> classChain(std::string_view className) const;

private:
    struct Entry {
        std::string superclassName;
        Factory factory;
    };
    mutable std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> classes_;
};

} // namespace vtl
