#include "platform/media/detail/MovieTrackNames.h"

#include "platform/foundation/FileHandle.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace vtl::detail {

namespace {

constexpr std::size_t maximumTracks = 4096;
constexpr std::size_t maximumNameBytes = 4096;
constexpr int maximumBoxesPerLevel = 100000;

// Random access to the source's bytes.
class ByteReader {
public:
    explicit ByteReader(const MediaSource& source)
        : source_(source) {
        if (source.bytes) {
            size_ = source.bytes->size();
            ok_ = true;
        } else {
            // Opened without blocking, and only when it is a plain file.
            if (Result<FileHandle> file = FileHandle::open(source.path, FileOpenMode::Read)) {
                if (Result<std::uint64_t> size = file.value().size()) {
                    file_ = std::move(file).value();
                    size_ = size.value();
                    ok_ = true;
                }
            }
        }
    }
    bool ok() const { return ok_; }
    std::uint64_t size() const { return size_; }

    bool read(std::uint64_t offset, void* into, std::size_t count) {
        if (offset > size_ || count > size_ - offset) return false;
        if (source_.bytes) {
            std::memcpy(into, source_.bytes->data() + offset, count);
            return true;
        }
        return file_.readAllAt(offset, into, count).ok();
    }

private:
    const MediaSource& source_;
    FileHandle file_;
    std::uint64_t size_ = 0;
    bool ok_ = false;
};

struct Box {
    std::uint32_t type = 0;
    std::uint64_t payloadOffset = 0;
    std::uint64_t end = 0;
};

constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}
constexpr std::uint32_t internationalNameType = 0xA96E616D; // "©nam"

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Calls `visit` for each box between begin and end; false when a header is damaged.
bool forEachBox(ByteReader& reader, std::uint64_t begin, std::uint64_t end,
                const std::function<bool(const Box&)>& visit) {
    std::uint64_t offset = begin;
    for (int count = 0; offset + 8 <= end; ++count) {
        if (count >= maximumBoxesPerLevel) return false;
        std::uint8_t header[16];
        if (!reader.read(offset, header, 8)) return false;
        std::uint64_t size = bigEndian32(header);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (!reader.read(offset + 8, header + 8, 8)) return false;
            size = std::uint64_t(bigEndian32(header + 8)) << 32 | bigEndian32(header + 12);
            headerSize = 16;
        } else if (size == 0) {
            size = end - offset;
        }
        if (size < headerSize || size > end - offset) return false;
        const Box box{bigEndian32(header + 4), offset + headerSize, offset + size};
        if (!visit(box)) return true;
        offset += size;
    }
    return true;
}

std::string readName(ByteReader& reader, const Box& box) {
    const std::uint64_t length = std::min<std::uint64_t>(box.end - box.payloadOffset, maximumNameBytes);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (!reader.read(box.payloadOffset, bytes.data(), bytes.size())) return {};
    if (box.type == internationalNameType && bytes.size() >= 4) {
        // 16-bit text length, 16-bit language code, then the text.
        const std::size_t textLength =
            std::size_t(std::uint8_t(bytes[0])) << 8 | std::size_t(std::uint8_t(bytes[1]));
        if (textLength <= bytes.size() - 4) return bytes.substr(4, textLength);
    }
    const std::size_t terminator = bytes.find('\0');
    if (terminator != std::string::npos) bytes.resize(terminator);
    return bytes;
}

} // namespace

std::optional<std::vector<std::string>> readMovieTrackNames(const MediaSource& source) {
    ByteReader reader(source);
    if (!reader.ok()) return std::nullopt;
    std::optional<Box> movie;
    const bool topLevelOk = forEachBox(reader, 0, reader.size(), [&](const Box& box) {
        if (box.type != fourCC("moov")) return true;
        movie = box;
        return false;
    });
    if (!topLevelOk || !movie) return std::nullopt;

    std::vector<std::string> names;
    bool damaged = false;
    forEachBox(reader, movie->payloadOffset, movie->end, [&](const Box& track) {
        if (track.type != fourCC("trak")) return true;
        if (names.size() >= maximumTracks) {
            damaged = true;
            return false;
        }
        std::string name;
        std::string internationalName;
        forEachBox(reader, track.payloadOffset, track.end, [&](const Box& child) {
            if (child.type != fourCC("udta")) return true;
            forEachBox(reader, child.payloadOffset, child.end, [&](const Box& item) {
                if (item.type == fourCC("name") && name.empty()) name = readName(reader, item);
                if (item.type == internationalNameType && internationalName.empty())
                    internationalName = readName(reader, item);
                return true;
            });
            return false;
        });
        names.push_back(name.empty() ? internationalName : name);
        return true;
    });
    if (damaged) return std::nullopt;
    return names;
}

} // namespace vtl::detail
