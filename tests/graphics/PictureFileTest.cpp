#include "platform/graphics/PictureFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vtl {
namespace {

uint32_t pictureCrc32(const uint8_t* bytes, size_t length) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<uint8_t> encodedPicture(const char* format, int width = 12, int height = 7) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(200, 40, 10));
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor(0, 0, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// A valid PNG whose header claims a picture far beyond what the reader may allocate.
std::vector<uint8_t> pngClaimingSize(uint32_t width, uint32_t height) {
    std::vector<uint8_t> png = encodedPicture("PNG");
    // Signature (8), IHDR length (4), "IHDR" (4), then width and height big-endian.
    auto put = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
    };
    put(16, width);
    put(20, height);
    put(29, pictureCrc32(png.data() + 12, 17));
    return png;
}

std::string writeFile(const QTemporaryDir& dir, const char* name, const std::vector<uint8_t>& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    return path.toStdString();
}

TEST(PictureFile, EveryShippedFormatLoadsAtItsPixelSize) {
    QTemporaryDir dir;
    // The file's name says nothing: the content decides.
    for (const char* format : {"PNG", "JPEG", "TIFF", "WEBP", "BMP"}) {
        const std::string path =
            writeFile(dir, (std::string("picture-") + format + ".dat").c_str(), encodedPicture(format));
        Result<ImageRef> image = imageWithContentsOfFile(path);
        ASSERT_TRUE(image.ok()) << format << ": " << image.error();
        ASSERT_EQ((*image)->representations().size(), 1u) << format;
        EXPECT_EQ((*image)->size(), Size(12, 7)) << format;
        EXPECT_EQ((*image)->representations()[0].pixelsWide(), 12) << format;
        const Bitmap::Pixel corner = (*image)->representations()[0].bitmap->pixelAt(6, 0);
        EXPECT_GT(corner.b, 200) << format << ": the top row stays on top";
    }
}

TEST(PictureFile, BadFilesFailWithASentence) {
    QTemporaryDir dir;
    std::vector<uint8_t> truncated = encodedPicture("PNG", 64, 64);
    truncated.resize(truncated.size() / 2);
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"missing", dir.filePath("none.png").toStdString()},
        {"empty name", ""},
        {"folder", dir.path().toStdString()},
        {"text", writeFile(dir, "text.png", {'h', 'e', 'l', 'l', 'o'})},
        {"empty", writeFile(dir, "empty.png", {})},
        {"truncated", writeFile(dir, "truncated.png", truncated)},
        {"oversized", writeFile(dir, "huge.png", pngClaimingSize(60000, 60000))},
        {"zero-sized", writeFile(dir, "zero.png", pngClaimingSize(0, 10))},
    };
    for (const auto& c : cases) {
        Result<ImageRef> image = imageWithContentsOfFile(c.path);
        EXPECT_FALSE(image.ok()) << c.name;
        EXPECT_FALSE(image.error().empty()) << c.name;
    }
}

TEST(PictureFile, DataLoadsLikeAFile) {
    const std::vector<uint8_t> png = encodedPicture("PNG", 3, 5);
    Result<ImageRef> image = imageWithData(png.data(), png.size());
    ASSERT_TRUE(image.ok()) << image.error();
    EXPECT_EQ((*image)->size(), Size(3, 5));
    EXPECT_FALSE(imageWithData(nullptr, 0).ok());
    const std::vector<uint8_t> huge = pngClaimingSize(50000, 50000);
    EXPECT_FALSE(imageWithData(huge.data(), huge.size()).ok());
}

} // namespace
} // namespace vtl
