#include "platform/imaging/CIFilter.h"

#include "platform/foundation/Log.h"
#include "platform/imaging/FilterRegistry.h"

namespace vtl {

namespace {

bool fits(const FilterAttribute& attribute, const FilterValue& value) {
    const std::string& c = attribute.attributeClass;
    if (c == filterAttributeClassNumber) return std::holds_alternative<double>(value);
    if (c == filterAttributeClassColor) return std::holds_alternative<CIColor>(value);
    if (c == filterAttributeClassVector) return std::holds_alternative<CIVector>(value);
    if (c == filterAttributeClassImage) return std::holds_alternative<CIImage>(value);
    return false;
}

} // namespace

CIFilter::CIFilter(std::shared_ptr<const FilterAttributes> attributes)
    : attributes_(std::move(attributes)) {
    setDefaults();
}

std::unique_ptr<CIFilter> CIFilter::filterWithName(const std::string& name) {
    return FilterRegistry::shared().filterWithName(name);
}

std::vector<std::string> CIFilter::inputKeys() const {
    std::vector<std::string> keys;
    for (const FilterAttribute& a : attributes_->inputs)
        keys.push_back(a.name);
    return keys;
}

void CIFilter::setDefaults() {
    values_.clear();
    for (const FilterAttribute& a : attributes_->inputs)
        if (!std::holds_alternative<std::monostate>(a.defaultValue)) values_[a.name] = a.defaultValue;
}

void CIFilter::setValue(const std::string& key, FilterValue value) {
    const FilterAttribute* attribute = attributes_->input(key);
    if (!attribute) {
        logMessage("The filter " + name() + " has no input " + key + "; the value was ignored.");
        return;
    }
    if (std::holds_alternative<std::monostate>(value)) {
        if (attribute->attributeClass == filterAttributeClassImage)
            values_.erase(key);
        else
            setNilValueForKey(key);
        return;
    }
    if (!fits(*attribute, value)) {
        logMessage("The filter " + name() + " takes a " + attribute->attributeClass + " for " + key +
                   "; a value of another kind was ignored.");
        return;
    }
    storeValue(key, std::move(value));
}

void CIFilter::storeValue(const std::string& key, FilterValue value) {
    values_[key] = std::move(value);
}

void CIFilter::setNilValueForKey(const std::string& key) {
    logMessage("The filter " + name() + " cannot set " + key + " to nothing; the value was kept.");
}

FilterValue CIFilter::value(const std::string& key) const {
    if (key == "outputImage") return outputImage();
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    return {};
}

template <class T> T CIFilter::typed(const std::string& key) const {
    if (auto it = values_.find(key); it != values_.end())
        if (auto v = std::get_if<T>(&it->second)) return *v;
    if (const FilterAttribute* a = attributes_->input(key))
        if (auto v = std::get_if<T>(&a->defaultValue)) return *v;
    return T{};
}

double CIFilter::number(const std::string& key) const {
    return typed<double>(key);
}

CIColor CIFilter::color(const std::string& key) const {
    return typed<CIColor>(key);
}

CIVector CIFilter::vector(const std::string& key) const {
    return typed<CIVector>(key);
}

CIImage CIFilter::image(const std::string& key) const {
    if (auto it = values_.find(key); it != values_.end())
        if (auto v = std::get_if<CIImage>(&it->second)) return *v;
    return {};
}

} // namespace vtl
