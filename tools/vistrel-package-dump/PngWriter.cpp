#include "PngWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace vtl::tools {

namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void appendChunk(std::vector<std::uint8_t>& out, const char* type, const std::vector<std::uint8_t>& body) {
    putU32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t typeStart = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    const uLong crc = crc32(0L, out.data() + typeStart, static_cast<uInt>(out.size() - typeStart));
    putU32(out, static_cast<std::uint32_t>(crc));
}

} // namespace

bool writeRGBPng(const std::string& path, const std::uint8_t* bgrx, std::size_t width, std::size_t height,
                 std::size_t bytesPerRow, std::string* error) {
    // Each row: filter byte 0, then R, G, B.
    std::vector<std::uint8_t> raw;
    raw.reserve(height * (1 + width * 3));
    for (std::size_t y = 0; y < height; ++y) {
        raw.push_back(0);
        const std::uint8_t* row = bgrx + y * bytesPerRow;
        for (std::size_t x = 0; x < width; ++x) {
            raw.push_back(row[x * 4 + 2]);
            raw.push_back(row[x * 4 + 1]);
            raw.push_back(row[x * 4 + 0]);
        }
    }
    uLongf compressedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, raw.data(), static_cast<uLong>(raw.size()), 6) !=
        Z_OK) {
        if (error) *error = "compressing the picture failed";
        return false;
    }
    compressed.resize(compressedSize);

    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    std::vector<std::uint8_t> header;
    putU32(header, static_cast<std::uint32_t>(width));
    putU32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8 bits, RGB, deflate, no filter set, no interlace
    appendChunk(file, "IHDR", header);
    appendChunk(file, "IDAT", compressed);
    appendChunk(file, "IEND", {});

    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

} // namespace vtl::tools
