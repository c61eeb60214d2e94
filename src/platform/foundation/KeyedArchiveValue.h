#pragma once
// A value stored as an object in a keyed archive: nil, string, number, data, date, array,
// dictionary, point/size/rectangle value, colour, font, image, or a model object. Plain value
// (model objects are shared); the caller owns it.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/OrderedDictionary.h"
#include "platform/foundation/PropertyList.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vtl {

class Archivable;
class ArchivedValue;

using ArchivedArray = std::vector<ArchivedValue>;

// A colour as RGBA components (0…1) with its stored colour space: 1 calibrated RGB, 2 device RGB.
struct ArchivedColor {
    static constexpr int calibratedRgb = 1;
    static constexpr int deviceRgb = 2;
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    int colorSpace = deviceRgb;
    friend bool operator==(const ArchivedColor&, const ArchivedColor&) = default;
};

struct ArchivedFont {
    std::string name;
    double pointSize = 0;
    friend bool operator==(const ArchivedFont&, const ArchivedFont&) = default;
};

// An image as PNG bytes; the graphics layer decodes and encodes them.
struct ArchivedImage {
    PlistBytes pngData;
    friend bool operator==(const ArchivedImage&, const ArchivedImage&) = default;
};

// A dictionary with string keys in insertion order (the archive's order when decoded).
using ArchivedDictionary = OrderedDictionary<ArchivedValue>;

class ArchivedValue {
public:
    enum class Type {
        Nil,
        String,
        Boolean,
        Integer,
        Real,
        Data,
        Date,
        Array,
        Dictionary,
        Point,
        Size,
        Rect,
        Color,
        Font,
        Image,
        Object
    };

    ArchivedValue() = default; // nil
    ArchivedValue(std::nullptr_t) {}
    ArchivedValue(std::string value)
        : storage_(std::in_place_type<std::string>, std::move(value)) {}
    ArchivedValue(std::string_view value)
        : ArchivedValue(std::string(value)) {}
    ArchivedValue(const char* value)
        : ArchivedValue(std::string(value)) {}
    ArchivedValue(bool value)
        : storage_(std::in_place_type<bool>, value) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) ArchivedValue(T value)
        : storage_(std::in_place_type<std::int64_t>, static_cast<std::int64_t>(value)) {}
    ArchivedValue(double value)
        : storage_(std::in_place_type<double>, value) {}
    ArchivedValue(float value)
        : storage_(std::in_place_type<double>, static_cast<double>(value)) {}
    ArchivedValue(PlistBytes value)
        : storage_(std::in_place_type<PlistBytes>, std::move(value)) {}
    ArchivedValue(PlistDate value)
        : storage_(std::in_place_type<PlistDate>, value) {}
    ArchivedValue(ArchivedArray value)
        : storage_(std::in_place_type<ArchivedArray>, std::move(value)) {}
    ArchivedValue(ArchivedDictionary value)
        : storage_(std::in_place_type<ArchivedDictionary>, std::move(value)) {}
    ArchivedValue(Point value)
        : storage_(std::in_place_type<Point>, value) {}
    ArchivedValue(Size value)
        : storage_(std::in_place_type<Size>, value) {}
    ArchivedValue(Rect value)
        : storage_(std::in_place_type<Rect>, value) {}
    ArchivedValue(ArchivedColor value)
        : storage_(std::in_place_type<ArchivedColor>, value) {}
    ArchivedValue(ArchivedFont value)
        : storage_(std::in_place_type<ArchivedFont>, std::move(value)) {}
    ArchivedValue(ArchivedImage value)
        : storage_(std::in_place_type<ArchivedImage>, std::move(value)) {}
    template <typename T>
    requires std::derived_from<T, Archivable> ArchivedValue(std::shared_ptr<T> object) {
        if (object) storage_.emplace<std::shared_ptr<Archivable>>(std::move(object));
    }

    // A list of model objects (nullptr entries become nil).
    template <typename T>
    requires std::derived_from<T, Archivable>
    static ArchivedValue array(const std::vector<std::shared_ptr<T>>& objects) {
        ArchivedArray items;
        items.reserve(objects.size());
        for (const auto& o : objects)
            items.emplace_back(o);
        return ArchivedValue(std::move(items));
    }

    // Property-list values convert both ways (dates, data, containers included); UIDs have no
    // archived-value form and convert to nil, model objects and geometry to nothing (None).
    static ArchivedValue fromPropertyList(const PropertyList& value);
    PropertyList toPropertyList() const;

    Type type() const { return static_cast<Type>(storage_.index()); }
    bool isNil() const { return type() == Type::Nil; }

    // Typed getters: nullptr or nullopt when the value has another type.
    const std::string* stringValue() const { return std::get_if<std::string>(&storage_); }
    std::optional<bool> boolValue() const;
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> realValue() const;
    // Any number (boolean, integer or real) as a double.
    std::optional<double> numberValue() const;
    const PlistBytes* dataValue() const { return std::get_if<PlistBytes>(&storage_); }
    std::optional<PlistDate> dateValue() const;
    const ArchivedArray* arrayValue() const { return std::get_if<ArchivedArray>(&storage_); }
    ArchivedArray* arrayValue() { return std::get_if<ArchivedArray>(&storage_); }
    const ArchivedDictionary* dictionaryValue() const { return std::get_if<ArchivedDictionary>(&storage_); }
    ArchivedDictionary* dictionaryValue() { return std::get_if<ArchivedDictionary>(&storage_); }
    std::optional<Point> pointValue() const;
    std::optional<Size> sizeValue() const;
    std::optional<Rect> rectValue() const;
    std::optional<ArchivedColor> colorValue() const;
    const ArchivedFont* fontValue() const { return std::get_if<ArchivedFont>(&storage_); }
    const ArchivedImage* imageValue() const { return std::get_if<ArchivedImage>(&storage_); }
    std::shared_ptr<Archivable> objectValue() const;
    template <typename T> std::shared_ptr<T> objectAs() const {
        return std::dynamic_pointer_cast<T>(objectValue());
    }

    // Dictionary lookup: nullptr when this is not a dictionary or the key is absent.
    const ArchivedValue* get(std::string_view key) const;

    // Model objects compare by identity, everything else by value.
    friend bool operator==(const ArchivedValue& a, const ArchivedValue& b);

    // Short name of the stored type, for messages ("a string", "an array").
    static const char* describe(Type type);

private:
    // Alternatives in the order of Type.
    std::variant<std::monostate, std::string, bool, std::int64_t, double, PlistBytes, PlistDate,
                 ArchivedArray, ArchivedDictionary, Point, Size, Rect, ArchivedColor, ArchivedFont,
                 ArchivedImage, std::shared_ptr<Archivable>>
        storage_;
};

} // namespace vtl
