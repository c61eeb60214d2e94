#pragma once
// Reads keyed archives written by KeyedArchiver (or any writer of the standard layout) back into
// model objects through the class registry. Defensive: the bytes come from disk and the clipboard,
// so every fault (damaged property list, dangling reference, unknown class, wrong value type, too
// deep or too large a graph) becomes an error message, never a crash. After the first fault every
// decode call gives a neutral value. One unarchiver reads one archive; the caller owns it. The
// unarchiver keeps every decoded object alive while it lives; afterwards objects live only through
// the owning references of the graph (an object reached only through raw back-pointers is gone).
// A hostile archive can make owning references form a cycle; classes that must not leak then check
// the shape of what they decoded.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/KeyedArchivable.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/KeyedArchiveValue.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vtl {

class KeyedUnarchiver {
public:
    // Nesting of objects and collections deeper than this is refused.
    static constexpr int maximumDepth = 200;

    explicit KeyedUnarchiver(const ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
    KeyedUnarchiver(const KeyedUnarchiver&) = delete;
    KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

    // Reads the archive's outer layout; decode calls then read from "$top".
    Status open(std::span<const std::uint8_t> bytes);
    // The same for an archive already read as a property list.
    Status openPropertyList(PropertyList archive);

    // Decodes the object stored under "root" (or another top key) and checks its class.
    template <typename T>
    static Result<std::shared_ptr<T>>
    unarchive(std::span<const std::uint8_t> bytes,
              const ArchiveClassRegistry& registry = ArchiveClassRegistry::shared(),
              std::string_view key = "root") {
        KeyedUnarchiver coder(registry);
        if (Status status = coder.open(bytes); !status) return status.asFailure();
        std::shared_ptr<T> object = coder.decodeObjectOfClass<T>(key);
        if (!object && !coder.failed())
            coder.fail("the archive has no object under \"" + std::string(key) + "\"");
        if (Status status = coder.finishDecoding(); !status) return status.asFailure();
        return object;
    }

    // Keys of the object being decoded (or of "$top").
    bool containsValueForKey(std::string_view key) const;

    // Scalars: a missing key gives 0 or false; a value of another kind is a fault. Numbers convert
    // between booleans, integers and reals; integers out of range are a fault.
    bool decodeBoolForKey(std::string_view key);
    std::int32_t decodeInt32ForKey(std::string_view key);
    std::int64_t decodeInt64ForKey(std::string_view key);
    float decodeFloatForKey(std::string_view key);
    double decodeDoubleForKey(std::string_view key);
    // Inline bytes or a data object; empty when missing.
    PlistBytes decodeBytesForKey(std::string_view key);
    // Geometry from its text form (read leniently, as stored files expect) or from a value object;
    // zero when missing.
    Point decodePointForKey(std::string_view key);
    Size decodeSizeForKey(std::string_view key);
    Rect decodeRectForKey(std::string_view key);

    // Objects: nil when missing.
    ArchivedValue decodeObjectForKey(std::string_view key);
    std::optional<std::string> decodeStringForKey(std::string_view key);
    // A number object (or an inline number).
    std::optional<double> decodeNumberForKey(std::string_view key);
    std::optional<PlistDate> decodeDateForKey(std::string_view key);
    std::optional<ArchivedColor> decodeColorForKey(std::string_view key);
    std::optional<ArchivedFont> decodeFontForKey(std::string_view key);
    std::optional<ArchivedImage> decodeImageForKey(std::string_view key);
    std::optional<ArchivedArray> decodeArrayForKey(std::string_view key);
    std::optional<ArchivedDictionary> decodeDictionaryForKey(std::string_view key);

    // A model object of class T (or a subclass); another class is a fault.
    template <typename T> std::shared_ptr<T> decodeObjectOfClass(std::string_view key) {
        ArchivedValue value = decodeObjectForKey(key);
        if (value.isNil()) return nullptr;
        std::shared_ptr<T> object = value.objectAs<T>();
        if (!object) failWrongType(key, "an object of the expected class", value);
        return object;
    }

    // A list of model objects of class T; nil elements are skipped, other values are a fault.
    template <typename T> std::vector<std::shared_ptr<T>> decodeArrayOfObjects(std::string_view key) {
        std::vector<std::shared_ptr<T>> out;
        std::optional<ArchivedArray> items = decodeArrayForKey(key);
        if (!items) return out;
        out.reserve(items->size());
        for (const ArchivedValue& item : *items) {
            if (item.isNil()) continue;
            std::shared_ptr<T> object = item.objectAs<T>();
            if (!object) {
                failWrongType(key, "a list of objects of the expected class", item);
                return {};
            }
            out.push_back(std::move(object));
        }
        return out;
    }

    // An optional number written with KeyedArchiver::encodeOptionalNumber.
    enum class OptionalNumberState {
        Present, // the number object was found
        Absent,  // the flag says there is no value
        Missing  // neither key: an older archive, the caller reads its older key
    };
    struct OptionalNumber {
        OptionalNumberState state = OptionalNumberState::Missing;
        double value = 0;
    };
    OptionalNumber decodeOptionalNumber(std::string_view numberKey, std::string_view absentFlagKey);

    // Class name of the object being decoded (empty at the top).
    const std::string& currentClassName() const;

    // Records a fault; later decode calls give neutral values.
    void fail(std::string message);
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    // The first fault, if any.
    Status finishDecoding() const;

private:
    struct ClassRecord {
        std::string name;
        std::vector<std::string> chain;
    };
    struct Frame {
        const PlistDictionary* keys;
        std::string className;
    };

    const PropertyList* lookup(std::string_view key) const;
    // An inline value, or the stored object an inline UID points at (for scalars read leniently).
    const PropertyList* lookupScalar(std::string_view key);
    // A stored value as an archived value, charged to the copy budget.
    ArchivedValue copyStored(const PropertyList& stored);
    ArchivedValue decodeReference(std::uint64_t uid);
    ArchivedValue decodeClassedObject(std::uint64_t uid, const PlistDictionary& dict);
    const ClassRecord* classRecord(const PropertyList& reference);
    void failWrongType(std::string_view key, const char* expected, const ArchivedValue& found);
    template <typename T, typename Get>
    std::optional<T> decodeObjectOfKind(std::string_view key, const char* expected, Get get);
    template <class Value>
    Value decodeGeometryForKey(std::string_view key, Value (*fromString)(std::string_view),
                               std::optional<Value> (ArchivedValue::*fromValue)() const,
                               const char* expected);
    void failAt(std::string_view key, const std::string& message);

    const ArchiveClassRegistry& registry_;
    PropertyList archive_;
    const PlistArray* objects_ = nullptr;
    const PlistDictionary* top_ = nullptr;
    std::vector<Frame> frames_;
    std::unordered_map<std::uint64_t, std::shared_ptr<Archivable>> decodedObjects_;
    std::unordered_map<std::uint64_t, ClassRecord> classRecords_;
    std::vector<std::uint8_t> collectionsInProgress_;
    std::uint64_t work_ = 0;
    std::uint64_t workLimit_ = 0;
    // Collections and boxed values are copied at each reference: bytes copied so far and allowed.
    std::uint64_t copiedBytes_ = 0;
    std::uint64_t copyLimitBytes_ = 0;
    int depth_ = 0;
    std::string error_;
};

} // namespace vtl
