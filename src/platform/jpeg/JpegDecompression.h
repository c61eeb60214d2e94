#pragma once
// Decoding of the recording package's table-less JPEG streams straight into a B, G, R, A frame
// buffer. The standard tables for the quality stored beside each stream are installed before
// decoding. Used by the package reader and by the recorder's own checks. Safe to call from several
// threads at once.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtl {

struct JPEGDestination {
    std::uint8_t* topLeft = nullptr;  // where pixel (0, 0) of the stream goes
    std::size_t extraBytesPerRow = 0; // bytes to skip after each decoded row of width × 4 bytes
    std::size_t expectedWidth = 0;    // the stream must have exactly this size
    std::size_t expectedHeight = 0;
};

// Decodes one stream; fails unless it decoded completely. Rows already written stay written;
// nothing is written outside expectedHeight rows of expectedWidth pixels. A corrupt stream never
// ends the program.
Status decompressJPEGData(const std::uint8_t* data, std::size_t sizeBytes, std::uint64_t quality,
                          const JPEGDestination& destination);

// Decodes one complete colour JPEG stream (a camera's motion-JPEG frame) with its own tables, on
// the same terms.
Status decompressCompleteJPEG(const std::uint8_t* data, std::size_t sizeBytes,
                              const JPEGDestination& destination);

// The quantisation scale factor (percent) the standard library applies for a quality.
int jpegQualityScaling(std::int64_t quality);

} // namespace vtl
