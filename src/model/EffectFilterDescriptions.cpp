#include "model/EffectFilterDescriptions.h"

#include "platform/foundation/Log.h"

#include <cstdio>
#include <mutex>
#include <sstream>

namespace vtl {

namespace {

std::mutex& catalogMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<const FilterDescriptionCatalog>& catalogSlot() {
    static std::shared_ptr<const FilterDescriptionCatalog> catalog;
    return catalog;
}

std::shared_ptr<const FilterDescriptionCatalog> installedCatalog() {
    std::lock_guard lock(catalogMutex());
    return catalogSlot();
}

} // namespace

void installFilterDescriptionCatalog(std::shared_ptr<const FilterDescriptionCatalog> catalog) {
    std::lock_guard lock(catalogMutex());
    catalogSlot() = std::move(catalog);
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
