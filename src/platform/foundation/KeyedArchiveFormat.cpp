#include "platform/foundation/KeyedArchiveFormat.h"

#include "platform/foundation/StringConcat.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vtl::archive_format {

BuiltinKind builtinKind(std::string_view name) {
    if (name == "NSArray" || name == "NSMutableArray") return BuiltinKind::Array;
    if (name == "NSSet" || name == "NSMutableSet" || name == "NSOrderedSet" || name == "NSMutableOrderedSet")
        return BuiltinKind::Set;
    if (name == "NSDictionary" || name == "NSMutableDictionary") return BuiltinKind::Dictionary;
    if (name == "NSString" || name == "NSMutableString") return BuiltinKind::String;
    if (name == "NSData" || name == "NSMutableData") return BuiltinKind::Data;
    if (name == "NSDate") return BuiltinKind::Date;
    if (name == "NSNumber") return BuiltinKind::Number;
    if (name == "NSValue") return BuiltinKind::Value;
    if (name == "NSColor") return BuiltinKind::Color;
    if (name == "NSFont") return BuiltinKind::Font;
    if (name == "NSImage") return BuiltinKind::Image;
    if (name == "NSNull") return BuiltinKind::Null;
    return BuiltinKind::None;
}

std::vector<std::string> builtinChain(std::string_view name) {
    if (name == "NSMutableArray") return {"NSMutableArray", "NSArray", "NSObject"};
    if (name == "NSMutableDictionary") return {"NSMutableDictionary", "NSDictionary", "NSObject"};
    return {std::string(name), "NSObject"};
}

namespace {

std::string formatComponent(double v) {
    // Shortest text that reads back to the same double.
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

} // namespace

PlistBytes colorComponentsText(const ArchivedColor& c) {
    std::string text =
        concat({formatComponent(c.red), " ", formatComponent(c.green), " ", formatComponent(c.blue)});
    if (c.alpha != 1.0) text += concat({" ", formatComponent(c.alpha)});
    PlistBytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::optional<ArchivedColor> parseColorComponents(const PlistBytes& text, bool gray, int colorSpace) {
    double values[4] = {0, 0, 0, 1};
    int count = 0;
    const char* p = reinterpret_cast<const char*>(text.data());
    const char* end = p + text.size();
    while (p < end && count < 4) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
        if (p == end || *p == '\0') break;
        double v = 0;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || next == p) return std::nullopt;
        if (!std::isfinite(v)) return std::nullopt;
        values[count++] = v;
        p = next;
    }
    ArchivedColor color;
    color.colorSpace = colorSpace;
    if (gray) {
        if (count < 1) return std::nullopt;
        color.red = color.green = color.blue = values[0];
        color.alpha = count >= 2 ? values[1] : 1.0;
    } else {
        if (count < 3) return std::nullopt;
        color.red = values[0];
        color.green = values[1];
        color.blue = values[2];
        color.alpha = count >= 4 ? values[3] : 1.0;
    }
    return color;
}

Result<Layout> readLayout(const PropertyList& archive) {
    if (!archive.isDictionary())
        return fail("the data is not a keyed archive (the outer value is not a dictionary)");
    if (const PropertyList* name = archive.get("$archiver"); name && !name->stringValue())
        return fail("the keyed archive has a damaged \"$archiver\" entry");
    if (const PropertyList* v = archive.get("$version"); v && !v->integerValue())
        return fail("the keyed archive has a damaged \"$version\" entry");
    const PlistArray* objects = archive.arrayForKey("$objects");
    const PlistDictionary* top = archive.dictionaryForKey("$top");
    if (!objects || !top)
        return fail("the data is not a keyed archive (\"$objects\" or \"$top\" is missing)");
    if (objects->empty()) return fail("the keyed archive has an empty object table");
    return Layout{objects, top};
}

Result<ClassInfo> readClassRecord(const PlistArray& objects, const PropertyList& reference) {
    const std::optional<PlistUid> uid = reference.uidValue();
    if (!uid) return fail("an object's \"$class\" is not a reference");
    if (uid->value == 0 || uid->value >= objects.size())
        return fail("an object's \"$class\" refers to a missing class record");
    const PropertyList& record = objects[static_cast<std::size_t>(uid->value)];
    const std::string* name = record.stringForKey("$classname");
    if (!name || name->empty())
        return fail("class record " + std::to_string(uid->value) + " has no class name");
    ClassInfo info;
    info.name = *name;
    if (const PropertyList* classes = record.get("$classes")) {
        const PlistArray* list = classes->arrayValue();
        if (!list) return fail("class record of " + *name + " has a damaged class list");
        for (const PropertyList& entry : *list) {
            const std::string* s = entry.stringValue();
            if (!s) return fail("class record of " + *name + " has a class list with a non-text entry");
            info.chain.push_back(*s);
        }
    }
    if (info.chain.empty()) info.chain.push_back(*name);
    return info;
}

std::uint64_t workLimit(std::size_t objectCount) {
    return 1'000'000 + 16 * static_cast<std::uint64_t>(objectCount);
}

} // namespace vtl::archive_format
