#include "platform/jpeg/JpegDecompression.h"

#include "TestPackage.h"

#include <csetjmp>
#include <gtest/gtest.h>
#include <jpeglib.h>

namespace vtl {
namespace {

using test::Picture;

// Reference: the library's own decode of a stream that carries its tables.
std::vector<std::uint8_t> decodeWithTables(const std::vector<std::uint8_t>& stream, std::size_t w,
                                           std::size_t h) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, stream.data(), stream.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    std::vector<std::uint8_t> out(w * h * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.data() + cinfo.output_scanline * w * 4;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

TEST(JPEGDecompression, TablelessStreamsDecodeExactlyAsWithTheirTables) {
    const Picture picture = test::smoothPicture(48, 40, 3);
    for (int quality : {1, 10, 49, 50, 70, 100}) {
        SCOPED_TRACE(quality);
        const auto stream = test::encodeTablelessJPEG(picture, 0, 0, 48, 40, quality);
        std::vector<std::uint8_t> out(48 * 40 * 4, 0);
        Status decoded = decompressJPEGData(stream.data(), stream.size(), quality, {out.data(), 0, 48, 40});
        ASSERT_TRUE(decoded) << decoded.error();
        EXPECT_EQ(out, decodeWithTables(test::encodeFullJPEG(picture, 0, 0, 48, 40, quality), 48, 40));
        for (std::size_t i = 3; i < out.size(); i += 4)
            ASSERT_EQ(out[i], 255);
    }
}

TEST(JPEGDecompression, QualitiesOutsideTheLibraryRangeScaleAsTheLibraryDoes) {
    // A stored quality above 100 (the uncapped value the recorder may store) decodes like 100.
    const Picture picture = test::smoothPicture(16, 16, 1);
    const auto stream = test::encodeTablelessJPEG(picture, 0, 0, 16, 16, 100);
    std::vector<std::uint8_t> a(16 * 16 * 4), b(16 * 16 * 4);
    ASSERT_TRUE(decompressJPEGData(stream.data(), stream.size(), 100, {a.data(), 0, 16, 16}));
    ASSERT_TRUE(decompressJPEGData(stream.data(), stream.size(), 115, {b.data(), 0, 16, 16}));
    EXPECT_EQ(a, b);
    EXPECT_EQ(jpegQualityScaling(0), 5000);
    EXPECT_EQ(jpegQualityScaling(25), 200);
    EXPECT_EQ(jpegQualityScaling(50), 100);
    EXPECT_EQ(jpegQualityScaling(90), 20);
    EXPECT_EQ(jpegQualityScaling(255), 0);
}

TEST(JPEGDecompression, RectangleRowsLandOnTheirFrameRowsAndLeaveTheRestAlone) {
    // A 20-pixel rectangle at x = 10 in a frame 100 pixels wide: 80 bytes per row at byte 40,
    // then 320 bytes skipped.
    const Picture picture = test::smoothPicture(20, 8, 2);
    const auto stream = test::encodeTablelessJPEG(picture, 0, 0, 20, 8, 90);
    std::vector<std::uint8_t> frame(100 * 10 * 4, 7);
    ASSERT_TRUE(decompressJPEGData(stream.data(), stream.size(), 90, {frame.data() + 40, 320, 20, 8}));
    for (std::size_t y = 0; y < 10; ++y)
        for (std::size_t x = 0; x < 100; ++x) {
            const bool inside = y < 8 && x >= 10 && x < 30;
            if (!inside) {
                ASSERT_EQ(frame[(y * 100 + x) * 4], 7) << x << "," << y;
            }
        }
    EXPECT_LT(test::compareBGR(frame.data() + 40, picture.bgra.data(), 1, 1).maximum, 12);
}

TEST(JPEGDecompression, DamagedStreamsFailWithAMessageAndStayInBounds) {
    const Picture picture = test::smoothPicture(32, 16, 4);
    const auto good = test::encodeTablelessJPEG(picture, 0, 0, 32, 16, 80);
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::size_t w, h;
    };
    std::vector<std::uint8_t> garbage(200);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::vector<Case> cases = {
        {"not a JPEG", garbage, 32, 16},
        {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 20), 32, 16},
        {"cut in the data", std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2), 32, 16},
        {"wrong width", good, 16, 16},
        {"wrong height", good, 32, 32},
        {"wrong components", test::encodeTablelessGreyJPEG(picture, 0, 0, 32, 16, 80), 32, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A guard row after the destination catches any write past it.
        std::vector<std::uint8_t> out(c.w * c.h * 4 + 64, 0xEE);
        Status decoded = decompressJPEGData(c.bytes.data(), c.bytes.size(), 80, {out.data(), 0, c.w, c.h});
        EXPECT_FALSE(decoded);
        EXPECT_FALSE(decoded.error().empty());
        for (std::size_t i = c.w * c.h * 4; i < out.size(); ++i)
            ASSERT_EQ(out[i], 0xEE);
    }
    EXPECT_FALSE(decompressJPEGData(nullptr, 0, 80, {garbage.data(), 0, 1, 1}));
}

} // namespace
} // namespace vtl
