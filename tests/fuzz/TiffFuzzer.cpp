// Cursor pictures are TIFF data inside recording packages: the decoder must take any bytes, and
// whatever it reads must survive being written and read again.
#include "platform/graphics/tiff/TiffCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vtl::Result<vtl::TiffImage> image = vtl::decodeTiff(std::span<const std::uint8_t>(data, size));
    if (!image) return 0;
    if (image->rgba.size() != std::size_t(image->width) * std::size_t(image->height) * 4) std::abort();
    auto encoded = vtl::encodeTiff(*image);
    if (!encoded) return 0;
    auto again = vtl::decodeTiff(*encoded);
    if (!again || !(*again == *image)) std::abort();
    return 0;
}
