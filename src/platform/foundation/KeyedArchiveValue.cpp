#include "platform/foundation/KeyedArchiveValue.h"

#include "platform/foundation/KeyedArchivable.h"

#include <cmath>

namespace vtl {

// ---- ArchivedValue ----

std::optional<bool> ArchivedValue::boolValue() const {
    return variantAlternative<bool>(storage_);
}

std::optional<std::int64_t> ArchivedValue::integerValue() const {
    return variantAlternative<std::int64_t>(storage_);
}

std::optional<double> ArchivedValue::realValue() const {
    return variantAlternative<double>(storage_);
}

std::optional<double> ArchivedValue::numberValue() const {
    if (auto v = std::get_if<double>(&storage_)) return *v;
    if (auto v = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*v);
    if (auto v = std::get_if<bool>(&storage_)) return *v ? 1.0 : 0.0;
    return std::nullopt;
}

std::optional<PlistDate> ArchivedValue::dateValue() const {
    return variantAlternative<PlistDate>(storage_);
}

std::optional<Point> ArchivedValue::pointValue() const {
    return variantAlternative<Point>(storage_);
}

std::optional<Size> ArchivedValue::sizeValue() const {
    return variantAlternative<Size>(storage_);
}

std::optional<Rect> ArchivedValue::rectValue() const {
    return variantAlternative<Rect>(storage_);
}

std::optional<ArchivedColor> ArchivedValue::colorValue() const {
    return variantAlternative<ArchivedColor>(storage_);
}

std::shared_ptr<Archivable> ArchivedValue::objectValue() const {
    if (auto v = std::get_if<std::shared_ptr<Archivable>>(&storage_)) return *v;
    return nullptr;
}

const ArchivedValue* ArchivedValue::get(std::string_view key) const {
    const ArchivedDictionary* d = dictionaryValue();
    return d ? d->find(key) : nullptr;
}

bool operator==(const ArchivedValue& a, const ArchivedValue& b) {
    if (a.type() != b.type()) return false;
    if (a.type() == ArchivedValue::Type::Real) {
        const double x = *a.realValue(), y = *b.realValue();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    return a.storage_ == b.storage_;
}

const char* ArchivedValue::describe(Type type) {
    switch (type) {
    case Type::Nil:
        return "nil";
    case Type::String:
        return "a string";
    case Type::Boolean:
        return "a boolean";
    case Type::Integer:
        return "an integer";
    case Type::Real:
        return "a real number";
    case Type::Data:
        return "data";
    case Type::Date:
        return "a date";
    case Type::Array:
        return "an array";
    case Type::Dictionary:
        return "a dictionary";
    case Type::Point:
        return "a point";
    case Type::Size:
        return "a size";
    case Type::Rect:
        return "a rectangle";
    case Type::Color:
        return "a colour";
    case Type::Font:
        return "a font";
    case Type::Image:
        return "an image";
    case Type::Object:
        return "an object";
    }
    return "an unknown value";
}

ArchivedValue ArchivedValue::fromPropertyList(const PropertyList& value) {
    using T = PropertyList::Type;
    switch (value.type()) {
    case T::None:
    case T::Uid:
        return {};
    case T::String:
        return ArchivedValue(*value.stringValue());
    case T::Integer:
        return ArchivedValue(*value.integerValue());
    case T::Real:
        return ArchivedValue(*value.realValue());
    case T::Boolean:
        return ArchivedValue(*value.boolValue());
    case T::Date:
        return ArchivedValue(*value.dateValue());
    case T::Data:
        return ArchivedValue(*value.dataValue());
    case T::Array: {
        ArchivedArray items;
        items.reserve(value.count());
        for (const PropertyList& item : *value.arrayValue())
            items.push_back(fromPropertyList(item));
        return ArchivedValue(std::move(items));
    }
    case T::Dictionary: {
        ArchivedDictionary dict;
        for (const auto& [key, item] : *value.dictionaryValue())
            dict.set(key, fromPropertyList(item));
        return ArchivedValue(std::move(dict));
    }
    }
    return {};
}

PropertyList ArchivedValue::toPropertyList() const {
    switch (type()) {
    case Type::String:
        return PropertyList(*stringValue());
    case Type::Boolean:
        return PropertyList(*boolValue());
    case Type::Integer:
        return PropertyList(*integerValue());
    case Type::Real:
        return PropertyList(*realValue());
    case Type::Data:
        return PropertyList(*dataValue());
    case Type::Date:
        return PropertyList(*dateValue());
    case Type::Array: {
        PlistArray items;
        for (const ArchivedValue& item : *arrayValue()) {
            PropertyList converted = item.toPropertyList();
            if (converted.isNone()) return {};
            items.push_back(std::move(converted));
        }
        return PropertyList(std::move(items));
    }
    case Type::Dictionary: {
        PlistDictionary dict;
        for (const auto& [key, item] : *dictionaryValue()) {
            PropertyList converted = item.toPropertyList();
            if (converted.isNone()) return {};
            dict.set(key, std::move(converted));
        }
        return PropertyList(std::move(dict));
    }
    default:
        return {};
    }
}

} // namespace vtl
