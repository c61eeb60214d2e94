#pragma once
// Decoding of the package's abbreviated JPEG streams: they carry no tables, so the standard
// quantisation tables scaled to the stored quality and the standard Huffman tables are installed
// before decoding. Used by the package reader and by the recorder's own checks.

#include <cstddef>
#include <cstdint>
#include <string>

struct jpeg_decompress_struct;

namespace vtl::recording {

// Installs into `dinfo`, after jpeg_read_header, the tables a compressor set to `quality`
// (limited to 1...100 like the compressor does) would have used. Returns false when the tables
// could not be built; `dinfo` is then unchanged.
bool installStandardJpegTables(jpeg_decompress_struct& dinfo, int quality);

// Decodes one abbreviated stream of exactly width x height pixels into B, G, R, A pixels
// (alpha 255), `outBytesPerRow` apart. Fails on damaged data or a size other than expected.
bool decodeAbbreviatedJpeg(const std::uint8_t* data, std::size_t sizeBytes, int quality, std::uint32_t width,
                           std::uint32_t height, std::uint8_t* out, std::size_t outBytesPerRow,
                           std::string* error = nullptr);

} // namespace vtl::recording
