#include "platform/graphics/QtBridge.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <cstring>

namespace vtl::qt {

namespace {
// Components come from stored texts too: NaN would reach an integer conversion inside QColor.
float unitComponent(double v) {
    return v > 0 ? static_cast<float>(std::min(v, 1.0)) : 0.0f;
}
} // namespace

QColor toQColor(const Color& c) {
    return QColor::fromRgbF(unitComponent(c.red), unitComponent(c.green), unitComponent(c.blue),
                            unitComponent(c.alpha));
}

Color fromQColor(const QColor& c) {
    QColor rgb = c.toRgb();
    return Color::rgb(rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF());
}

QFont toQFont(const Font& f) {
    QFont q(QString::fromStdString(f.family()));
    // A point is one unit of user space, as on the original platform at scale 1: undo the
    // screen resolution that Qt applies to point sizes.
    double dpi = 96;
    if (QGuiApplication::instance())
        if (QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInchY();
    // Sizes come from stored texts and fitting searches: keep NaN, infinite and absurd sizes out
    // of the font engine, which converts them to integers.
    double size = f.pointSize() > 0.01 ? std::min(f.pointSize(), 10000.0) : 0.01;
    q.setPointSizeF(size * 72.0 / (dpi > 0 ? dpi : 96));
    q.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight(), 1, 1000)));
    q.setItalic(f.isItalic());
    q.setHintingPreference(QFont::PreferNoHinting);
    q.setKerning(true);
    return q;
}

QTransform toQTransform(const AffineTransform& t) {
    return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

AffineTransform fromQTransform(const QTransform& t) {
    return {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
}

QPainterPath toQPath(const BezierPath& path) {
    QPainterPath q;
    for (const auto& e : path.elements()) {
        const auto& p = e.points;
        switch (e.type) {
        case BezierPath::ElementType::MoveTo:
            q.moveTo(p[0].x, p[0].y);
            break;
        case BezierPath::ElementType::LineTo:
            q.lineTo(p[0].x, p[0].y);
            break;
        case BezierPath::ElementType::CurveTo:
            q.cubicTo(p[0].x, p[0].y, p[1].x, p[1].y, p[2].x, p[2].y);
            break;
        case BezierPath::ElementType::ClosePath:
            q.closeSubpath();
            break;
        }
    }
    return q;
}

BezierPath fromQPath(const QPainterPath& q) {
    BezierPath path;
    Point start;
    for (int i = 0; i < q.elementCount(); ++i) {
        QPainterPath::Element e = q.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            path.moveTo({e.x, e.y});
            start = {e.x, e.y};
            break;
        case QPainterPath::LineToElement:
            path.lineTo({e.x, e.y});
            break;
        case QPainterPath::CurveToElement: {
            QPainterPath::Element c2 = q.elementAt(i + 1), end = q.elementAt(i + 2);
            path.curveTo({end.x, end.y}, {e.x, e.y}, {c2.x, c2.y});
            i += 2;
            break;
        }
        default:
            break;
        }
    }
    (void)start;
    return path;
}

QImage wrap(const Bitmap& bitmap) {
    if (bitmap.isNull()) return QImage();
    return QImage(bitmap.data(), bitmap.width(), bitmap.height(),
                  static_cast<qsizetype>(bitmap.bytesPerRow()),
                  bitmap.hasAlpha() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

std::shared_ptr<Bitmap> toBitmap(const QImage& image) {
    if (image.isNull()) return nullptr;
    bool alpha = image.hasAlphaChannel();
    const QImage::Format wanted = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    auto copyRows = [alpha](const QImage& source) {
        auto out = std::make_shared<Bitmap>(source.width(), source.height(),
                                            alpha ? Bitmap::AlphaInfo::PremultipliedFirst
                                                  : Bitmap::AlphaInfo::NoneSkipFirst);
        for (int y = 0; y < source.height(); ++y)
            std::memcpy(out->data() + y * out->bytesPerRow(), source.constScanLine(y), out->bytesPerRow());
        return out;
    };
    // An image already in the wanted format is read where it is: any QImage copy of a context's
    // image, which is still being painted, would copy every pixel once more.
    if (image.format() == wanted) return copyRows(image);
    return copyRows(image.convertToFormat(wanted));
}

} // namespace vtl::qt
