#pragma once
// The process-wide table of image filters by name: how to make each and what it says about
// itself. Filled at start-up (registerBuiltinFilters) and read from any thread; the registry
// lives for the whole run.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/CIFilter.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vtl {

class FilterRegistry {
public:
    using Constructor = std::function<std::unique_ptr<CIFilter>(std::shared_ptr<const FilterAttributes>)>;

    static FilterRegistry& shared();

    // Registers (or replaces) the filter under attributes->name.
    void registerFilter(std::shared_ptr<const FilterAttributes> attributes, Constructor constructor);
    // A new filter with its defaults set; null and one log line for an unknown name.
    std::unique_ptr<CIFilter> filterWithName(const std::string& name) const;
    std::shared_ptr<const FilterAttributes> attributesOfFilter(const std::string& name) const;
    // Sorted names, all or those of one category.
    std::vector<std::string> filterNames(std::string_view category = {}) const;

private:
    struct Entry {
        std::shared_ptr<const FilterAttributes> attributes;
        Constructor constructor;
    };
    mutable Mutex mutex_;
    std::map<std::string, Entry, std::less<>> filters_ VTL_GUARDED_BY(mutex_);
};

// Registers the imaging layer's own filters: the compositing, colour, generator and blur filters
// and ChromaKey, WhiteTransition and ColorTransition. Programs, tools and tests call it once at
// start-up; calling it again changes nothing.
void registerBuiltinFilters();

} // namespace vtl
