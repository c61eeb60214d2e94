#include "platform/foundation/PropertyList.h"

#include "platform/foundation/FileHandle.h"
#include "platform/foundation/PropertyListBinaryCheck.h"
#include "platform/foundation/PropertyListBinaryWriter.h"
#include "platform/foundation/StringConcat.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vtl {

// ---- PropertyList: construction and access ----

PropertyList::PropertyList(bool value)
    : storage_(std::in_place_type<bool>, value) {}
PropertyList::PropertyList(double value)
    : storage_(std::in_place_type<double>, value) {}
PropertyList::PropertyList(std::string value)
    : storage_(std::in_place_type<std::string>, std::move(value)) {}
PropertyList::PropertyList(PlistDate value)
    : storage_(std::in_place_type<PlistDate>, value) {}
PropertyList::PropertyList(PlistUid value)
    : storage_(std::in_place_type<PlistUid>, value) {}
PropertyList::PropertyList(PlistBytes value)
    : storage_(std::in_place_type<PlistBytes>, std::move(value)) {}
PropertyList::PropertyList(PlistArray value)
    : storage_(std::in_place_type<PlistArray>, std::move(value)) {}
PropertyList::PropertyList(PlistDictionary value)
    : storage_(std::in_place_type<PlistDictionary>, std::move(value)) {}

PropertyList PropertyList::dictionary(std::initializer_list<PlistDictionary::Entry> entries) {
    return PropertyList(PlistDictionary(entries));
}

PropertyList PropertyList::array(std::initializer_list<PropertyList> items) {
    return PropertyList(PlistArray(items));
}

PropertyList PropertyList::data(std::span<const std::uint8_t> bytes) {
    return PropertyList(PlistBytes(bytes.begin(), bytes.end()));
}

const std::string* PropertyList::stringValue() const {
    return std::get_if<std::string>(&storage_);
}

std::optional<std::int64_t> PropertyList::integerValue() const {
    return variantAlternative<std::int64_t>(storage_);
}

std::optional<double> PropertyList::realValue() const {
    return variantAlternative<double>(storage_);
}

std::optional<double> PropertyList::numberValue() const {
    if (auto v = std::get_if<double>(&storage_)) return *v;
    if (auto v = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*v);
    return std::nullopt;
}

std::optional<bool> PropertyList::boolValue() const {
    return variantAlternative<bool>(storage_);
}

std::optional<PlistDate> PropertyList::dateValue() const {
    return variantAlternative<PlistDate>(storage_);
}

const PlistBytes* PropertyList::dataValue() const {
    return std::get_if<PlistBytes>(&storage_);
}

std::optional<PlistUid> PropertyList::uidValue() const {
    return variantAlternative<PlistUid>(storage_);
}

const PlistArray* PropertyList::arrayValue() const {
    return std::get_if<PlistArray>(&storage_);
}
PlistArray* PropertyList::arrayValue() {
    return std::get_if<PlistArray>(&storage_);
}
const PlistDictionary* PropertyList::dictionaryValue() const {
    return std::get_if<PlistDictionary>(&storage_);
}
PlistDictionary* PropertyList::dictionaryValue() {
    return std::get_if<PlistDictionary>(&storage_);
}

const PropertyList* PropertyList::get(std::string_view key) const {
    const PlistDictionary* d = dictionaryValue();
    return d ? d->find(key) : nullptr;
}

PropertyList* PropertyList::get(std::string_view key) {
    PlistDictionary* d = dictionaryValue();
    return d ? d->find(key) : nullptr;
}

const PropertyList* PropertyList::at(std::size_t index) const {
    const PlistArray* a = arrayValue();
    return a && index < a->size() ? &(*a)[index] : nullptr;
}

const PropertyList* PropertyList::getPath(std::initializer_list<std::string_view> keys) const {
    const PropertyList* node = this;
    for (std::string_view key : keys) {
        node = node->get(key);
        if (!node) return nullptr;
    }
    return node;
}

const std::string* PropertyList::stringForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->stringValue() : nullptr;
}

std::optional<std::int64_t> PropertyList::integerForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->integerValue() : std::nullopt;
}

std::optional<double> PropertyList::numberForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->numberValue() : std::nullopt;
}

std::optional<bool> PropertyList::boolForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->boolValue() : std::nullopt;
}

std::optional<PlistDate> PropertyList::dateForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->dateValue() : std::nullopt;
}

const PlistBytes* PropertyList::dataForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->dataValue() : nullptr;
}

const PlistArray* PropertyList::arrayForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->arrayValue() : nullptr;
}

const PlistDictionary* PropertyList::dictionaryForKey(std::string_view key) const {
    const PropertyList* v = get(key);
    return v ? v->dictionaryValue() : nullptr;
}

bool PropertyList::set(std::string key, PropertyList value) {
    PlistDictionary* d = dictionaryValue();
    if (!d) return false;
    d->set(std::move(key), std::move(value));
    return true;
}

bool PropertyList::append(PropertyList value) {
    PlistArray* a = arrayValue();
    if (!a) return false;
    a->push_back(std::move(value));
    return true;
}

std::size_t PropertyList::count() const {
    if (const PlistArray* a = arrayValue()) return a->size();
    if (const PlistDictionary* d = dictionaryValue()) return d->size();
    return 0;
}

bool operator==(const PropertyList& a, const PropertyList& b) {
    if (a.type() != b.type()) return false;
    if (a.type() == PropertyList::Type::Real) {
        // NaN equals NaN here, so a stored NaN compares equal after a round trip.
        const double x = *a.realValue(), y = *b.realValue();
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    return a.storage_ == b.storage_;
}

// ---- Conversion to and from libplist nodes ----

namespace {

struct NodeDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using NodePtr = std::unique_ptr<void, NodeDeleter>;

// The XML form is written by libplist from a node tree, which it walks in order.
Status toNode(const PropertyList& value, int depth, NodePtr& out) {
    if (depth > PropertyList::maximumDepth)
        return fail("the property list is nested too deeply to be written");
    using T = PropertyList::Type;
    switch (value.type()) {
    case T::None:
        return fail("the property list holds an empty value, which has no stored form");
    case T::Boolean:
        out.reset(plist_new_bool(*value.boolValue() ? 1 : 0));
        break;
    case T::Integer:
        // Stored as the two's-complement 64-bit pattern; it reads back signed.
        out.reset(plist_new_uint(static_cast<std::uint64_t>(*value.integerValue())));
        break;
    case T::Real:
        out.reset(plist_new_real(*value.realValue()));
        break;
    case T::String: {
        const std::string& s = *value.stringValue();
        if (!plist_detail::isStorableText(s))
            return fail("a string in the property list is not valid UTF-8 text");
        out.reset(plist_new_string(s.c_str()));
        break;
    }
    case T::Date: {
        Result<plist_detail::DateParts> parts =
            plist_detail::storableDate(value.dateValue()->secondsSince2001);
        if (!parts) return parts.asFailure();
        out.reset(plist_new_date(parts->seconds, parts->microseconds));
        break;
    }
    case T::Data: {
        const PlistBytes& d = *value.dataValue();
        out.reset(plist_new_data(reinterpret_cast<const char*>(d.data()), d.size()));
        break;
    }
    case T::Uid:
        out.reset(plist_new_uid(value.uidValue()->value));
        break;
    case T::Array: {
        out.reset(plist_new_array());
        for (const PropertyList& item : *value.arrayValue()) {
            NodePtr child;
            if (Status status = toNode(item, depth + 1, child); !status) return status;
            plist_array_append_item(out.get(), child.release());
        }
        break;
    }
    case T::Dictionary: {
        out.reset(plist_new_dict());
        for (const auto& [key, item] : *value.dictionaryValue()) {
            if (!plist_detail::isStorableText(key))
                return fail("a dictionary key in the property list is not valid UTF-8 text");
            NodePtr child;
            if (Status status = toNode(item, depth + 1, child); !status) return status;
            plist_dict_set_item(out.get(), key.c_str(), child.release());
        }
        break;
    }
    }
    if (!out) return fail("out of memory while writing the property list");
    return {};
}

Status fromNode(plist_t node, int depth, PropertyList& out) {
    if (depth > PropertyList::maximumDepth) return fail("the property list is nested too deeply");
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        std::uint8_t v = 0;
        plist_get_bool_val(node, &v);
        out = PropertyList(v != 0);
        return {};
    }
    case PLIST_UINT: {
        std::uint64_t v = 0;
        plist_get_uint_val(node, &v);
        out = PropertyList(static_cast<std::int64_t>(v));
        return {};
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        out = PropertyList(v);
        return {};
    }
    case PLIST_STRING: {
        std::uint64_t length = 0;
        const char* p = plist_get_string_ptr(node, &length);
        out = PropertyList(p ? std::string(p, static_cast<std::size_t>(length)) : std::string());
        return {};
    }
    case PLIST_DATE: {
        std::int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        // The parser splits a date into whole seconds rounded toward zero and the size of the
        // fraction, so before 2001 the fraction counts backwards. (Within the first second before
        // 2001 the sign is lost; such dates do not occur in practice.)
        const double fraction = std::abs(static_cast<double>(usec)) / 1e6;
        out = PropertyList(PlistDate{sec < 0 ? sec - fraction : sec + fraction});
        return {};
    }
    case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* p = plist_get_data_ptr(node, &length);
        const auto* b = reinterpret_cast<const std::uint8_t*>(p);
        out = PropertyList(p ? PlistBytes(b, b + length) : PlistBytes());
        return {};
    }
    case PLIST_UID: {
        std::uint64_t v = 0;
        plist_get_uid_val(node, &v);
        out = PropertyList(PlistUid{v});
        return {};
    }
    case PLIST_ARRAY: {
        PlistArray items;
        items.reserve(plist_array_get_size(node));
        plist_array_iter iter = nullptr;
        plist_array_new_iter(node, &iter);
        std::unique_ptr<void, decltype(&std::free)> iterGuard(iter, &std::free);
        for (;;) {
            plist_t child = nullptr;
            plist_array_next_item(node, iter, &child);
            if (!child) break;
            PropertyList item;
            if (Status status = fromNode(child, depth + 1, item); !status) return status;
            items.push_back(std::move(item));
        }
        out = PropertyList(std::move(items));
        return {};
    }
    case PLIST_DICT: {
        // The XML form of a UID is a dictionary holding only an integer under "CF$UID".
        if (plist_dict_get_size(node) == 1) {
            plist_t uid = plist_dict_get_item(node, "CF$UID");
            if (uid && plist_get_node_type(uid) == PLIST_UINT) {
                std::uint64_t v = 0;
                plist_get_uint_val(uid, &v);
                out = PropertyList(PlistUid{v});
                return {};
            }
        }
        PlistDictionary dict;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        std::unique_ptr<void, decltype(&std::free)> iterGuard(iter, &std::free);
        for (;;) {
            char* key = nullptr;
            plist_t child = nullptr;
            plist_dict_next_item(node, iter, &key, &child);
            std::unique_ptr<char, decltype(&std::free)> keyGuard(key, &std::free);
            if (!child) break;
            PropertyList item;
            if (Status status = fromNode(child, depth + 1, item); !status) return status;
            dict.set(key ? std::string(key) : std::string(), std::move(item));
        }
        out = PropertyList(std::move(dict));
        return {};
    }
    default:
        return fail("the property list holds a value of an unsupported type");
    }
}

} // namespace

// ---- Reading and writing ----

Result<PropertyList> PropertyList::fromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return fail("the property list is empty");
    if (bytes.size() > maximumInputBytes || bytes.size() > UINT32_MAX)
        return fail("the property list is too large to read");
    const bool binary = bytes.size() >= 6 && std::memcmp(bytes.data(), "bplist", 6) == 0;
    if (binary) {
        plist_detail::BinaryCheckLimits limits;
        limits.maximumDepth = maximumDepth;
        // Shared objects are expanded into copies by the parser; allow ordinary sharing of
        // leaves but not a structure that multiplies out.
        limits.maximumExpandedObjects = 1'000'000 + 8 * static_cast<std::uint64_t>(bytes.size());
        limits.maximumExpandedBytes =
            (std::uint64_t(64) << 20) + 8 * static_cast<std::uint64_t>(bytes.size());
        if (Status status = plist_detail::checkBinaryPropertyList(bytes, limits); !status)
            return status.asFailure();
    } else if (plist_detail::xmlNestingDepth(bytes) > maximumDepth) {
        return fail("the property list is nested too deeply");
    } else if (plist_detail::xmlHasNulCharacter(bytes)) {
        return fail("the property list holds a NUL character");
    }

    plist_t root = nullptr;
    plist_from_memory(reinterpret_cast<const char*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()),
                      &root);
    NodePtr guard(root);
    if (!root)
        return fail(binary ? "the binary property list is damaged"
                           : "the data is not a readable property list");
    PropertyList value;
    if (Status status = fromNode(root, 1, value); !status) return status.asFailure();
    return value;
}

Result<PropertyList> PropertyList::fromBytes(std::string_view bytes) {
    return fromBytes(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

Result<PropertyList> PropertyList::fromFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    // Opened without blocking and only as a plain file: a fifo in its place is refused, not waited on.
    Result<PlistBytes> bytes = FileHandle::readWholeFile(name, maximumInputBytes);
    if (!bytes) return fail("cannot read " + name + ": " + bytes.error());
    Result<PropertyList> result = fromBytes(bytes.value());
    if (!result) return fail(name + ": " + result.error());
    return result;
}

Result<PlistBytes> PropertyList::toBytes(PropertyListFormat format) const {
    if (format == PropertyListFormat::Binary) return plist_detail::writeBinaryPropertyList(*this);
    NodePtr root;
    if (Status status = toNode(*this, 1, root); !status) return status.asFailure();
    char* buffer = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &buffer, &length);
    if (!buffer) return fail("the property list could not be encoded");
    const auto* b = reinterpret_cast<const std::uint8_t*>(buffer);
    PlistBytes bytes(b, b + length);
    plist_to_xml_free(buffer);
    return bytes;
}

Status PropertyList::writeToFile(const std::filesystem::path& path, PropertyListFormat format) const {
    Result<PlistBytes> bytes = toBytes(format);
    if (!bytes) return fail(path.string() + ": " + bytes.error());
    return writeFileAtomically(path, *bytes);
}

Status writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    const std::string name = path.string();
    auto failure = [&](const char* what) {
        const int code = errno;
        return fail(std::string("cannot ") + what + " " + name + ": " + std::strerror(code));
    };
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string temp = (folder / concat({".", path.filename().string(), ".XXXXXX"})).string();
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return failure("create a temporary file for");

    auto abandon = [&](const char* what) {
        Failure status = failure(what);
        ::close(fd);
        ::unlink(temp.c_str());
        return status;
    };
    // Keep the permissions of a file being replaced; a new file gets the usual 0644.
    struct stat existing {};
    const mode_t mode = ::stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    if (::fchmod(fd, mode) != 0) return abandon("set permissions for");

    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon("write");
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return abandon("sync");
    if (::close(fd) != 0) {
        Failure status = failure("close");
        ::unlink(temp.c_str());
        return status;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        Failure status = failure("replace");
        ::unlink(temp.c_str());
        return status;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

} // namespace vtl
