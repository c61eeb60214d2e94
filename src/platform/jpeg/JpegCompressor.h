#pragma once
// Turns 32-bit B, G, R, X pixels into an abbreviated baseline JPEG stream (no tables, no JFIF
// marker, floating-point DCT) in a growing output buffer. One compressor per thread, reused.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

// A reusable output buffer: keeps its storage between streams, grows when a stream needs more.
class JpegOutputBuffer {
public:
    const std::uint8_t* data() const { return storage_.data(); }
    std::size_t sizeBytes() const { return sizeBytes_; }
    std::size_t capacityBytes() const { return storage_.size(); }
    void clear() { sizeBytes_ = 0; }

    std::vector<std::uint8_t>& storage() { return storage_; }
    void setSizeBytes(std::size_t sizeBytes) { sizeBytes_ = sizeBytes; }

private:
    std::vector<std::uint8_t> storage_;
    std::size_t sizeBytes_ = 0;
};

class JpegCompressor {
public:
    JpegCompressor();
    ~JpegCompressor();
    JpegCompressor(const JpegCompressor&) = delete;
    JpegCompressor& operator=(const JpegCompressor&) = delete;

    // Encodes width x height pixels (bytesPerRow apart) at quality percentage `quality`, which the
    // library limits to 1...100; the stream replaces the contents of `out`. On failure `out` is
    // empty.
    Status encode(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::size_t bytesPerRow, int quality, JpegOutputBuffer& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vtl
