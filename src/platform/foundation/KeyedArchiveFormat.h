#pragma once
// Names and small encodings of the keyed-archive layout shared by the archiver, the unarchiver and
// the dump tool. Internal to the archive code.

#include "platform/foundation/KeyedArchiveValue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::archive_format {

inline constexpr std::string_view archiverName = "NSKeyedArchiver";
inline constexpr std::int64_t version = 100000;
inline constexpr std::string_view nullMarker = "$null";

// Kinds of value records the unarchiver knows without the registry.
enum class BuiltinKind {
    None,
    Array,
    Set,
    Dictionary,
    String,
    Data,
    Date,
    Number,
    Value,
    Color,
    Font,
    Image,
    Null
};

BuiltinKind builtinKind(std::string_view className);

// The class chain written for a built-in record.
std::vector<std::string> builtinChain(std::string_view className);

// NSValue "NS.special" codes of the geometry values.
inline constexpr std::int64_t specialPoint = 1;
inline constexpr std::int64_t specialSize = 2;
inline constexpr std::int64_t specialRect = 3;

// The "NSRGB" bytes of a colour: the components as text, alpha only when it is not 1, NUL-ended.
PlistBytes colorComponentsText(const ArchivedColor& color);
// Reads "NSRGB" (or "NSWhite") text; nullopt when it holds no number.
std::optional<ArchivedColor> parseColorComponents(const PlistBytes& text, bool gray, int colorSpace);

// Top-level layout of an archive; pointers into the archive, which must outlive it.
struct Layout {
    const PlistArray* objects = nullptr;
    const PlistDictionary* top = nullptr;
};
Result<Layout> readLayout(const PropertyList& archive);

// The class record an object's "$class" points at.
struct ClassInfo {
    std::string name;
    std::vector<std::string> chain;
};
Result<ClassInfo> readClassRecord(const PlistArray& objects, const PropertyList& classReference);

// Work allowed for decoding an archive with this many stored objects: shared collections are
// expanded at each use, so a small hostile archive could otherwise describe an enormous graph.
std::uint64_t workLimit(std::size_t objectCount);

} // namespace vtl::archive_format
