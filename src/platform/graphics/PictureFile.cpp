#include "platform/graphics/PictureFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <cstring>
#include <filesystem>

namespace vtl {

namespace {

Result<ImageRef> pictureFromImage(QImage image, const std::string& what);

Result<ImageRef> readPicture(QImageReader& reader, const std::string& what) {
    reader.setAutoTransform(true);
    // The header is enough to know the size; the reader's allocation limit turns away what would
    // not fit before any pixel is decoded.
    const QSize size = reader.size();
    if (!reader.canRead()) return fail(what + " is not a picture that can be read.");
    if (size.isValid() && (size.width() <= 0 || size.height() <= 0)) return fail(what + " has no pixels.");
    // Opaque pictures (RGB32 keeps 0xff in the fourth byte) are premultiplied B, G, R, A as they
    // are: within the reader's allocation limit they decode straight into the bitmap, which spares
    // a copy of every pixel. The reader keeps the buffer unless it has to turn the picture.
    const qint64 limitBytes = static_cast<qint64>(QImageReader::allocationLimit()) * 1024 * 1024;
    if (reader.imageFormat() == QImage::Format_RGB32 && size.isValid() &&
        (limitBytes <= 0 || static_cast<qint64>(size.width()) * size.height() * 4 <= limitBytes)) {
        auto bitmap = std::make_shared<Bitmap>(size.width(), size.height());
        if (bitmap->isNull()) return fail(what + " has no pixels.");
        QImage target(bitmap->data(), size.width(), size.height(),
                      static_cast<qsizetype>(bitmap->bytesPerRow()), QImage::Format_RGB32);
        if (!reader.read(&target))
            return fail(what + " could not be decoded (" + reader.errorString().toStdString() + ").");
        if (target.constBits() == bitmap->data() && target.format() == QImage::Format_RGB32) {
            ImageRef result = Image::withBitmap(std::move(bitmap));
            if (!result) return fail(what + " has no pixels.");
            return result;
        }
        return pictureFromImage(std::move(target), what);
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return fail(what + " could not be decoded (" + reader.errorString().toStdString() + ").");
    }
    return pictureFromImage(std::move(image), what);
}

Result<ImageRef> pictureFromImage(QImage image, const std::string& what) {
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
    // Opening a fifo or device would wait for a writer: only plain files are opened.
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!error && !std::filesystem::is_regular_file(status)) return fail(what + " is not a plain file.");
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
