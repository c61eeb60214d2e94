// Feeds untrusted bytes to the camera's picture decoding, as a device driver could hand them out.
// First byte: 0 a motion-JPEG picture (then width - 1, height - 1, the stream), 1 YUYV rows (then
// width ÷ 2 - 1, height - 1, the rows).
#include "platform/capture/Camera.h"
#include "platform/jpeg/JpegDecompression.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace vtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const std::size_t width =
        data[0] % 2 == 0 ? std::size_t(data[1]) + 1 : (std::size_t(data[1] % 64) + 1) * 2;
    const std::size_t height = std::size_t(data[2]) + 1;
    std::vector<std::uint8_t> pixels(width * height * 4);
    if (data[0] % 2 == 0) {
        JPEGDestination destination;
        destination.topLeft = pixels.data();
        destination.expectedWidth = width;
        destination.expectedHeight = height;
        (void)decompressCompleteJPEG(data + 3, size - 3, destination);
    } else if (size - 3 >= width * 2 * height) {
        detail::convertYUYVToBGRA(data + 3, width * 2, static_cast<int>(width), static_cast<int>(height),
                                  pixels.data(), width * 4);
    }
    return 0;
}
