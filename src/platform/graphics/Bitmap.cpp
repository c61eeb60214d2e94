#include "platform/graphics/Bitmap.h"

#include "platform/graphics/QtBridge.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <cstring>
#include <limits>

namespace vtl {

Bitmap::Bitmap(int width, int height, AlphaInfo alphaInfo)
    : width_(std::max(0, width))
    , height_(std::max(0, height))
    , bytesPerRow_(static_cast<size_t>(width_) * 4)
    , alphaInfo_(alphaInfo)
    , pixels_(bytesPerRow_ * static_cast<size_t>(height_), 0) {
    if (alphaInfo == AlphaInfo::NoneSkipFirst)
        for (size_t i = 3; i < pixels_.size(); i += 4)
            pixels_[i] = 255;
}

int pixelCount(double length) {
    if (!(length > 0)) return 0;
    if (length >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(length);
}

Bitmap::Pixel Bitmap::pixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    const uint8_t* p = pixels_.data() + static_cast<size_t>(y) * bytesPerRow_ + static_cast<size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

void Bitmap::setPixel(int x, int y, Pixel px) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t* p = pixels_.data() + static_cast<size_t>(y) * bytesPerRow_ + static_cast<size_t>(x) * 4;
    p[0] = px.b, p[1] = px.g, p[2] = px.r, p[3] = px.a;
}

namespace {

std::vector<uint8_t> encode(const Bitmap& bitmap, const char* format, int quality, int dpi) {
    if (bitmap.isNull()) return {};
    QImage image = qt::wrap(bitmap);
    int dotsPerMeter = static_cast<int>(dpi / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0) writer.setQuality(quality);
    if (!writer.write(image)) return {};
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::shared_ptr<Bitmap> decode(const uint8_t* bytes, size_t length, const char* format) {
    if (!bytes || length == 0) return nullptr;
    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    return qt::toBitmap(image);
}

} // namespace

std::vector<uint8_t> Bitmap::pngData(int dpi) const {
    return encode(*this, "PNG", -1, dpi);
}

std::vector<uint8_t> Bitmap::jpegData(float quality, int dpi) const {
    return encode(*this, "JPEG", static_cast<int>(std::clamp(quality, 0.0f, 1.0f) * 100.0f + 0.5f), dpi);
}

std::shared_ptr<Bitmap> Bitmap::fromData(const uint8_t* bytes, size_t length) {
    return decode(bytes, length, nullptr);
}

std::shared_ptr<Bitmap> Bitmap::fromDataWithFormat(const std::vector<uint8_t>& data, const char* format) {
    return decode(data.data(), data.size(), format);
}

int Bitmap::orientationFromData(const std::vector<uint8_t>& data) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()),
                                               static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    switch (reader.transformation()) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}

} // namespace vtl
