#include "platform/graphics/PictureFile.h"

#include "platform/graphics/QtBridge.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

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
    std::shared_ptr<Bitmap> bitmap = qt::toBitmap(image);
    if (!bitmap || bitmap->isNull()) return fail(what + " could not be converted.");
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
