#include "model/EffectFilterDescriptions.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <cstdio>
#include <sstream>

namespace vtl {

namespace {

// The installed catalog; rendering threads read it while the program may install another.
struct CatalogSlot {
    Mutex mutex;
    std::shared_ptr<const FilterDescriptionCatalog> catalog VTL_GUARDED_BY(mutex);
};

CatalogSlot& catalogSlot() {
    static CatalogSlot slot;
    return slot;
}

std::shared_ptr<const FilterDescriptionCatalog> installedCatalog() {
    CatalogSlot& slot = catalogSlot();
    MutexLock lock(slot.mutex);
    return slot.catalog;
}

} // namespace

void installFilterDescriptionCatalog(std::shared_ptr<const FilterDescriptionCatalog> catalog) {
    CatalogSlot& slot = catalogSlot();
    MutexLock lock(slot.mutex);
    slot.catalog = std::move(catalog);
}

const FilterDescription* filterDescriptionNamed(const std::string& name) {
    std::shared_ptr<const FilterDescriptionCatalog> catalog = installedCatalog();
    const FilterDescription* description = catalog ? catalog->descriptionForFilter(name) : nullptr;
    // A stored document may name an effect this system does not implement: it is skipped.
    if (!description) logOnce("unknown filter " + name, "effect filter not available, skipped: " + name);
    return description;
}

const FilterAttributeDescription* filterAttributeDescription(const std::string& filterName,
                                                             const std::string& attribute) {
    const FilterDescription* description = filterDescriptionNamed(filterName);
    return description ? description->attribute(attribute) : nullptr;
}

std::string effectColorText(const RGBAColor& color) {
    char text[128];
    std::snprintf(text, sizeof text, "%.17g %.17g %.17g %.17g", color.red, color.green, color.blue,
                  color.alpha);
    return text;
}

std::optional<RGBAColor> effectColorFromText(const std::string& text) {
    std::istringstream in(text);
    RGBAColor color;
    if (!(in >> color.red >> color.green >> color.blue)) return std::nullopt;
    if (!(in >> color.alpha)) color.alpha = 1;
    return color;
}

} // namespace vtl
