// Feeds untrusted bytes to the recording package's parsers and to the table-less JPEG decoder.
// First byte: 0 "vtlmeta" (header, then records one after another), 1 "vtldirectory" entries,
// 2 "thumbmeta" records, 3 a JPEG stream (then quality, width - 1, height - 1).
#include "platform/jpeg/JpegDecompression.h"
#include "recorder/format/RecordingFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using namespace vtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0: {
        const auto header = parseHeader(bytes);
        if (!header) return 0;
        (void)usableFrameEntryCount(header.value(), bytes.size());
        (void)thumbnailSizeBytes(header.value());
        FrameMetaRecord record;
        std::size_t offset = kHeaderSizeBytes;
        while (offset < bytes.size()) {
            const auto consumed = parseFrameMetaRecord(bytes.subspan(offset), record);
            if (!consumed) break;
            // What parses must serialise back to the same bytes.
            const auto again = serializeFrameMetaRecord(record);
            if (again.size() != consumed.value()) __builtin_trap();
            for (std::size_t i = 0; i < again.size(); ++i)
                if (again[i] != bytes[offset + i]) __builtin_trap();
            offset += consumed.value();
        }
        break;
    }
    case 1:
        for (std::size_t offset = 0; offset < bytes.size(); offset += kDirectoryEntrySizeBytes)
            if (!parseDirectoryEntry(bytes.subspan(offset))) break;
        break;
    case 2:
        for (std::size_t offset = 0; offset < bytes.size(); offset += kThumbnailRecordSizeBytes)
            if (!parseThumbnailRecord(bytes.subspan(offset))) break;
        break;
    default: {
        if (bytes.size() < 3) return 0;
        const int quality = bytes[0];
        const std::uint32_t width = bytes[1] + 1u;
        const std::uint32_t height = bytes[2] + 1u;
        std::vector<std::uint8_t> out(std::size_t{width} * height * 4);
        (void)decompressJPEGData(bytes.data() + 3, bytes.size() - 3, quality, {out.data(), 0, width, height});
        break;
    }
    }
    return 0;
}
