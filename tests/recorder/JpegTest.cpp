#include "TestPackage.h"
#include "platform/jpeg/JpegCompressor.h"
#include "platform/jpeg/JpegDecompression.h"

#include <gtest/gtest.h>
#include <random>

namespace vtl {
namespace {

using testing::Bytes;

Bytes gradientPicture(std::uint32_t width, std::uint32_t height, std::size_t bytesPerRow) {
    Bytes pixels(bytesPerRow * height, 0xcd); // padding bytes stay 0xcd
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* p = pixels.data() + y * bytesPerRow + x * 4;
            p[0] = std::uint8_t(x * 255 / width);
            p[1] = std::uint8_t(y * 255 / height);
            p[2] = std::uint8_t((x + y) & 0xff);
            p[3] = 0;
        }
    return pixels;
}

TEST(JpegCompressor, StreamsCarryNoTablesAndDecodeWithStandardTablesAtTheStoredQuality) {
    struct Case {
        std::uint32_t width, height;
        std::size_t bytesPerRow;
        int quality;
        double meanBound;
    };
    const Case cases[] = {
        {64, 48, 64 * 4, 75, 2.0},
        {100, 37, 100 * 4 + 12, 95, 1.0}, // padded rows, odd size
        {1, 1, 4, 55, 3.0},
        {33, 17, 33 * 4, 115, 1.0}, // stored uncapped; the library uses 100
    };
    JpegCompressor compressor;
    JpegOutputBuffer out;
    for (const Case& c : cases) {
        const Bytes source = gradientPicture(c.width, c.height, c.bytesPerRow);
        Status encoded = compressor.encode(source.data(), c.width, c.height, c.bytesPerRow, c.quality, out);
        ASSERT_TRUE(encoded) << encoded.error();
        ASSERT_GT(out.sizeBytes(), 4u);
        EXPECT_EQ(out.data()[0], 0xff);
        EXPECT_EQ(out.data()[1], 0xd8);
        EXPECT_FALSE(testing::hasMarker(out.data(), out.sizeBytes(), 0xdb)) << "DQT";
        EXPECT_FALSE(testing::hasMarker(out.data(), out.sizeBytes(), 0xc4)) << "DHT";
        EXPECT_FALSE(testing::hasMarker(out.data(), out.sizeBytes(), 0xe0)) << "APP0";
        EXPECT_TRUE(testing::hasMarker(out.data(), out.sizeBytes(), 0xc0)) << "baseline SOF0";

        Bytes decoded(std::size_t{c.width} * c.height * 4);
        Status decodedStatus = decompressJPEGData(out.data(), out.sizeBytes(), c.quality,
                                                  {decoded.data(), 0, c.width, c.height});
        ASSERT_TRUE(decodedStatus) << decodedStatus.error();
        Bytes packed(decoded.size());
        for (std::uint32_t y = 0; y < c.height; ++y)
            std::memcpy(packed.data() + y * c.width * 4, source.data() + y * c.bytesPerRow, c.width * 4);
        const auto difference =
            testing::comparePictures(decoded.data(), packed.data(), std::size_t{c.width} * c.height);
        EXPECT_LE(difference.meanAbsolute, c.meanBound) << c.width << "x" << c.height << " q" << c.quality;
        EXPECT_LE(difference.maximum, 40);
        EXPECT_EQ(decoded[3], 255); // alpha filled in
    }
}

TEST(JpegCompressor, NoisyStripeAtHighQualityGrowsTheBufferInsteadOfOverflowing) {
    const std::uint32_t width = 512, height = 256;
    Bytes noise(std::size_t{width} * height * 4);
    std::mt19937 random(7);
    // Grey noise: luminance only, so 2 x 2 chroma sampling loses nothing.
    for (std::size_t i = 0; i < noise.size(); i += 4)
        noise[i] = noise[i + 1] = noise[i + 2] = std::uint8_t(random());
    JpegCompressor compressor;
    JpegOutputBuffer out;
    Status encoded = compressor.encode(noise.data(), width, height, width * 4, 100, out);
    ASSERT_TRUE(encoded) << encoded.error();
    // Noise at quality 100 is bigger than a quarter of the raw picture the buffer started with.
    EXPECT_GT(out.sizeBytes(), std::size_t{width} * height);
    Bytes decoded(noise.size());
    Status decodedStatus =
        decompressJPEGData(out.data(), out.sizeBytes(), 100, {decoded.data(), 0, width, height});
    ASSERT_TRUE(decodedStatus) << decodedStatus.error();
    EXPECT_LE(
        testing::comparePictures(decoded.data(), noise.data(), std::size_t{width} * height).meanAbsolute,
        2.0);
    // The buffer is reused for a small stream.
    const std::size_t capacity = out.capacityBytes();
    ASSERT_TRUE(compressor.encode(noise.data(), 16, 16, width * 4, 50, out));
    EXPECT_EQ(out.capacityBytes(), capacity);
}

TEST(JpegCompressor, RefusesImpossiblePicturesAndDamagedStreams) {
    JpegCompressor compressor;
    JpegOutputBuffer out;
    const Bytes pixels(64, 0);
    EXPECT_FALSE(compressor.encode(pixels.data(), 0, 4, 16, 75, out));
    EXPECT_FALSE(compressor.encode(nullptr, 4, 4, 16, 75, out));
    Status shortRows = compressor.encode(pixels.data(), 4, 4, 8, 75, out); // rows too short
    EXPECT_FALSE(shortRows);
    EXPECT_FALSE(shortRows.error().empty());
    // Still usable afterwards.
    ASSERT_TRUE(compressor.encode(pixels.data(), 4, 4, 16, 75, out));

    Bytes decoded(16 * 4);
    EXPECT_FALSE(decompressJPEGData(out.data(), out.sizeBytes(), 75, {decoded.data(), 0, 5, 4}));
    const Bytes truncated(out.data(), out.data() + 6);
    EXPECT_FALSE(decompressJPEGData(truncated.data(), truncated.size(), 75, {decoded.data(), 0, 4, 4}));
    const Bytes garbage(100, 0x42);
    EXPECT_FALSE(decompressJPEGData(garbage.data(), garbage.size(), 75, {decoded.data(), 0, 4, 4}));
}

} // namespace
} // namespace vtl
