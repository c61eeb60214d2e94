#include "platform/graphics/PictureFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <cstring>

namespace vtl {

namespace {

Result<ImageRef> readPicture(QImageReader& reader, const std::string& what) {
    reader.setAutoTransform(true);
    // The header is enough to know the size; the reader's allocation limit turns away what would
    // not fit before any pixel is decoded.
    const QSize size = reader.size();
    if (!reader.canRead()) return fail(what + " is not a picture that can be read.");
    if (size.isValid() && (size.width() <= 0 || size.height() <= 0)) return fail(what + " has no pixels.");
    QImage image = reader.read();
    if (image.isNull()) {
        return fail(what + " could not be decoded (" + reader.errorString().toStdString() + ").");
    }
    // Opaque pictures (RGB32 keeps 0xff in the fourth byte) are already premultiplied B, G, R, A:
    // taking them as such spares the imaging layer an opaque copy of every pixel.
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return fail(what + " could not be converted.");
    auto bitmap = std::make_shared<Bitmap>(image.width(), image.height());
    if (bitmap->isNull()) return fail(what + " has no pixels.");
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap->data() + static_cast<size_t>(y) * bitmap->bytesPerRow(), image.constScanLine(y),
                    bitmap->bytesPerRow());
    ImageRef result = Image::withBitmap(std::move(bitmap));
    if (!result) return fail(what + " has no pixels.");
    return result;
}

} // namespace

Result<ImageRef> imageWithContentsOfFile(const std::string& path) {
    const std::string what = "The picture file \"" + path + "\"";
    if (path.empty()) return fail("No picture file was named.");
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return fail(what + " cannot be opened.");
    QImageReader reader(&file);
    // Formats are told by their content, so a picture with the wrong extension still opens.
    reader.setDecideFormatFromContent(true);
    return readPicture(reader, what);
}

Result<ImageRef> imageWithData(const std::uint8_t* bytes, std::size_t length) {
    if (!bytes || length == 0) return fail("The picture data is empty.");
    QByteArray data =
        QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readPicture(reader, "The picture data");
}

} // namespace vtl
