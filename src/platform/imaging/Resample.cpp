#include "platform/imaging/Resample.h"

#include <QImage>
#include <QPainter>
#include <QTransform>

namespace vtl::detail {

namespace {

// A QImage over a view, and the map from image space to the QImage's coordinates (y down).
QTransform imageSpaceToQImage(std::ptrdiff_t stride, const PixelRegion& region) {
    if (stride >= 0) return QTransform(1, 0, 0, 1, -region.x, -region.y);
    return QTransform(1, 0, 0, -1, -region.x, region.y + region.height);
}

template <class Byte> Byte* topOfMemory(BasicPixelSpan<Byte> span) {
    return span.stride >= 0 ? span.origin : span.row(span.height - 1);
}

qsizetype bytesPerLine(std::ptrdiff_t stride) {
    return qsizetype(stride >= 0 ? stride : -stride);
}

} // namespace

void drawTransformed(ConstPixelSpan source, const PixelRegion& sourceRegion, const AffineTransform& t,
                     PixelSpan destination, const PixelRegion& destinationRegion, bool over) {
    if (sourceRegion.isEmpty() || destinationRegion.isEmpty()) return;
    const QImage from(topOfMemory(source), source.width, source.height, bytesPerLine(source.stride),
                      QImage::Format_ARGB32_Premultiplied);
    QImage into(topOfMemory(destination), destination.width, destination.height,
                bytesPerLine(destination.stride), QImage::Format_ARGB32_Premultiplied);
    QTransform world = imageSpaceToQImage(source.stride, sourceRegion).inverted() *
                       QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty) *
                       imageSpaceToQImage(destination.stride, destinationRegion);
    QPainter painter(&into);
    if (!over) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(into.rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(world);
    painter.drawImage(QPointF(0, 0), from);
}

} // namespace vtl::detail
