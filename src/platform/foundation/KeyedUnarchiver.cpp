#include "platform/foundation/KeyedUnarchiver.h"

#include "platform/foundation/KeyedArchiveFormat.h"
#include "platform/foundation/StringConcat.h"

#include <cmath>
#include <limits>

namespace vtl {
namespace {

using Kind = archive_format::BuiltinKind;

const char* describePlist(const PropertyList& v) {
    switch (v.type()) {
    case PropertyList::Type::None:
        return "nothing";
    case PropertyList::Type::Dictionary:
        return "a dictionary";
    case PropertyList::Type::Array:
        return "an array";
    case PropertyList::Type::String:
        return "a string";
    case PropertyList::Type::Integer:
        return "an integer";
    case PropertyList::Type::Real:
        return "a real number";
    case PropertyList::Type::Boolean:
        return "a boolean";
    case PropertyList::Type::Date:
        return "a date";
    case PropertyList::Type::Data:
        return "data";
    case PropertyList::Type::Uid:
        return "an object reference";
    }
    return "an unknown value";
}

std::string escapedKey(std::string_view key) {
    if (!key.empty() && key.front() == '$') return concat({"$", key});
    return std::string(key);
}

// Keeps the nesting counter right on every way out of a decode.
class DepthScope {
public:
    explicit DepthScope(int& depth)
        : depth_(depth) {
        ++depth_;
    }
    ~DepthScope() { --depth_; }
    DepthScope(const DepthScope&) = delete;
    DepthScope& operator=(const DepthScope&) = delete;

private:
    int& depth_;
};

// Rough size of a value once copied: its text and data, and a little for every value.
std::uint64_t copySizeBytes(const PropertyList& v) {
    std::uint64_t size = 16;
    if (const std::string* s = v.stringValue()) size += s->size();
    if (const PlistBytes* d = v.dataValue()) size += d->size();
    if (const PlistArray* a = v.arrayValue())
        for (const PropertyList& item : *a)
            size += copySizeBytes(item);
    if (const PlistDictionary* d = v.dictionaryValue())
        for (const auto& [key, item] : *d)
            size += key.size() + copySizeBytes(item);
    return size;
}

} // namespace

KeyedUnarchiver::KeyedUnarchiver(const ArchiveClassRegistry& registry)
    : registry_(registry) {}

Status KeyedUnarchiver::open(std::span<const std::uint8_t> bytes) {
    Result<PropertyList> parsed = PropertyList::fromBytes(bytes);
    if (!parsed) {
        objects_ = nullptr;
        top_ = nullptr;
        fail("the keyed archive could not be read: " + parsed.error());
        return finishDecoding();
    }
    return openPropertyList(std::move(parsed).value());
}

Status KeyedUnarchiver::openPropertyList(PropertyList archive) {
    archive_ = std::move(archive);
    objects_ = nullptr;
    top_ = nullptr;
    frames_.clear();
    decodedObjects_.clear();
    classRecords_.clear();
    work_ = 0;
    copiedBytes_ = 0;
    depth_ = 0;
    Result<archive_format::Layout> layout = archive_format::readLayout(archive_);
    if (!layout) {
        fail(layout.error());
        return finishDecoding();
    }
    objects_ = layout->objects;
    top_ = layout->top;
    collectionsInProgress_.assign(objects_->size(), 0);
    workLimit_ = archive_format::workLimit(objects_->size());
    copyLimitBytes_ = (std::uint64_t(64) << 20) + 16 * copySizeBytes(archive_);
    return finishDecoding();
}

Status KeyedUnarchiver::finishDecoding() const {
    if (failed()) return vtl::fail(error_);
    return {};
}

const std::string& KeyedUnarchiver::currentClassName() const {
    static const std::string none;
    return frames_.empty() ? none : frames_.back().className;
}

void KeyedUnarchiver::fail(std::string message) {
    if (error_.empty())
        error_ = message.empty() ? "the keyed archive could not be decoded" : std::move(message);
}

void KeyedUnarchiver::failAt(std::string_view key, const std::string& message) {
    const std::string& owner = currentClassName();
    fail("key \"" + std::string(key) + "\"" + (owner.empty() ? std::string(" at the top") : " of " + owner) +
         ": " + message);
}

void KeyedUnarchiver::failWrongType(std::string_view key, const char* expected, const ArchivedValue& found) {
    std::string foundText = ArchivedValue::describe(found.type());
    if (auto object = found.objectValue()) foundText = "an object of class " + object->archivedClassName();
    failAt(key, std::string("expected ") + expected + ", found " + foundText);
}

const PropertyList* KeyedUnarchiver::lookup(std::string_view key) const {
    if (failed() || !top_) return nullptr;
    const PlistDictionary* keys = frames_.empty() ? top_ : frames_.back().keys;
    return keys->find(escapedKey(key));
}

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const {
    return lookup(key) != nullptr;
}

const PropertyList* KeyedUnarchiver::lookupScalar(std::string_view key) {
    const PropertyList* v = lookup(key);
    if (!v) return nullptr;
    // A number written as an object (a boxed number) is accepted where a scalar is read.
    if (std::optional<PlistUid> uid = v->uidValue();
        uid && uid->value != 0 && uid->value < objects_->size()) {
        const PropertyList& stored = (*objects_)[static_cast<std::size_t>(uid->value)];
        const auto t = stored.type();
        if (t == PropertyList::Type::Integer || t == PropertyList::Type::Real ||
            t == PropertyList::Type::Boolean)
            return &stored;
    }
    return v;
}

bool KeyedUnarchiver::decodeBoolForKey(std::string_view key) {
    const PropertyList* v = lookupScalar(key);
    if (!v) return false;
    if (auto b = v->boolValue()) return *b;
    if (auto i = v->integerValue()) return *i != 0;
    if (auto r = v->realValue()) return *r != 0;
    failAt(key, std::string("expected a boolean, found ") + describePlist(*v));
    return false;
}

std::int64_t KeyedUnarchiver::decodeInt64ForKey(std::string_view key) {
    const PropertyList* v = lookupScalar(key);
    if (!v) return 0;
    if (auto i = v->integerValue()) return *i;
    if (auto b = v->boolValue()) return *b ? 1 : 0;
    if (auto r = v->realValue()) {
        // Truncated toward zero, as integers read from reals are.
        if (std::isfinite(*r) && *r >= -9.2233720368547758e18 && *r < 9.2233720368547758e18)
            return static_cast<std::int64_t>(*r);
        failAt(key, "the number is out of the integer range");
        return 0;
    }
    failAt(key, std::string("expected an integer, found ") + describePlist(*v));
    return 0;
}

std::int32_t KeyedUnarchiver::decodeInt32ForKey(std::string_view key) {
    const std::int64_t v = decodeInt64ForKey(key);
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) {
        failAt(key, "the number " + std::to_string(v) + " is out of the 32-bit range");
        return 0;
    }
    return static_cast<std::int32_t>(v);
}

double KeyedUnarchiver::decodeDoubleForKey(std::string_view key) {
    const PropertyList* v = lookupScalar(key);
    if (!v) return 0;
    if (auto n = v->numberValue()) return *n;
    if (auto b = v->boolValue()) return *b ? 1 : 0;
    failAt(key, std::string("expected a number, found ") + describePlist(*v));
    return 0;
}

float KeyedUnarchiver::decodeFloatForKey(std::string_view key) {
    return static_cast<float>(decodeDoubleForKey(key));
}

PlistBytes KeyedUnarchiver::decodeBytesForKey(std::string_view key) {
    const PropertyList* v = lookup(key);
    if (!v) return {};
    if (const PlistBytes* d = v->dataValue()) return *d;
    if (v->uidValue()) {
        ArchivedValue value = decodeObjectForKey(key);
        if (value.isNil()) return {};
        if (const PlistBytes* d = value.dataValue()) return *d;
        failWrongType(key, "data", value);
        return {};
    }
    failAt(key, std::string("expected data, found ") + describePlist(*v));
    return {};
}

// Geometry is stored in its text form, inline or as a string object, or as a value object.
template <class Value>
Value KeyedUnarchiver::decodeGeometryForKey(std::string_view key, Value (*fromString)(std::string_view),
                                            std::optional<Value> (ArchivedValue::*fromValue)() const,
                                            const char* expected) {
    const PropertyList* v = lookup(key);
    if (!v) return {};
    if (const std::string* s = v->stringValue()) return fromString(*s);
    ArchivedValue value = decodeObjectForKey(key);
    if (auto p = (value.*fromValue)()) return *p;
    if (const std::string* s = value.stringValue()) return fromString(*s);
    if (!value.isNil()) failWrongType(key, expected, value);
    return {};
}

Point KeyedUnarchiver::decodePointForKey(std::string_view key) {
    return decodeGeometryForKey<Point>(key, pointFromString, &ArchivedValue::pointValue, "a point");
}

Size KeyedUnarchiver::decodeSizeForKey(std::string_view key) {
    return decodeGeometryForKey<Size>(key, sizeFromString, &ArchivedValue::sizeValue, "a size");
}

Rect KeyedUnarchiver::decodeRectForKey(std::string_view key) {
    return decodeGeometryForKey<Rect>(key, rectFromString, &ArchivedValue::rectValue, "a rectangle");
}

ArchivedValue KeyedUnarchiver::decodeObjectForKey(std::string_view key) {
    const PropertyList* v = lookup(key);
    if (!v) return {};
    if (std::optional<PlistUid> uid = v->uidValue()) return decodeReference(uid->value);
    // Inline scalars are accepted as the objects they stand for.
    switch (v->type()) {
    case PropertyList::Type::String:
    case PropertyList::Type::Integer:
    case PropertyList::Type::Real:
    case PropertyList::Type::Boolean:
    case PropertyList::Type::Data:
    case PropertyList::Type::Date:
        return copyStored(*v);
    default:
        failAt(key, std::string("expected an object reference, found ") + describePlist(*v));
        return {};
    }
}

// An object of one kind: nil gives nullopt, another kind is a fault.
template <typename T, typename Get>
std::optional<T> KeyedUnarchiver::decodeObjectOfKind(std::string_view key, const char* expected, Get get) {
    ArchivedValue value = decodeObjectForKey(key);
    if (value.isNil()) return std::nullopt;
    if (auto found = get(value)) return std::optional<T>(std::move(*found));
    failWrongType(key, expected, value);
    return std::nullopt;
}

std::optional<std::string> KeyedUnarchiver::decodeStringForKey(std::string_view key) {
    return decodeObjectOfKind<std::string>(key, "a string", [](ArchivedValue& v) { return v.stringValue(); });
}

std::optional<double> KeyedUnarchiver::decodeNumberForKey(std::string_view key) {
    return decodeObjectOfKind<double>(key, "a number", [](ArchivedValue& v) { return v.numberValue(); });
}

std::optional<PlistDate> KeyedUnarchiver::decodeDateForKey(std::string_view key) {
    return decodeObjectOfKind<PlistDate>(key, "a date", [](ArchivedValue& v) { return v.dateValue(); });
}

std::optional<ArchivedColor> KeyedUnarchiver::decodeColorForKey(std::string_view key) {
    return decodeObjectOfKind<ArchivedColor>(key, "a colour",
                                             [](ArchivedValue& v) { return v.colorValue(); });
}

std::optional<ArchivedFont> KeyedUnarchiver::decodeFontForKey(std::string_view key) {
    return decodeObjectOfKind<ArchivedFont>(key, "a font", [](ArchivedValue& v) { return v.fontValue(); });
}

std::optional<ArchivedImage> KeyedUnarchiver::decodeImageForKey(std::string_view key) {
    return decodeObjectOfKind<ArchivedImage>(key, "an image",
                                             [](ArchivedValue& v) { return v.imageValue(); });
}

std::optional<ArchivedArray> KeyedUnarchiver::decodeArrayForKey(std::string_view key) {
    return decodeObjectOfKind<ArchivedArray>(key, "an array",
                                             [](ArchivedValue& v) { return v.arrayValue(); });
}

std::optional<ArchivedDictionary> KeyedUnarchiver::decodeDictionaryForKey(std::string_view key) {
    return decodeObjectOfKind<ArchivedDictionary>(key, "a dictionary",
                                                  [](ArchivedValue& v) { return v.dictionaryValue(); });
}

KeyedUnarchiver::OptionalNumber KeyedUnarchiver::decodeOptionalNumber(std::string_view numberKey,
                                                                      std::string_view absentFlagKey) {
    OptionalNumber out;
    if (std::optional<double> n = decodeNumberForKey(numberKey)) {
        out.state = OptionalNumberState::Present;
        out.value = *n;
    } else if (decodeBoolForKey(absentFlagKey)) {
        out.state = OptionalNumberState::Absent;
    }
    return out;
}

const KeyedUnarchiver::ClassRecord* KeyedUnarchiver::classRecord(const PropertyList& reference) {
    const std::optional<PlistUid> uid = reference.uidValue();
    if (uid) {
        if (auto it = classRecords_.find(uid->value); it != classRecords_.end()) return &it->second;
    }
    Result<archive_format::ClassInfo> info = archive_format::readClassRecord(*objects_, reference);
    if (!info) {
        fail("the keyed archive is damaged: " + info.error());
        return nullptr;
    }
    auto [it, inserted] =
        classRecords_.emplace(uid->value, ClassRecord{std::move(info->name), std::move(info->chain)});
    return &it->second;
}

ArchivedValue KeyedUnarchiver::copyStored(const PropertyList& stored) {
    copiedBytes_ += copySizeBytes(stored);
    if (copiedBytes_ > copyLimitBytes_) {
        fail("the keyed archive describes too large an object graph");
        return {};
    }
    return ArchivedValue::fromPropertyList(stored);
}

ArchivedValue KeyedUnarchiver::decodeReference(std::uint64_t uid) {
    if (failed() || !objects_) return {};
    if (uid == 0) return {};
    if (uid >= objects_->size()) {
        fail("the keyed archive is damaged: a reference points at object " + std::to_string(uid) + " of " +
             std::to_string(objects_->size()));
        return {};
    }
    if (auto it = decodedObjects_.find(uid); it != decodedObjects_.end()) return ArchivedValue(it->second);
    if (++work_ > workLimit_) {
        fail("the keyed archive describes too large an object graph");
        return {};
    }
    DepthScope scope(depth_);
    if (depth_ > maximumDepth) {
        fail("the keyed archive is nested too deeply");
        return {};
    }
    const PropertyList& stored = (*objects_)[static_cast<std::size_t>(uid)];
    switch (stored.type()) {
    case PropertyList::Type::String:
    case PropertyList::Type::Integer:
    case PropertyList::Type::Real:
    case PropertyList::Type::Boolean:
    case PropertyList::Type::Data:
    case PropertyList::Type::Date:
        return copyStored(stored);
    case PropertyList::Type::Dictionary:
        if (stored.get("$class")) return decodeClassedObject(uid, *stored.dictionaryValue());
        break;
    default:
        break;
    }
    fail("the keyed archive is damaged: object " + std::to_string(uid) + " is " + describePlist(stored) +
         " without a class");
    return {};
}

ArchivedValue KeyedUnarchiver::decodeClassedObject(std::uint64_t uid, const PlistDictionary& dict) {
    const ClassRecord* record = classRecord(*dict.find("$class"));
    if (!record) return {};
    const std::string className = record->name;
    auto damaged = [&](const std::string& what) {
        fail("the keyed archive is damaged: " + className + " object " + std::to_string(uid) + " " + what);
        return ArchivedValue();
    };
    // Elements of a collection given as a list of references.
    auto references = [&](const char* key, ArchivedArray& out) -> bool {
        const PropertyList* list = dict.find(key);
        if (!list) return true;
        const PlistArray* items = list->arrayValue();
        if (!items) {
            damaged(std::string("has a damaged \"") + key + "\" list");
            return false;
        }
        out.reserve(items->size());
        for (const PropertyList& item : *items) {
            std::optional<PlistUid> ref = item.uidValue();
            if (!ref) {
                damaged(std::string("has a non-reference in \"") + key + "\"");
                return false;
            }
            out.push_back(decodeReference(ref->value));
            if (failed()) return false;
        }
        return true;
    };
    // A value stored inline or behind a reference.
    auto field = [&](const char* key) -> ArchivedValue {
        const PropertyList* v = dict.find(key);
        if (!v) return {};
        if (std::optional<PlistUid> ref = v->uidValue()) return decodeReference(ref->value);
        return copyStored(*v);
    };

    std::uint8_t& inProgress = collectionsInProgress_[static_cast<std::size_t>(uid)];
    switch (archive_format::builtinKind(className)) {
    case Kind::Array:
    case Kind::Set: {
        if (inProgress) return damaged("contains itself");
        inProgress = 1;
        ArchivedArray items;
        const bool ok = references("NS.objects", items);
        collectionsInProgress_[static_cast<std::size_t>(uid)] = 0;
        if (!ok) return {};
        return ArchivedValue(std::move(items));
    }
    case Kind::Dictionary: {
        if (inProgress) return damaged("contains itself");
        inProgress = 1;
        ArchivedArray keys, values;
        const bool ok = references("NS.keys", keys) && references("NS.objects", values);
        collectionsInProgress_[static_cast<std::size_t>(uid)] = 0;
        if (!ok) return {};
        if (keys.size() != values.size()) return damaged("has different numbers of keys and values");
        ArchivedDictionary out;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string* k = keys[i].stringValue();
            if (!k) return damaged("has a key that is not text");
            out.set(*k, std::move(values[i]));
        }
        return ArchivedValue(std::move(out));
    }
    case Kind::String: {
        ArchivedValue s = field("NS.string");
        if (!s.stringValue()) return damaged("holds no text");
        return s;
    }
    case Kind::Data: {
        ArchivedValue d = field("NS.data");
        if (!d.dataValue()) return damaged("holds no data");
        return d;
    }
    case Kind::Date: {
        const PropertyList* t = dict.find("NS.time");
        std::optional<double> seconds = t ? t->numberValue() : std::nullopt;
        if (!seconds) return damaged("holds no time");
        return ArchivedValue(PlistDate{*seconds});
    }
    case Kind::Value: {
        const PropertyList* special = dict.find("NS.special");
        const std::optional<std::int64_t> kind = special ? special->integerValue() : std::nullopt;
        const char* key = kind == archive_format::specialPoint  ? "NS.pointval"
                          : kind == archive_format::specialSize ? "NS.sizeval"
                          : kind == archive_format::specialRect ? "NS.rectval"
                                                                : nullptr;
        if (!key) return damaged("holds a kind of value that is not supported");
        ArchivedValue text = field(key);
        const std::string* s = text.stringValue();
        if (!s) return damaged("holds no value text");
        if (kind == archive_format::specialPoint) return ArchivedValue(pointFromString(*s));
        if (kind == archive_format::specialSize) return ArchivedValue(sizeFromString(*s));
        return ArchivedValue(rectFromString(*s));
    }
    case Kind::Color: {
        const PropertyList* spaceValue = dict.find("NSColorSpace");
        const std::optional<std::int64_t> space = spaceValue ? spaceValue->integerValue() : std::nullopt;
        if (space == 1 || space == 2 || space == 3 || space == 4) {
            const bool gray = *space >= 3;
            ArchivedValue components = field(gray ? "NSWhite" : "NSRGB");
            const PlistBytes* text = components.dataValue();
            // Grey colours become the matching RGB space.
            const int rgbSpace =
                (*space == 1 || *space == 3) ? ArchivedColor::calibratedRgb : ArchivedColor::deviceRgb;
            std::optional<ArchivedColor> color =
                text ? archive_format::parseColorComponents(*text, gray, rgbSpace) : std::nullopt;
            if (!color) return damaged("holds no readable colour components");
            return ArchivedValue(*color);
        }
        return damaged("uses a colour space that is not supported");
    }
    case Kind::Font: {
        ArchivedValue name = field("NSName");
        const PropertyList* size = dict.find("NSSize");
        const std::optional<double> points = size ? size->numberValue() : std::nullopt;
        if (!name.stringValue() || !points) return damaged("holds no font name and size");
        return ArchivedValue(ArchivedFont{*name.stringValue(), *points});
    }
    case Kind::Image: {
        ArchivedValue png = field("NSImagePNGData");
        if (!png.dataValue()) return damaged("holds no image data");
        return ArchivedValue(ArchivedImage{*png.dataValue()});
    }
    case Kind::Null:
        return {};
    case Kind::Number:
        // Numbers are stored as plain numbers; a classed record is not a form this reader knows.
        return damaged("is stored in a form that is not supported");
    case Kind::None:
        break;
    }

    std::shared_ptr<Archivable> object = registry_.create(className);
    if (!object) {
        fail(registry_.contains(className)
                 ? "the archived class \"" + className + "\" cannot be created"
                 : "the archive holds an object of unknown class \"" + className + "\"");
        return {};
    }
    // Registered before its keys are read, so references back to it resolve to this object.
    decodedObjects_.emplace(uid, object);
    frames_.push_back(Frame{&dict, className});
    object->initWithCoder(*this);
    frames_.pop_back();
    if (failed()) return {};
    return ArchivedValue(std::move(object));
}

} // namespace vtl
