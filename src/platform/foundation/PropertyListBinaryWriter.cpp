#include "platform/foundation/PropertyListBinaryWriter.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace vtl::plist_detail {

bool isStorableText(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == 0) return false;
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            extra = 1;
            cp = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            extra = 2;
            cp = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (extra >= s.size() - i) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        static constexpr std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
        i += extra + 1;
    }
    return true;
}

Result<DateParts> storableDate(double seconds) {
    if (!std::isfinite(seconds)) return fail("a date in the property list is not a finite time");
    double whole = std::floor(seconds);
    long long micro = std::llround((seconds - whole) * 1e6);
    if (micro >= 1000000) {
        whole += 1;
        micro -= 1000000;
    }
    if (whole < INT32_MIN || whole > INT32_MAX)
        return fail("a date in the property list is out of the storable range");
    return DateParts{static_cast<std::int32_t>(whole), static_cast<std::int32_t>(micro)};
}

namespace {

constexpr std::uint8_t markerFalse = 0x08, markerTrue = 0x09, markerInteger = 0x10, markerReal = 0x23,
                       markerDate = 0x33, markerData = 0x40, markerAscii = 0x50, markerUtf16 = 0x60,
                       markerUid = 0x80, markerArray = 0xa0, markerDictionary = 0xd0;

// Bytes needed for a reference to, or an offset of, anything below `count`.
std::size_t widthFor(std::uint64_t count) {
    if (count < (std::uint64_t(1) << 8)) return 1;
    if (count < (std::uint64_t(1) << 16)) return 2;
    if (count < (std::uint64_t(1) << 32)) return 4;
    return 8;
}

void putBigEndian(PlistBytes& out, std::uint64_t v, std::size_t width) {
    for (std::size_t i = width; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// An integer object in the smallest width that holds it; negative values take all eight bytes.
void putInteger(PlistBytes& out, std::int64_t v) {
    const auto u = static_cast<std::uint64_t>(v);
    const std::size_t width = v < 0 ? 8 : widthFor(u);
    out.push_back(static_cast<std::uint8_t>(markerInteger | std::countr_zero(width)));
    putBigEndian(out, u, width);
}

// A marker with its count in the low nibble, or 0xf and the count as a following integer.
void putMarker(PlistBytes& out, std::uint8_t marker, std::uint64_t count) {
    if (count < 15) {
        out.push_back(static_cast<std::uint8_t>(marker | count));
        return;
    }
    out.push_back(static_cast<std::uint8_t>(marker | 0x0f));
    putInteger(out, static_cast<std::int64_t>(count));
}

void putUtf16(PlistBytes& out, std::string_view s) {
    std::vector<std::uint16_t> units;
    units.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = c < 0x80 ? 0 : c < 0xe0 ? 1 : c < 0xf0 ? 2 : 3;
        std::uint32_t cp = extra == 0 ? c : extra == 1 ? c & 0x1f : extra == 2 ? c & 0x0f : c & 0x07;
        for (std::size_t k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xd800 | (cp >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xdc00 | (cp & 0x3ff)));
        } else {
            units.push_back(static_cast<std::uint16_t>(cp));
        }
    }
    putMarker(out, markerUtf16, units.size());
    for (std::uint16_t unit : units)
        putBigEndian(out, unit, 2);
}

class Flattener {
public:
    // Numbers the value and everything below it; the value's object number.
    Result<std::uint64_t> add(const PropertyList& value, int depth) {
        if (depth > PropertyList::maximumDepth)
            return fail("the property list is nested too deeply to be written");
        using T = PropertyList::Type;
        switch (value.type()) {
        case T::None:
            return fail("the property list holds an empty value, which has no stored form");
        case T::Array: {
            const std::uint64_t index = newContainer(markerArray);
            std::vector<std::uint64_t> refs;
            refs.reserve(value.arrayValue()->size());
            for (const PropertyList& item : *value.arrayValue()) {
                Result<std::uint64_t> ref = add(item, depth + 1);
                if (!ref) return ref;
                refs.push_back(*ref);
            }
            objects_[index].refs = std::move(refs);
            return index;
        }
        case T::Dictionary: {
            const std::uint64_t index = newContainer(markerDictionary);
            const PlistDictionary& dictionary = *value.dictionaryValue();
            std::vector<std::uint64_t> refs;
            refs.reserve(2 * dictionary.size());
            for (const auto& entry : dictionary) {
                Result<std::uint64_t> ref = addString(entry.first, "a dictionary key");
                if (!ref) return ref;
                refs.push_back(*ref);
            }
            for (const auto& entry : dictionary) {
                Result<std::uint64_t> ref = add(entry.second, depth + 1);
                if (!ref) return ref;
                refs.push_back(*ref);
            }
            objects_[index].refs = std::move(refs);
            return index;
        }
        case T::String:
            return addString(*value.stringValue(), "a string");
        case T::Boolean:
            return addScalar(PlistBytes{*value.boolValue() ? markerTrue : markerFalse});
        case T::Integer: {
            PlistBytes bytes;
            putInteger(bytes, *value.integerValue());
            return addScalar(std::move(bytes));
        }
        case T::Real: {
            PlistBytes bytes{markerReal};
            putBigEndian(bytes, std::bit_cast<std::uint64_t>(*value.realValue()), 8);
            return addScalar(std::move(bytes));
        }
        case T::Date: {
            Result<DateParts> parts = storableDate(value.dateValue()->secondsSince2001);
            if (!parts) return parts.asFailure();
            // The value the reader splits back into the same seconds and microseconds.
            const double stored =
                static_cast<double>(parts->seconds) + static_cast<double>(parts->microseconds) / 1e6;
            PlistBytes bytes{markerDate};
            putBigEndian(bytes, std::bit_cast<std::uint64_t>(stored), 8);
            return addScalar(std::move(bytes));
        }
        case T::Data: {
            const PlistBytes& data = *value.dataValue();
            PlistBytes bytes;
            bytes.reserve(data.size() + 10);
            putMarker(bytes, markerData, data.size());
            bytes.insert(bytes.end(), data.begin(), data.end());
            return addScalar(std::move(bytes));
        }
        case T::Uid: {
            const std::uint64_t uid = value.uidValue()->value;
            const std::size_t width = widthFor(uid);
            PlistBytes bytes{static_cast<std::uint8_t>(markerUid | (width - 1))};
            putBigEndian(bytes, uid, width);
            return addScalar(std::move(bytes));
        }
        }
        return fail("the property list holds a value of an unknown type");
    }

    PlistBytes write() const {
        const std::size_t refWidth = widthFor(objects_.size());
        PlistBytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<std::uint64_t> offsets;
        offsets.reserve(objects_.size());
        for (const Object& object : objects_) {
            offsets.push_back(out.size());
            if (object.containerMarker == 0) {
                out.insert(out.end(), object.bytes.begin(), object.bytes.end());
                continue;
            }
            const std::uint64_t count =
                object.containerMarker == markerDictionary ? object.refs.size() / 2 : object.refs.size();
            putMarker(out, object.containerMarker, count);
            for (std::uint64_t ref : object.refs)
                putBigEndian(out, ref, refWidth);
        }
        const std::uint64_t tableOffset = out.size();
        const std::size_t offsetWidth = widthFor(tableOffset);
        for (std::uint64_t offset : offsets)
            putBigEndian(out, offset, offsetWidth);
        // Trailer: five unused bytes, the sort version, the two widths, then the object count, the
        // top object and where the offset table starts.
        out.insert(out.end(), 6, 0);
        out.push_back(static_cast<std::uint8_t>(offsetWidth));
        out.push_back(static_cast<std::uint8_t>(refWidth));
        putBigEndian(out, objects_.size(), 8);
        putBigEndian(out, 0, 8);
        putBigEndian(out, tableOffset, 8);
        return out;
    }

private:
    struct Object {
        std::uint8_t containerMarker = 0; // 0 for a value stored as its bytes
        PlistBytes bytes;
        std::vector<std::uint64_t> refs; // a dictionary's keys, then its values
    };

    std::uint64_t newContainer(std::uint8_t marker) {
        objects_.push_back(Object{marker, {}, {}});
        return objects_.size() - 1;
    }

    // A value's encoding identifies it (the marker carries the type), so equal encodings are
    // stored once.
    std::uint64_t addScalar(PlistBytes bytes) {
        std::string_view key(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (auto it = scalars_.find(key); it != scalars_.end()) return it->second;
        objects_.push_back(Object{0, std::move(bytes), {}});
        const Object& stored = objects_.back();
        // The deque never moves a stored object, so the key may point into it.
        key = std::string_view(reinterpret_cast<const char*>(stored.bytes.data()), stored.bytes.size());
        scalars_.emplace(key, objects_.size() - 1);
        return objects_.size() - 1;
    }

    Result<std::uint64_t> addString(std::string_view s, const char* what) {
        if (!isStorableText(s))
            return fail(std::string(what) + " in the property list is not valid UTF-8 text");
        bool ascii = true;
        for (char c : s)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        PlistBytes bytes;
        if (ascii) {
            bytes.reserve(s.size() + 10);
            putMarker(bytes, markerAscii, s.size());
            bytes.insert(bytes.end(), s.begin(), s.end());
        } else {
            putUtf16(bytes, s);
        }
        return addScalar(std::move(bytes));
    }

    std::deque<Object> objects_;
    std::unordered_map<std::string_view, std::uint64_t> scalars_;
};

} // namespace

Result<PlistBytes> writeBinaryPropertyList(const PropertyList& root) {
    Flattener flattener;
    Result<std::uint64_t> top = flattener.add(root, 1);
    if (!top) return top.asFailure();
    return flattener.write();
}

} // namespace vtl::plist_detail
