// Opens a recording package made of fuzzer bytes and decodes frames from it through the real
// reader, decoders and JPEG glue. Layout of the input: four little-endian u16 lengths for
// "vtldirectory", "vtlmeta", "thumbmeta" and "thumbdata", those files' bytes in that order, and
// the rest as "vtldata".
#include "tracks/reader/PackageStorage.h"
#include "tracks/reader/VistrelRecording.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    static const char* const kNames[] = {"vtldirectory", "vtlmeta", "thumbmeta", "thumbdata"};
    auto storage = std::make_shared<vtl::MemoryPackageStorage>("fuzz.vistrelRecord");
    std::size_t offset = 8;
    for (int i = 0; i < 4; ++i) {
        const std::size_t length = std::min<std::size_t>(data[2 * i] | (data[2 * i + 1] << 8), size - offset);
        storage->setFile(kNames[i], std::vector<std::uint8_t>(data + offset, data + offset + length));
        offset += length;
    }
    storage->setFile("vtldata", std::vector<std::uint8_t>(data + offset, data + size));

    auto recording = std::make_shared<vtl::VistrelRecording>(storage);
    if (!recording->open()) return 0;
    (void)recording->duration();
    (void)recording->indexOfTime(0.5);
    (void)recording->posterImages();
    // Big pictures cost time without reaching new code.
    if (recording->width() * recording->height() > 512 * 512) return 0;
    auto decoder = recording->makeDecompressionInfo();
    if (!decoder) return 0;
    vtl::DecompressionInfo& info = **decoder;
    const std::uint64_t frames = std::min<std::uint64_t>(recording->numberOfFrames(), 12);
    for (std::uint64_t i = 0; i < frames; ++i)
        info.decompressFrame(i);
    info.decompressFrame(frames / 2);
    info.release();
    return 0;
}
