#pragma once
// A small reader of recording packages for the tests: loads the frame-stream files, rebuilds
// pictures frame by frame and compares them with source pictures.

#include "platform/jpeg/JpegDecompression.h"
#include "recorder/format/RecordingFormat.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace vtl::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool hasMarker(const std::uint8_t* data, std::size_t size, std::uint8_t marker) {
    // Entropy-coded data stuffs every 0xFF with 0x00, so a plain scan finds only real markers.
    for (std::size_t i = 0; i + 1 < size; ++i)
        if (data[i] == 0xff && data[i + 1] == marker) return true;
    return false;
}

struct PictureError {
    double meanAbsolute = 0;
    int maximum = 0;
    // The worst mean over 16 x 16 tiles: a misplaced or missing block shows here even when the
    // whole picture's mean hides it.
    double worstTileMean = 0;
};

// Compares the B, G, R bytes of two packed pictures `width` pixels wide.
inline PictureError comparePictures(const std::uint8_t* a, const std::uint8_t* b, std::size_t pixels,
                                    std::size_t width = 0) {
    if (width == 0) width = pixels;
    const std::size_t height = width ? pixels / width : 0;
    PictureError error;
    double sum = 0;
    for (std::size_t ty = 0; ty < height; ty += 16)
        for (std::size_t tx = 0; tx < width; tx += 16) {
            double tileSum = 0;
            std::size_t tilePixels = 0;
            for (std::size_t y = ty; y < std::min(height, ty + 16); ++y)
                for (std::size_t x = tx; x < std::min(width, tx + 16); ++x) {
                    const std::size_t i = y * width + x;
                    for (int c = 0; c < 3; ++c) {
                        const int d = std::abs(int(a[i * 4 + c]) - int(b[i * 4 + c]));
                        tileSum += d;
                        error.maximum = std::max(error.maximum, d);
                    }
                    ++tilePixels;
                }
            sum += tileSum;
            if (tilePixels)
                error.worstTileMean = std::max(error.worstTileMean, tileSum / (3.0 * double(tilePixels)));
        }
    error.meanAbsolute = pixels ? sum / (3.0 * double(pixels)) : 0;
    return error;
}

struct TestPackage {
    RecordingHeader header;
    std::vector<DirectoryEntry> entries;
    Bytes meta, data, directory, thumbMeta, thumbData;

    bool load(const std::string& path, std::string& error) {
        meta = readFile(path + "/vtlmeta");
        data = readFile(path + "/vtldata");
        directory = readFile(path + "/vtldirectory");
        thumbMeta = readFile(path + "/thumbmeta");
        thumbData = readFile(path + "/thumbdata");
        auto parsed = parseHeader(meta);
        if (!parsed) {
            error = parsed.error();
            return false;
        }
        header = parsed.value();
        entries.clear();
        for (std::size_t offset = 0; offset + kDirectoryEntrySizeBytes <= directory.size();
             offset += kDirectoryEntrySizeBytes)
            entries.push_back(parseDirectoryEntry(std::span(directory).subspan(offset)).value());
        return true;
    }

    bool record(std::size_t index, FrameMetaRecord& out, std::string& error) const {
        if (index >= entries.size() || entries[index].metaOffsetBytes > meta.size()) {
            error = "no such frame";
            return false;
        }
        auto parsed = parseFrameMetaRecord(std::span(meta).subspan(entries[index].metaOffsetBytes), out);
        if (!parsed) error = parsed.error();
        return parsed.ok();
    }

    // Applies frame `index` to `picture` (width x height x 4, B, G, R, A).
    bool applyFrame(std::size_t index, Bytes& picture, std::string& error) const {
        FrameMetaRecord rec;
        if (!record(index, rec, error)) return false;
        const std::uint64_t width = header.displaySizeHorizontal;
        const std::uint64_t height = header.displaySizeVertical;
        picture.resize(width * height * 4);
        std::uint64_t offset = entries[index].dataOffsetBytes;
        if (rec.isKeyFrame()) {
            for (const StripeRecord& stripe : rec.stripes) {
                if (offset + stripe.jpegSizeBytes > data.size())
                    return (error = "stripe past the data", false);
                const JPEGDestination destination{picture.data() +
                                                      stripe.stripeIndex * kStripeHeightRows * width * 4,
                                                  0, width, stripe.heightRows};
                Status decoded = decompressJPEGData(data.data() + offset, stripe.jpegSizeBytes,
                                                    rec.jpegQuality, destination);
                if (!decoded) return (error = decoded.error(), false);
                offset += stripe.jpegSizeBytes;
            }
            return true;
        }
        const Bytes previous = picture;
        for (const MovedRectRecord& moved : rec.movedRects)
            for (std::uint64_t y = 0; y < moved.height; ++y)
                std::memcpy(picture.data() + ((moved.y + y) * width + moved.x) * 4,
                            previous.data() +
                                ((moved.y + y + moved.deltaY) * width + moved.x + moved.deltaX) * 4,
                            moved.width * 4);
        for (const ChangedRectRecord& changed : rec.changedRects) {
            if (offset + changed.jpegSizeBytes > data.size())
                return (error = "rectangle past the data", false);
            Bytes block(changed.width * changed.height * 4);
            Status decoded =
                decompressJPEGData(data.data() + offset, changed.jpegSizeBytes, changed.jpegQuality,
                                   {block.data(), 0, changed.width, changed.height});
            if (!decoded) return (error = decoded.error(), false);
            for (std::uint64_t y = 0; y < changed.height; ++y)
                std::memcpy(picture.data() + ((changed.y + y) * width + changed.x) * 4,
                            block.data() + y * changed.width * 4, changed.width * 4);
            offset += changed.jpegSizeBytes;
        }
        return true;
    }
};

} // namespace vtl::testing
