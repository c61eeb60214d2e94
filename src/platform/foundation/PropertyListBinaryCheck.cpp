#include "platform/foundation/PropertyListBinaryCheck.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace vtl::plist_detail {
namespace {

constexpr std::size_t trailerBytes = 32;
constexpr std::size_t headerBytes = 8;

std::uint64_t readBigEndian(const std::uint8_t* p, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v = (v << 8) | p[i];
    return v;
}

struct Parsed {
    std::span<const std::uint8_t> bytes;
    std::size_t objectsEnd = 0; // objects live in [headerBytes, objectsEnd)
    std::size_t refSize = 0;
    std::vector<std::uint64_t> offsets;
};

// The references held by one object (empty for scalars), or an error.
struct ObjectRefs {
    std::size_t firstRef = 0; // byte offset of the first reference
    std::uint64_t refCount = 0;
    std::uint64_t payloadBytes = 0; // text or data held by the object itself
    std::string error;
};

ObjectRefs inspectObject(const Parsed& p, std::uint64_t object) {
    ObjectRefs out;
    const std::uint64_t offset = p.offsets[object];
    const std::uint8_t* data = p.bytes.data();
    const std::size_t end = p.objectsEnd;
    auto fits = [&](std::uint64_t from, std::uint64_t length) { return from <= end && length <= end - from; };

    const std::uint8_t marker = data[offset];
    const std::uint8_t kind = marker >> 4;
    const std::uint8_t low = marker & 0x0f;
    std::uint64_t cursor = offset + 1;

    // Length for markers whose low nibble is a count, with the 0xf escape to a following integer.
    auto readCount = [&](std::uint64_t& count) -> bool {
        if (low != 0x0f) {
            count = low;
            return true;
        }
        if (!fits(cursor, 1)) return false;
        const std::uint8_t intMarker = data[cursor];
        if ((intMarker >> 4) != 0x1) return false;
        const std::size_t width = std::size_t(1) << (intMarker & 0x0f);
        if (width > 8 || !fits(cursor + 1, width)) return false;
        count = readBigEndian(data + cursor + 1, width);
        cursor += 1 + width;
        return true;
    };

    switch (kind) {
    case 0x0:
        if (marker != 0x00 && marker != 0x08 && marker != 0x09 && marker != 0x0f)
            out.error = "unknown object marker";
        return out;
    case 0x1: {
        const std::size_t width = std::size_t(1) << low;
        if (width > 16 || !fits(cursor, width)) out.error = "integer runs past the end";
        return out;
    }
    case 0x2: {
        const std::size_t width = std::size_t(1) << low;
        if ((width != 4 && width != 8) || !fits(cursor, width)) out.error = "damaged real number";
        return out;
    }
    case 0x3:
        if (marker != 0x33 || !fits(cursor, 8)) out.error = "damaged date";
        return out;
    case 0x4:
    case 0x5:
    case 0x6: {
        std::uint64_t count = 0;
        if (!readCount(count)) {
            out.error = "damaged length";
            return out;
        }
        const std::uint64_t unit = kind == 0x6 ? 2 : 1;
        if (count > end || !fits(cursor, count * unit)) out.error = "string or data runs past the end";
        out.payloadBytes = count * unit;
        return out;
    }
    case 0x8:
        if (!fits(cursor, std::size_t(low) + 1)) out.error = "UID runs past the end";
        return out;
    case 0xa:
    case 0xc:
    case 0xd: {
        std::uint64_t count = 0;
        if (!readCount(count)) {
            out.error = "damaged length";
            return out;
        }
        const std::uint64_t refs = kind == 0xd ? count * 2 : count;
        if (count > end || !fits(cursor, refs * p.refSize)) {
            out.error = "container runs past the end";
            return out;
        }
        out.firstRef = static_cast<std::size_t>(cursor);
        out.refCount = refs;
        return out;
    }
    default:
        out.error = "unknown object marker";
        return out;
    }
}

// A dictionary key must be a string without NUL characters (the parser asserts on those).
Status checkKeyObject(const Parsed& p, std::uint64_t object) {
    if (object >= p.offsets.size()) return fail("the binary property list refers to a missing object");
    const std::uint8_t* data = p.bytes.data();
    const std::uint64_t offset = p.offsets[object];
    const std::uint8_t marker = data[offset];
    const std::uint8_t kind = marker >> 4;
    if (kind != 0x5 && kind != 0x6)
        return fail("the binary property list has a dictionary key that is not text");
    ObjectRefs bounds = inspectObject(p, object);
    if (!bounds.error.empty()) return fail("the binary property list is damaged: " + bounds.error);
    std::uint64_t count = marker & 0x0f;
    std::uint64_t cursor = offset + 1;
    if (count == 0x0f) {
        const std::size_t width = std::size_t(1) << (data[cursor] & 0x0f);
        count = readBigEndian(data + cursor + 1, width);
        cursor += 1 + width;
    }
    if (kind == 0x5) {
        if (std::memchr(data + cursor, 0, count) != nullptr)
            return fail("the binary property list has a dictionary key with a NUL character");
    } else {
        for (std::uint64_t i = 0; i < count; ++i)
            if (data[cursor + 2 * i] == 0 && data[cursor + 2 * i + 1] == 0)
                return fail("the binary property list has a dictionary key with a NUL character");
    }
    return {};
}

} // namespace

Status checkBinaryPropertyList(std::span<const std::uint8_t> bytes, const BinaryCheckLimits& limits) {
    if (bytes.size() < headerBytes + trailerBytes) return fail("the binary property list is truncated");
    if (std::memcmp(bytes.data(), "bplist0", 7) != 0) return fail("the data is not a binary property list");

    Parsed p;
    p.bytes = bytes;
    const std::uint8_t* trailer = bytes.data() + bytes.size() - trailerBytes;
    const std::size_t offsetSize = trailer[6];
    p.refSize = trailer[7];
    const std::uint64_t objectCount = readBigEndian(trailer + 8, 8);
    const std::uint64_t topObject = readBigEndian(trailer + 16, 8);
    const std::uint64_t tableOffset = readBigEndian(trailer + 24, 8);
    const std::size_t tableLimit = bytes.size() - trailerBytes;

    if (offsetSize < 1 || offsetSize > 8 || p.refSize < 1 || p.refSize > 8)
        return fail("the binary property list has a damaged trailer");
    if (objectCount == 0 || topObject >= objectCount)
        return fail("the binary property list has no valid top object");
    if (tableOffset < headerBytes || tableOffset > tableLimit ||
        objectCount > (tableLimit - tableOffset) / offsetSize)
        return fail("the binary property list offset table lies outside the data");

    p.objectsEnd = static_cast<std::size_t>(tableOffset);
    p.offsets.resize(static_cast<std::size_t>(objectCount));
    for (std::size_t i = 0; i < p.offsets.size(); ++i) {
        const std::uint64_t offset = readBigEndian(bytes.data() + tableOffset + i * offsetSize, offsetSize);
        if (offset < headerBytes || offset >= p.objectsEnd)
            return fail("the binary property list has an object outside the data");
        p.offsets[i] = offset;
    }

    // Depth-first walk from the top object without recursion. Each object's expanded size
    // (saturating) and height are memoised, so shared subtrees are measured once.
    enum : std::uint8_t { unvisited, onStack, done };
    std::vector<std::uint8_t> state(p.offsets.size(), unvisited);
    std::vector<std::uint64_t> expanded(p.offsets.size(), 0);
    std::vector<std::uint32_t> height(p.offsets.size(), 0);
    std::vector<std::uint64_t> expandedBytes(p.offsets.size(), 0);
    struct Frame {
        std::uint64_t object;
        ObjectRefs refs;
        std::uint64_t next;
    };
    std::vector<Frame> stack;
    const std::uint64_t cap = limits.maximumExpandedObjects + 1;
    const std::uint64_t byteCap = limits.maximumExpandedBytes + 1;
    // Adds a finished child's expanded measures to its parent; an error when a limit is passed.
    auto addChild = [&](std::uint64_t parent, std::uint64_t child) -> const char* {
        expanded[parent] = std::min(cap, expanded[parent] + expanded[child]);
        expandedBytes[parent] = std::min(byteCap, expandedBytes[parent] + expandedBytes[child]);
        height[parent] = std::max(height[parent], height[child] + 1);
        if (expanded[parent] >= cap) return "the property list expands to too many objects";
        if (expandedBytes[parent] >= byteCap) return "the property list expands to too much text and data";
        if (height[parent] > static_cast<std::uint32_t>(limits.maximumDepth))
            return "the property list is nested too deeply";
        return nullptr;
    };

    std::vector<std::uint8_t> keyChecked(p.offsets.size(), 0);
    auto push = [&](std::uint64_t object) -> Status {
        ObjectRefs refs = inspectObject(p, object);
        if (!refs.error.empty()) return fail("the binary property list is damaged: " + refs.error);
        if ((bytes[p.offsets[object]] >> 4) == 0xd) {
            for (std::uint64_t i = 0; i < refs.refCount / 2; ++i) {
                const std::uint64_t key =
                    readBigEndian(bytes.data() + refs.firstRef + i * p.refSize, p.refSize);
                if (key < keyChecked.size() && keyChecked[key]) continue;
                if (Status status = checkKeyObject(p, key); !status) return status;
                keyChecked[key] = 1;
            }
        }
        state[object] = onStack;
        expanded[object] = 1;
        expandedBytes[object] = std::min(byteCap, refs.payloadBytes);
        height[object] = 1;
        stack.push_back({object, std::move(refs), 0});
        if (stack.size() > static_cast<std::size_t>(limits.maximumDepth))
            return fail("the property list is nested too deeply");
        return {};
    };

    if (Status status = push(topObject); !status) return status;
    if (expandedBytes[topObject] >= byteCap)
        return fail("the property list expands to too much text and data");
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.refs.refCount) {
            const std::uint64_t finished = frame.object;
            state[finished] = done;
            stack.pop_back();
            if (!stack.empty())
                if (const char* e = addChild(stack.back().object, finished)) return fail(e);
            continue;
        }
        const std::uint64_t child =
            readBigEndian(bytes.data() + frame.refs.firstRef + frame.next * p.refSize, p.refSize);
        ++frame.next;
        if (child >= p.offsets.size()) return fail("the binary property list refers to a missing object");
        if (state[child] == onStack) return fail("the binary property list contains a reference loop");
        if (state[child] == done) {
            if (const char* e = addChild(frame.object, child)) return fail(e);
            continue;
        }
        if (Status status = push(child); !status) return status;
    }
    return {};
}

bool xmlHasNulCharacter(std::span<const std::uint8_t> bytes) {
    std::size_t size = bytes.size();
    while (size > 0 && bytes[size - 1] == 0)
        --size; // a terminating NUL is harmless
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), size);
    if (text.find('\0') != std::string_view::npos) return true;
    // Character references to NUL: "&#0;", "&#x00;" and the like.
    std::size_t pos = 0;
    while ((pos = text.find("&#", pos)) != std::string_view::npos) {
        std::size_t i = pos + 2;
        if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) ++i;
        const std::size_t digits = i;
        while (i < text.size() && text[i] == '0')
            ++i;
        if (i > digits && i < text.size() && text[i] == ';') return true;
        pos += 2;
    }
    return false;
}

int xmlNestingDepth(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    int depth = 0;
    int deepest = 0;
    std::size_t pos = 0;
    while ((pos = text.find('<', pos)) != std::string_view::npos) {
        const std::string_view rest = text.substr(pos + 1);
        auto opens = [&](std::string_view name) {
            return rest.starts_with(name) && rest.size() > name.size() &&
                   (rest[name.size()] == '>' || rest[name.size()] == ' ' || rest[name.size()] == '\t' ||
                    rest[name.size()] == '\n' || rest[name.size()] == '\r');
        };
        if (opens("dict") || opens("array")) {
            const std::size_t close = rest.find('>');
            const bool selfClosing = close != std::string_view::npos && close > 0 && rest[close - 1] == '/';
            if (!selfClosing) deepest = std::max(deepest, ++depth);
        } else if (rest.starts_with("/dict") || rest.starts_with("/array")) {
            depth = std::max(0, depth - 1);
        }
        ++pos;
    }
    return deepest;
}

} // namespace vtl::plist_detail
