#pragma once
// Writes an object graph as a keyed archive: a binary property list with "$archiver", "$version"
// (100000), "$top" and "$objects" (entry 0 is "$null"), objects referenced by UID, each model object
// a dictionary whose "$class" points at a class record ("$classname", "$classes"). Shared objects are
// written once; cycles work; conditional references are kept only for objects also written
// unconditionally. One archiver writes one archive; the caller owns it. Not thread-safe.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/KeyedArchiveValue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vtl {

class KeyedArchiver {
public:
    // The key under which the convenience functions store the root object.
    static constexpr std::string_view rootKey = "root";

    explicit KeyedArchiver(const ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
    KeyedArchiver(const KeyedArchiver&) = delete;
    KeyedArchiver& operator=(const KeyedArchiver&) = delete;

    // Archives one object under "root".
    static Result<PlistBytes>
    archivedData(const std::shared_ptr<Archivable>& root,
                 const ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // Every encode call writes into the object being encoded, or into "$top" outside any object.
    // Scalars are stored inline in the object's dictionary.
    void encodeBool(std::string_view key, bool value);
    void encodeInt32(std::string_view key, std::int32_t value);
    void encodeInt64(std::string_view key, std::int64_t value);
    void encodeFloat(std::string_view key, float value);
    void encodeDouble(std::string_view key, double value);
    // Inline bytes.
    void encodeBytes(std::string_view key, std::span<const std::uint8_t> bytes);
    // Geometry as inline text: "{x, y}", "{w, h}", "{{x, y}, {w, h}}".
    void encodePoint(std::string_view key, Point value);
    void encodeSize(std::string_view key, Size value);
    void encodeRect(std::string_view key, const Rect& value);

    // Objects are stored in "$objects" and referenced by UID: strings as strings (NSString), numbers
    // as numbers (NSNumber), data as data (NSData), dates (NSDate), arrays (NSMutableArray),
    // dictionaries (NSMutableDictionary), geometry values (NSValue), colours (NSColor), fonts
    // (NSFont), images (NSImage) and model objects under their own class names.
    void encodeObject(std::string_view key, const ArchivedValue& value);
    // A model object by pointer (for back-pointers held raw); nullptr writes nil.
    void encodeObject(std::string_view key, const Archivable* object);
    void encodeString(std::string_view key, std::string_view value) {
        encodeObject(key, ArchivedValue(value));
    }
    void encodeNumber(std::string_view key, double value) { encodeObject(key, ArchivedValue(value)); }
    void encodeColor(std::string_view key, const ArchivedColor& value) {
        encodeObject(key, ArchivedValue(value));
    }
    void encodeFont(std::string_view key, const ArchivedFont& value) {
        encodeObject(key, ArchivedValue(value));
    }
    void encodeImage(std::string_view key, const ArchivedImage& value) {
        encodeObject(key, ArchivedValue(value));
    }
    template <typename T>
    requires std::derived_from<T, Archivable>
    void encodeArray(std::string_view key, const std::vector<std::shared_ptr<T>>& objects) {
        encodeObject(key, ArchivedValue::array(objects));
    }

    // Writes a reference to the object only if the object is also encoded unconditionally
    // somewhere in this archive (before or after); otherwise nil.
    void encodeConditionalObject(std::string_view key, const Archivable* object);

    // An optional number: the number object under numberKey when present, otherwise YES under
    // absentFlagKey (the older archives' convention for optional properties).
    void encodeOptionalNumber(std::string_view numberKey, std::string_view absentFlagKey,
                              std::optional<double> value);

    // Records a fault found by a model class; finishEncoding then fails with it.
    void fail(std::string message);
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    // The archive as a binary property list, or the first fault. Ends this archiver's use.
    Result<PlistBytes> finishEncoding();
    // The archive as a property-list value (for tests and tools). Ends this archiver's use.
    Result<PropertyList> finishEncodingAsPropertyList();

private:
    std::uint64_t referenceFor(const ArchivedValue& value, int depth);
    std::uint64_t referenceForObject(const Archivable* object, const std::shared_ptr<Archivable>* owner,
                                     int depth);
    std::uint64_t classReference(const std::string& className);
    std::uint64_t classReference(const std::string& className, const std::vector<std::string>& chain);
    std::uint64_t appendObject(PropertyList value);
    PlistDictionary& current();
    void put(std::string_view key, PropertyList value);

    struct PendingConditional {
        std::size_t holder; // index into objects_, or topHolder
        std::string key;
        const Archivable* object;
    };
    static constexpr std::size_t topHolder = SIZE_MAX;

    const ArchiveClassRegistry& registry_;
    std::vector<PropertyList> objects_;
    PlistDictionary top_;
    // Dictionaries of the model objects being encoded, innermost last, with their object indexes.
    std::vector<std::pair<std::size_t, PlistDictionary>> stack_;
    std::unordered_map<const Archivable*, std::uint64_t> objectUids_;
    std::map<std::string, std::uint64_t, std::less<>> stringUids_;
    std::map<std::string, std::uint64_t, std::less<>> classUids_;
    std::vector<PendingConditional> conditionals_;
    // Objects kept alive while encoding so identities stay unique.
    std::vector<std::shared_ptr<Archivable>> retained_;
    std::string error_;
    bool finished_ = false;
};

} // namespace vtl
