#pragma once
// An immutable-by-convention pixel image: 8-bit B, G, R, A bytes per pixel, alpha premultiplied
// (or an ignored fourth byte when the bitmap has no alpha). Stands for the original's bitmap
// image type. Shared through std::shared_ptr<const Bitmap>; the holder owns it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

struct BitmapResult;

class Bitmap {
public:
    // How the fourth byte of each pixel is to be read.
    enum class AlphaInfo { PremultipliedFirst, NoneSkipFirst };

    Bitmap() = default;
    // A transparent (or black, without alpha) bitmap; rows are width·4 bytes.
    Bitmap(int width, int height, AlphaInfo alphaInfo = AlphaInfo::PremultipliedFirst);

    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytesPerRow() const { return bytesPerRow_; }
    AlphaInfo alphaInfo() const { return alphaInfo_; }
    bool hasAlpha() const { return alphaInfo_ == AlphaInfo::PremultipliedFirst; }
    bool isNull() const { return width_ <= 0 || height_ <= 0; }

    uint8_t* data() { return pixels_.data(); }
    const uint8_t* data() const { return pixels_.data(); }
    size_t byteCount() const { return pixels_.size(); }

    // Pixel (x, y) with y counted from the top row, as stored. Premultiplied components.
    struct Pixel {
        uint8_t b = 0, g = 0, r = 0, a = 0;
        friend bool operator==(const Pixel&, const Pixel&) = default;
    };
    Pixel pixelAt(int x, int y) const;
    void setPixel(int x, int y, Pixel p);

    // Encoded forms. dpi is written into the file's resolution fields.
    std::vector<uint8_t> pngData(int dpi = 72) const;
    std::vector<uint8_t> jpegData(float quality = 0.9f, int dpi = 72) const;

    // Decoding any format the image reader knows (PNG, JPEG, BMP, ...). Null for data that is not an image.
    static std::shared_ptr<Bitmap> fromData(const uint8_t* bytes, size_t length);
    static std::shared_ptr<Bitmap> fromData(const std::vector<uint8_t>& data) {
        return fromData(data.data(), data.size());
    }
    // Decoding as one named format only ("PNG", "JPG").
    static std::shared_ptr<Bitmap> fromDataWithFormat(const std::vector<uint8_t>& data, const char* format);
    // The orientation value (1..8) stored in the data's photo metadata; 1 when there is none.
    static int orientationFromData(const std::vector<uint8_t>& data);

private:
    int width_ = 0;
    int height_ = 0;
    size_t bytesPerRow_ = 0;
    AlphaInfo alphaInfo_ = AlphaInfo::PremultipliedFirst;
    std::vector<uint8_t> pixels_;
};

using BitmapRef = std::shared_ptr<const Bitmap>;

// A length as a whole number of pixels: truncated, 0 for a negative length or NaN, at most
// INT_MAX. Sizes worked out in user space (from documents, scaling factors) go through it
// before they become bitmap dimensions; a context of an impossible size then simply fails.
int pixelCount(double length);

} // namespace vtl
