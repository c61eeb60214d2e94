// TIFF pictures written and read back, the seed files of other layouts, and data that is not a
// picture.

#include "platform/graphics/tiff/TiffCodec.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vtl {
namespace {

TiffImage picture(int width, int height) {
    TiffImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        std::uint8_t alpha = static_cast<std::uint8_t>(i * 37);
        // Premultiplied: no component above alpha.
        image.rgba.insert(image.rgba.end(),
                          {static_cast<std::uint8_t>(alpha / 2), static_cast<std::uint8_t>(alpha / 3),
                           static_cast<std::uint8_t>(alpha), alpha});
    }
    return image;
}

TEST(TiffCodec, PicturesComeBackExactly) {
    for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {32, 32}, {17, 64}}) {
        TiffImage image = picture(w, h);
        Result<std::vector<std::uint8_t>> bytes = encodeTiff(image);
        ASSERT_TRUE(bytes) << bytes.error();
        EXPECT_EQ(std::string(bytes->begin(), bytes->begin() + 4), std::string("II*\0", 4));
        Result<TiffImage> back = decodeTiff(*bytes);
        ASSERT_TRUE(back) << back.error();
        EXPECT_EQ(*back, image) << w << " x " << h;
    }
}

TEST(TiffCodec, OtherLayoutsReadAsPremultipliedRgba) {
    const std::filesystem::path seeds =
        std::filesystem::path(VISTREL_SOURCE_DIR) / "tests/fuzz/corpus/tiff_fuzzer";
    struct Case {
        const char* file;
        TiffImage expected;
    };
    const Case cases[] = {
        {"rgb-3x1", {3, 1, {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}}},
        {"rgba-2x2", {2, 2, {255, 0, 0, 255, 0, 128, 0, 128, 0, 0, 0, 0, 10, 20, 30, 255}}},
    };
    for (const Case& c : cases) {
        std::ifstream in(seeds / c.file, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
        Result<TiffImage> image = decodeTiff(bytes);
        ASSERT_TRUE(image) << c.file << ": " << image.error();
        EXPECT_EQ(*image, c.expected) << c.file;
    }
}

TEST(TiffCodec, RefusesWhatIsNotAPictureAndPicturesItCannotStore) {
    const std::vector<std::vector<std::uint8_t>> junk = {
        {}, {'I', 'I', '*', 0}, {'M', 'M', 0, '*', 0, 0, 0, 8, 0, 0}, std::vector<std::uint8_t>(100, 0xff)};
    for (const auto& bytes : junk)
        EXPECT_FALSE(decodeTiff(bytes));
    // Cut short: refused, or read at its full size.
    std::vector<std::uint8_t> cut = encodeTiff(picture(2, 2)).value();
    ASSERT_GT(cut.size(), 8u);
    cut.erase(cut.end() - 8, cut.end());
    if (Result<TiffImage> read = decodeTiff(cut)) {
        EXPECT_EQ(read->rgba.size(), 16u);
    }
    EXPECT_FALSE(encodeTiff(TiffImage{0, 1, {}}));
    EXPECT_FALSE(encodeTiff(TiffImage{2, 2, std::vector<std::uint8_t>(3)}));
    EXPECT_FALSE(encodeTiff(TiffImage{kMaximumTiffSidePixels + 1, 1, {}}));
}

} // namespace
} // namespace vtl
