#pragma once
// A property-list value (dictionary with ordered keys, array, string, integer, real, boolean, date,
// data, UID) and its binary and XML stored forms. Plain value with deep-copy semantics; the caller
// owns it. Reading is defensive: the bytes may come from any file or the clipboard.

#include "platform/foundation/OrderedDictionary.h"
#include "platform/foundation/Result.h"

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vtl {

class PropertyList;

// The alternative T held by a variant, as a copy; nullopt when it holds another one. The typed
// getters of the value classes share it.
template <typename T, typename Variant> std::optional<T> variantAlternative(const Variant& storage) {
    if (auto v = std::get_if<T>(&storage)) return *v;
    return std::nullopt;
}

using PlistBytes = std::vector<std::uint8_t>;
using PlistArray = std::vector<PropertyList>;

// A date as seconds since 2001-01-01 00:00:00 UTC.
struct PlistDate {
    double secondsSince2001 = 0;
    friend bool operator==(const PlistDate&, const PlistDate&) = default;
};

// A reference into the object table of a keyed archive.
struct PlistUid {
    std::uint64_t value = 0;
    friend bool operator==(const PlistUid&, const PlistUid&) = default;
};

enum class PropertyListFormat { Binary, Xml };

// A dictionary whose keys keep their insertion order (stored files are written in that order).
using PlistDictionary = OrderedDictionary<PropertyList>;

class PropertyList {
public:
    enum class Type { None, Dictionary, Array, String, Integer, Real, Boolean, Date, Data, Uid };

    // Nesting deeper than this is refused when reading and writing, so hostile input cannot
    // exhaust the stack.
    static constexpr int maximumDepth = 512;
    // Larger inputs are refused before parsing.
    static constexpr std::size_t maximumInputBytes = std::size_t(512) << 20;

    PropertyList() = default; // None: "no value", never stored.
    PropertyList(bool value);
    template <std::integral T>
    requires(!std::same_as<T, bool>) PropertyList(T value)
        : storage_(std::in_place_type<std::int64_t>, static_cast<std::int64_t>(value)) {}
    PropertyList(double value);
    PropertyList(float value)
        : PropertyList(static_cast<double>(value)) {}
    PropertyList(std::string value);
    PropertyList(std::string_view value)
        : PropertyList(std::string(value)) {}
    PropertyList(const char* value)
        : PropertyList(std::string(value)) {}
    PropertyList(PlistDate value);
    PropertyList(PlistUid value);
    PropertyList(PlistBytes value);
    PropertyList(PlistArray value);
    PropertyList(PlistDictionary value);

    PropertyList(const PropertyList&) = default;
    PropertyList(PropertyList&&) noexcept = default;
    PropertyList& operator=(const PropertyList&) = default;
    PropertyList& operator=(PropertyList&&) noexcept = default;
    ~PropertyList() = default;

    static PropertyList dictionary(std::initializer_list<PlistDictionary::Entry> entries = {});
    static PropertyList array(std::initializer_list<PropertyList> items = {});
    static PropertyList data(std::span<const std::uint8_t> bytes);

    Type type() const { return static_cast<Type>(storage_.index()); }
    bool isNone() const { return type() == Type::None; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isArray() const { return type() == Type::Array; }

    // Typed getters: nullptr or nullopt when the value has another type.
    const std::string* stringValue() const;
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> realValue() const;
    // An integer or a real, as a double.
    std::optional<double> numberValue() const;
    std::optional<bool> boolValue() const;
    std::optional<PlistDate> dateValue() const;
    const PlistBytes* dataValue() const;
    std::optional<PlistUid> uidValue() const;
    const PlistArray* arrayValue() const;
    PlistArray* arrayValue();
    const PlistDictionary* dictionaryValue() const;
    PlistDictionary* dictionaryValue();

    // Lookups that give nullptr (or nullopt) when this is not a dictionary/array, the key or index
    // is absent, or the value has another type.
    const PropertyList* get(std::string_view key) const;
    PropertyList* get(std::string_view key);
    const PropertyList* at(std::size_t index) const;
    const PropertyList* getPath(std::initializer_list<std::string_view> keys) const;
    const std::string* stringForKey(std::string_view key) const;
    std::optional<std::int64_t> integerForKey(std::string_view key) const;
    std::optional<double> numberForKey(std::string_view key) const;
    std::optional<bool> boolForKey(std::string_view key) const;
    std::optional<PlistDate> dateForKey(std::string_view key) const;
    const PlistBytes* dataForKey(std::string_view key) const;
    const PlistArray* arrayForKey(std::string_view key) const;
    const PlistDictionary* dictionaryForKey(std::string_view key) const;

    // Mutation of containers; false (and nothing changed) when this is not a dictionary/array.
    bool set(std::string key, PropertyList value);
    bool append(PropertyList value);

    // Number of items in a dictionary or array, otherwise 0.
    std::size_t count() const;

    friend bool operator==(const PropertyList& a, const PropertyList& b);

    // Reading detects the binary or XML form from the first bytes.
    static Result<PropertyList> fromBytes(std::span<const std::uint8_t> bytes);
    static Result<PropertyList> fromBytes(std::string_view bytes);
    static Result<PropertyList> fromFile(const std::filesystem::path& path);

    // The same value gives the same bytes in every build and run (equal values other than
    // containers are stored once in the binary form).
    Result<PlistBytes> toBytes(PropertyListFormat format) const;
    // Writes through a temporary file in the same folder, synced and renamed over the target, so
    // the target holds either the old or the new contents.
    Status writeToFile(const std::filesystem::path& path, PropertyListFormat format) const;

private:
    // Alternatives in the order of Type.
    using Storage = std::variant<std::monostate, PlistDictionary, PlistArray, std::string, std::int64_t,
                                 double, bool, PlistDate, PlistBytes, PlistUid>;
    Storage storage_;
};

// Writes bytes to a file atomically (temporary file in the same folder, fsync, rename).
Status writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

} // namespace vtl
