#include "platform/foundation/KeyedArchiver.h"

#include "platform/foundation/KeyedArchiveFormat.h"
#include "platform/foundation/StringConcat.h"

namespace vtl {
namespace {

constexpr std::size_t maximumEncodeDepth = 512;

// Keys beginning with "$" would collide with the layout's own keys; they get one more "$".
std::string escapedKey(std::string_view key) {
    if (!key.empty() && key.front() == '$') return concat({"$", key});
    return std::string(key);
}

PropertyList uidList(const std::vector<std::uint64_t>& uids) {
    PlistArray items;
    items.reserve(uids.size());
    for (std::uint64_t uid : uids)
        items.emplace_back(PlistUid{uid});
    return PropertyList(std::move(items));
}

} // namespace

KeyedArchiver::KeyedArchiver(const ArchiveClassRegistry& registry)
    : registry_(registry) {
    objects_.emplace_back(std::string(archive_format::nullMarker));
}

Result<PlistBytes> KeyedArchiver::archivedData(const std::shared_ptr<Archivable>& root,
                                               const ArchiveClassRegistry& registry) {
    KeyedArchiver archiver(registry);
    archiver.encodeObject(rootKey, ArchivedValue(root));
    return archiver.finishEncoding();
}

PlistDictionary& KeyedArchiver::current() {
    return stack_.empty() ? top_ : stack_.back().second;
}

void KeyedArchiver::put(std::string_view key, PropertyList value) {
    if (finished_ || failed()) return;
    current().set(escapedKey(key), std::move(value));
}

std::uint64_t KeyedArchiver::appendObject(PropertyList value) {
    objects_.push_back(std::move(value));
    return objects_.size() - 1;
}

void KeyedArchiver::encodeBool(std::string_view key, bool value) {
    put(key, PropertyList(value));
}
void KeyedArchiver::encodeInt32(std::string_view key, std::int32_t value) {
    put(key, PropertyList(value));
}
void KeyedArchiver::encodeInt64(std::string_view key, std::int64_t value) {
    put(key, PropertyList(value));
}
void KeyedArchiver::encodeFloat(std::string_view key, float value) {
    put(key, PropertyList(static_cast<double>(value)));
}
void KeyedArchiver::encodeDouble(std::string_view key, double value) {
    put(key, PropertyList(value));
}

void KeyedArchiver::encodeBytes(std::string_view key, std::span<const std::uint8_t> bytes) {
    put(key, PropertyList::data(bytes));
}

void KeyedArchiver::encodePoint(std::string_view key, Point value) {
    put(key, PropertyList(stringFromPoint(value)));
}
void KeyedArchiver::encodeSize(std::string_view key, Size value) {
    put(key, PropertyList(stringFromSize(value)));
}
void KeyedArchiver::encodeRect(std::string_view key, const Rect& value) {
    put(key, PropertyList(stringFromRect(value)));
}

void KeyedArchiver::encodeObject(std::string_view key, const ArchivedValue& value) {
    if (finished_ || failed()) return;
    const std::uint64_t uid = referenceFor(value, static_cast<int>(stack_.size()));
    put(key, PropertyList(PlistUid{uid}));
}

void KeyedArchiver::encodeObject(std::string_view key, const Archivable* object) {
    if (finished_ || failed()) return;
    const std::uint64_t uid = referenceForObject(object, nullptr, static_cast<int>(stack_.size()));
    put(key, PropertyList(PlistUid{uid}));
}

void KeyedArchiver::encodeConditionalObject(std::string_view key, const Archivable* object) {
    if (finished_ || failed()) return;
    if (object) {
        if (auto it = objectUids_.find(object); it != objectUids_.end()) {
            put(key, PropertyList(PlistUid{it->second}));
            return;
        }
        conditionals_.push_back({stack_.empty() ? topHolder : stack_.back().first, escapedKey(key), object});
    }
    put(key, PropertyList(PlistUid{0}));
}

void KeyedArchiver::encodeOptionalNumber(std::string_view numberKey, std::string_view absentFlagKey,
                                         std::optional<double> value) {
    if (value)
        encodeObject(numberKey, ArchivedValue(*value));
    else
        encodeBool(absentFlagKey, true);
}

void KeyedArchiver::fail(std::string message) {
    if (error_.empty()) error_ = message.empty() ? "the archive could not be written" : std::move(message);
}

std::uint64_t KeyedArchiver::classReference(const std::string& className) {
    return classReference(className,
                          archive_format::builtinKind(className) != archive_format::BuiltinKind::None
                              ? archive_format::builtinChain(className)
                              : registry_.classChain(className));
}

std::uint64_t KeyedArchiver::classReference(const std::string& className,
                                            const std::vector<std::string>& chain) {
    if (auto it = classUids_.find(className); it != classUids_.end()) return it->second;
    PlistArray classes;
    for (const std::string& name : chain)
        classes.emplace_back(name);
    const std::uint64_t uid = appendObject(PropertyList::dictionary(
        {{"$classes", PropertyList(std::move(classes))}, {"$classname", className}}));
    classUids_.emplace(className, uid);
    return uid;
}

std::uint64_t KeyedArchiver::referenceForObject(const Archivable* object,
                                                const std::shared_ptr<Archivable>* owner, int depth) {
    if (!object || failed()) return 0;
    if (auto it = objectUids_.find(object); it != objectUids_.end()) return it->second;
    if (stack_.size() >= maximumEncodeDepth || depth >= static_cast<int>(maximumEncodeDepth)) {
        fail("the object graph is nested too deeply to be archived");
        return 0;
    }
    const std::string className = object->archivedClassName();
    if (className.empty() || className.front() == '$') {
        fail("an object has no usable archived class name");
        return 0;
    }
    // The slot is reserved before the keys are written so references back to this object (cycles)
    // resolve to it.
    const std::uint64_t uid = appendObject(PropertyList());
    objectUids_.emplace(object, uid);
    if (owner) retained_.push_back(*owner);
    const std::uint64_t classUid = classReference(className);
    PlistDictionary keys;
    keys.set("$class", PropertyList(PlistUid{classUid}));
    stack_.emplace_back(static_cast<std::size_t>(uid), std::move(keys));
    object->encodeWithCoder(*this);
    objects_[static_cast<std::size_t>(uid)] = PropertyList(std::move(stack_.back().second));
    stack_.pop_back();
    return uid;
}

std::uint64_t KeyedArchiver::referenceFor(const ArchivedValue& value, int depth) {
    if (failed()) return 0;
    if (depth >= static_cast<int>(maximumEncodeDepth)) {
        fail("the object graph is nested too deeply to be archived");
        return 0;
    }
    using T = ArchivedValue::Type;
    auto classed = [&](const char* className, PlistDictionary keys) {
        // "$class" first, then the record's own keys.
        PlistDictionary dict;
        dict.set("$class", PropertyList(PlistUid{classReference(className)}));
        for (auto& [k, v] : keys.entries())
            dict.set(k, v);
        return PropertyList(std::move(dict));
    };
    auto valueRecord = [&](std::int64_t special, const char* key, std::string text) {
        return appendObject(
            classed("NSValue", PlistDictionary{{"NS.special", special}, {key, std::move(text)}}));
    };

    switch (value.type()) {
    case T::Nil:
        return 0;
    case T::String: {
        const std::string& s = *value.stringValue();
        if (auto it = stringUids_.find(s); it != stringUids_.end()) return it->second;
        const std::uint64_t uid = appendObject(PropertyList(s));
        stringUids_.emplace(s, uid);
        return uid;
    }
    case T::Boolean:
        return appendObject(PropertyList(*value.boolValue()));
    case T::Integer:
        return appendObject(PropertyList(*value.integerValue()));
    case T::Real:
        return appendObject(PropertyList(*value.realValue()));
    case T::Data:
        return appendObject(PropertyList(*value.dataValue()));
    case T::Date:
        return appendObject(
            classed("NSDate", PlistDictionary{{"NS.time", value.dateValue()->secondsSince2001}}));
    case T::Array: {
        const std::uint64_t uid = appendObject(PropertyList());
        std::vector<std::uint64_t> items;
        items.reserve(value.arrayValue()->size());
        for (const ArchivedValue& item : *value.arrayValue())
            items.push_back(referenceFor(item, depth + 1));
        objects_[static_cast<std::size_t>(uid)] =
            classed("NSMutableArray", PlistDictionary{{"NS.objects", uidList(items)}});
        return uid;
    }
    case T::Dictionary: {
        const std::uint64_t uid = appendObject(PropertyList());
        std::vector<std::uint64_t> keys, items;
        for (const auto& [k, item] : *value.dictionaryValue()) {
            keys.push_back(referenceFor(ArchivedValue(k), depth + 1));
            items.push_back(referenceFor(item, depth + 1));
        }
        objects_[static_cast<std::size_t>(uid)] =
            classed("NSMutableDictionary",
                    PlistDictionary{{"NS.keys", uidList(keys)}, {"NS.objects", uidList(items)}});
        return uid;
    }
    case T::Point:
        return valueRecord(archive_format::specialPoint, "NS.pointval", stringFromPoint(*value.pointValue()));
    case T::Size:
        return valueRecord(archive_format::specialSize, "NS.sizeval", stringFromSize(*value.sizeValue()));
    case T::Rect:
        return valueRecord(archive_format::specialRect, "NS.rectval", stringFromRect(*value.rectValue()));
    case T::Color: {
        const ArchivedColor color = *value.colorValue();
        const int space = color.colorSpace == ArchivedColor::calibratedRgb ? ArchivedColor::calibratedRgb
                                                                           : ArchivedColor::deviceRgb;
        return appendObject(
            classed("NSColor", PlistDictionary{{"NSColorSpace", space},
                                               {"NSRGB", archive_format::colorComponentsText(color)}}));
    }
    case T::Font: {
        const ArchivedFont& font = *value.fontValue();
        const std::uint64_t uid = appendObject(PropertyList());
        const std::uint64_t nameUid = referenceFor(ArchivedValue(font.name), depth + 1);
        objects_[static_cast<std::size_t>(uid)] =
            classed("NSFont", PlistDictionary{{"NSName", PlistUid{nameUid}}, {"NSSize", font.pointSize}});
        return uid;
    }
    case T::Image:
        return appendObject(
            classed("NSImage", PlistDictionary{{"NSImagePNGData", value.imageValue()->pngData}}));
    case T::Object: {
        const std::shared_ptr<Archivable> object = value.objectValue();
        return referenceForObject(object.get(), &object, depth);
    }
    }
    return 0;
}

Result<PropertyList> KeyedArchiver::finishEncodingAsPropertyList() {
    if (finished_) return vtl::fail("the archive was already finished");
    if (!stack_.empty()) fail("the archive was finished while an object was being encoded");
    finished_ = true;
    if (failed()) return vtl::fail(error_);
    for (const PendingConditional& pending : conditionals_) {
        auto it = objectUids_.find(pending.object);
        if (it == objectUids_.end()) continue; // never written unconditionally: stays nil
        PlistDictionary* holder =
            pending.holder == topHolder ? &top_ : objects_[pending.holder].dictionaryValue();
        if (holder) holder->set(pending.key, PropertyList(PlistUid{it->second}));
    }
    PropertyList archive = PropertyList::dictionary({
        {"$version", archive_format::version},
        {"$archiver", std::string(archive_format::archiverName)},
        {"$top", PropertyList(std::move(top_))},
        {"$objects", PropertyList(std::move(objects_))},
    });
    retained_.clear();
    return archive;
}

Result<PlistBytes> KeyedArchiver::finishEncoding() {
    Result<PropertyList> archive = finishEncodingAsPropertyList();
    if (!archive) return archive.asFailure();
    return archive->toBytes(PropertyListFormat::Binary);
}

} // namespace vtl
