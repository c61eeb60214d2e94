#pragma once
// Conversions between the graphics layer's values and Qt's. Only .cpp files of the graphics layer
// and the window layer include this (it pulls in Qt Gui).

#include "platform/foundation/AffineTransform.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QTransform>

namespace vtl::qt {

QColor toQColor(const Color& c);
Color fromQColor(const QColor& c);
QFont toQFont(const Font& f);
QTransform toQTransform(const AffineTransform& t);
AffineTransform fromQTransform(const QTransform& t);
QPainterPath toQPath(const BezierPath& path);
BezierPath fromQPath(const QPainterPath& path);
// A QImage sharing the bitmap's pixels (valid while the bitmap lives).
QImage wrap(const Bitmap& bitmap);
// A bitmap with a copy of the image's pixels (converted to premultiplied B, G, R, A).
std::shared_ptr<Bitmap> toBitmap(const QImage& image);

} // namespace vtl::qt
