#include "platform/foundation/KeyedArchiveDump.h"

#include "platform/foundation/KeyedArchiveFormat.h"
#include "platform/foundation/StringConcat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace vtl {
namespace {

using Kind = archive_format::BuiltinKind;

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string number(double v) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return ec == std::errc() ? std::string(buffer, end) : "?";
}

std::string bytesText(const PlistBytes& bytes) {
    std::string out = concat({"<", std::to_string(bytes.size()), " bytes"});
    const std::size_t shown = std::min<std::size_t>(bytes.size(), 16);
    if (shown) out += ":";
    for (std::size_t i = 0; i < shown; ++i) {
        char buffer[4];
        std::snprintf(buffer, sizeof buffer, " %02x", bytes[i]);
        out += buffer;
    }
    if (shown < bytes.size()) out += " …";
    return out + ">";
}

std::string dateText(double secondsSince2001) {
    // 978307200 seconds lie between 1970-01-01 and 2001-01-01.
    const double unix = secondsSince2001 + 978307200.0;
    if (!std::isfinite(unix) || std::abs(unix) > 1e15) return "date " + number(secondsSince2001);
    const std::time_t whole = static_cast<std::time_t>(std::floor(unix));
    std::tm tm{};
    if (!gmtime_r(&whole, &tm)) return "date " + number(secondsSince2001);
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
    const double fraction = unix - std::floor(unix);
    std::string text = buffer;
    if (fraction > 0) {
        char f[16];
        std::snprintf(f, sizeof f, "%.3f", fraction);
        text += f + 1; // drop the leading "0"
    }
    return "date " + text + " UTC";
}

const PlistArray* arrayAt(const PlistDictionary& dict, std::string_view key) {
    const PropertyList* v = dict.find(key);
    return v ? v->arrayValue() : nullptr;
}

std::string scalarText(const PropertyList& v) {
    switch (v.type()) {
    case PropertyList::Type::String:
        return quoted(*v.stringValue());
    case PropertyList::Type::Integer:
        return std::to_string(*v.integerValue());
    case PropertyList::Type::Real:
        return number(*v.realValue());
    case PropertyList::Type::Boolean:
        return *v.boolValue() ? "true" : "false";
    case PropertyList::Type::Data:
        return bytesText(*v.dataValue());
    case PropertyList::Type::Date:
        return dateText(v.dateValue()->secondsSince2001);
    default:
        return {};
    }
}

class Dumper {
public:
    Dumper(const archive_format::Layout& layout, std::uint64_t textLimitBytes)
        : objects_(*layout.objects)
        , top_(*layout.top)
        , shown_(objects_.size(), 0)
        , workLimit_(archive_format::workLimit(objects_.size()))
        , textLimitBytes_(textLimitBytes) {}

    Status run() {
        for (const auto& [key, value] : top_) {
            entry(key, value, 0);
            if (!error_.empty()) return vtl::fail(error_);
        }
        return {};
    }

    std::string text;
    std::string error_;

private:
    void line(int indent, const std::string& label, const std::string& value) {
        // Text and numbers are printed at each reference: a long string shared many times would
        // otherwise make an enormous text.
        const std::size_t lineBytes = static_cast<std::size_t>(indent) * 2 + label.size() + value.size() + 3;
        if (text.size() + lineBytes > textLimitBytes_) {
            fail("the keyed archive describes too large an object graph");
            return;
        }
        text.append(static_cast<std::size_t>(indent) * 2, ' ');
        text += label;
        text += ": ";
        text += value;
        text += '\n';
    }

    bool fail(const std::string& message) {
        if (error_.empty()) error_ = message;
        return false;
    }

    // The text of an object a record refers to under a key (for names and components).
    const PropertyList* resolved(const PropertyList* v) {
        if (!v) return nullptr;
        if (auto uid = v->uidValue()) {
            if (uid->value == 0 || uid->value >= objects_.size()) return nullptr;
            return &objects_[static_cast<std::size_t>(uid->value)];
        }
        return v;
    }

    void entry(const std::string& label, const PropertyList& value, int indent) {
        if (!error_.empty()) return;
        if (++work_ > workLimit_) {
            fail("the keyed archive describes too large an object graph");
            return;
        }
        if (indent > 200) {
            fail("the keyed archive is nested too deeply");
            return;
        }
        if (auto uid = value.uidValue()) {
            reference(label, uid->value, indent);
            return;
        }
        if (const PlistArray* items = value.arrayValue()) {
            line(indent, label, "inline array (" + std::to_string(items->size()) + " items)");
            for (std::size_t i = 0; i < items->size(); ++i)
                entry(concat({"[", std::to_string(i), "]"}), (*items)[i], indent + 1);
            return;
        }
        if (const PlistDictionary* dict = value.dictionaryValue()) {
            line(indent, label, "inline dictionary (" + std::to_string(dict->size()) + " entries)");
            for (const auto& [k, v] : *dict)
                entry(k, v, indent + 1);
            return;
        }
        line(indent, label, scalarText(value));
    }

    void reference(const std::string& label, std::uint64_t uid, int indent) {
        if (uid == 0) {
            line(indent, label, "nil");
            return;
        }
        if (uid >= objects_.size()) {
            fail("the keyed archive is damaged: a reference points at object " + std::to_string(uid) +
                 " of " + std::to_string(objects_.size()));
            return;
        }
        const PropertyList& stored = objects_[static_cast<std::size_t>(uid)];
        const PlistDictionary* dict = stored.dictionaryValue();
        if (!dict) {
            if (stored.isArray() || stored.uidValue()) {
                fail("the keyed archive is damaged: object " + std::to_string(uid) +
                     " is not an archived object");
                return;
            }
            line(indent, label, scalarText(stored));
            return;
        }
        const PropertyList* classRef = dict->find("$class");
        if (!classRef) {
            fail("the keyed archive is damaged: object " + std::to_string(uid) + " has no class");
            return;
        }
        Result<archive_format::ClassInfo> record = archive_format::readClassRecord(objects_, *classRef);
        if (!record) {
            fail("the keyed archive is damaged: " + record.error());
            return;
        }
        const archive_format::ClassInfo& info = *record;
        const std::string tag = concat({"#", std::to_string(uid), " ", info.name});
        std::uint8_t& shown = shown_[static_cast<std::size_t>(uid)];
        if (shown) {
            line(indent, label, concat({"-> ", tag, " (shown above)"}));
            return;
        }
        shown = 1;

        switch (archive_format::builtinKind(info.name)) {
        case Kind::Array:
        case Kind::Set: {
            const PlistArray* items = arrayAt(*dict, "NS.objects");
            const std::size_t count = items ? items->size() : 0;
            line(indent, label, concat({tag, " (", std::to_string(count), " items)"}));
            for (std::size_t i = 0; i < count; ++i)
                entry(concat({"[", std::to_string(i), "]"}), (*items)[i], indent + 1);
            return;
        }
        case Kind::Dictionary: {
            const PlistArray* keys = arrayAt(*dict, "NS.keys");
            const PlistArray* values = arrayAt(*dict, "NS.objects");
            const std::size_t count = keys ? keys->size() : 0;
            if (count != (values ? values->size() : 0)) {
                fail("the keyed archive is damaged: dictionary " + std::to_string(uid) +
                     " has different numbers of keys and values");
                return;
            }
            line(indent, label, tag + " (" + std::to_string(count) + " entries)");
            for (std::size_t i = 0; i < count; ++i) {
                const PropertyList* k = resolved(&(*keys)[i]);
                const std::string name =
                    k && k->stringValue() ? *k->stringValue() : "<key " + std::to_string(i) + ">";
                entry(name, (*values)[i], indent + 1);
            }
            return;
        }
        case Kind::Color: {
            const PropertyList* space = dict->find("NSColorSpace");
            // A plain number (0 when absent) keeps GCC's uninitialised-optional false positive away.
            const std::int64_t s = space && space->integerValue() ? *space->integerValue() : 0;
            const PropertyList* rgb = resolved(dict->find(s >= 3 ? "NSWhite" : "NSRGB"));
            std::optional<ArchivedColor> color;
            if (s >= 1 && s <= 4 && rgb && rgb->dataValue())
                color = archive_format::parseColorComponents(*rgb->dataValue(), s >= 3, static_cast<int>(s));
            if (color) {
                line(indent, label,
                     tag + " rgba(" + number(color->red) + ", " + number(color->green) + ", " +
                         number(color->blue) + ", " + number(color->alpha) + ") space " + std::to_string(s));
                return;
            }
            break; // print its keys
        }
        case Kind::Value: {
            for (const char* key : {"NS.pointval", "NS.sizeval", "NS.rectval"}) {
                const PropertyList* v = resolved(dict->find(key));
                if (v && v->stringValue()) {
                    line(indent, label, tag + " " + *v->stringValue());
                    return;
                }
            }
            break;
        }
        case Kind::Font: {
            const PropertyList* name = resolved(dict->find("NSName"));
            const PropertyList* size = dict->find("NSSize");
            if (name && name->stringValue() && size && size->numberValue()) {
                line(indent, label,
                     tag + " " + quoted(*name->stringValue()) + " " + number(*size->numberValue()) + " pt");
                return;
            }
            break;
        }
        case Kind::Date: {
            const PropertyList* time = dict->find("NS.time");
            if (time && time->numberValue()) {
                line(indent, label, tag + " " + dateText(*time->numberValue()));
                return;
            }
            break;
        }
        default:
            break;
        }
        // Any other class: its keys in stored order.
        line(indent, label, tag);
        for (const auto& [key, v] : *dict) {
            if (key == "$class") continue;
            entry(key, v, indent + 1);
            if (!error_.empty()) return;
        }
    }

    const PlistArray& objects_;
    const PlistDictionary& top_;
    std::vector<std::uint8_t> shown_;
    std::uint64_t work_ = 0;
    std::uint64_t workLimit_;
    std::uint64_t textLimitBytes_;
};

} // namespace

Result<std::string> dumpKeyedArchive(std::span<const std::uint8_t> bytes) {
    Result<PropertyList> parsed = PropertyList::fromBytes(bytes);
    if (!parsed) return fail("the keyed archive could not be read: " + parsed.error());
    Result<archive_format::Layout> layout = archive_format::readLayout(*parsed);
    if (!layout) return layout.asFailure();
    Dumper dumper(*layout, (std::uint64_t(64) << 20) + 16 * static_cast<std::uint64_t>(bytes.size()));
    if (Status status = dumper.run(); !status) return status.asFailure();
    return std::move(dumper.text);
}

} // namespace vtl
