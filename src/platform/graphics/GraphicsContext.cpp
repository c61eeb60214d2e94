#include "platform/graphics/GraphicsContext.h"

#include "platform/graphics/Blur.h"
#include "platform/graphics/Image.h"
#include "platform/graphics/QtBridge.h"
#include "platform/graphics/ScratchPixels.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

// Draws an image at a device point. The raster engine hands the blend of an image taller than
// about 96 rows to its thread pool; for a picture this small the wake-ups cost more than the
// blend, so such pictures go in bands of rows it blends at once. Without a transform the engine
// places an image at the rounded point, so bands at the rounded point give the same pixels.
void drawImageInBands(QPainter& painter, QPointF at, const QImage& image) {
    constexpr int kBandRows = 64;
    constexpr qint64 kLargestBandedPixels = 1 << 20;
    if (!painter.transform().isIdentity() || image.height() <= kBandRows ||
        qint64(image.width()) * image.height() > kLargestBandedPixels) {
        painter.drawImage(at, image);
        return;
    }
    const int x = qRound(at.x()), y = qRound(at.y());
    for (int top = 0; top < image.height(); top += kBandRows) {
        const QImage band(image.constBits() + qsizetype(top) * image.bytesPerLine(), image.width(),
                          std::min(kBandRows, image.height() - top), image.bytesPerLine(), image.format());
        painter.drawImage(QPointF(x, y + top), band);
    }
}

struct GState {
    AffineTransform ctm;
    Color fill = Color::black();
    Color stroke = Color::black();
    double alpha = 1;
    BlendMode blend = BlendMode::SourceOver;
    double lineWidth = 1;
    LineCap cap = LineCap::Butt;
    LineJoin join = LineJoin::Miter;
    double miterLimit = 10;
    double dashPhase = 0;
    std::vector<double> dashes;
    Shadow shadow;
    bool hasClip = false;
    QPainterPath clip;            // Qt device coordinates
    std::shared_ptr<QImage> mask; // device-sized coverage
    bool antialias = true;
    Font font{"", 12};
    Point textPosition;
};

QPainter::CompositionMode toQMode(BlendMode m) {
    switch (m) {
    case BlendMode::SourceOver:
        return QPainter::CompositionMode_SourceOver;
    case BlendMode::Copy:
        return QPainter::CompositionMode_Source;
    case BlendMode::Clear:
        return QPainter::CompositionMode_Clear;
    case BlendMode::SourceIn:
        return QPainter::CompositionMode_SourceIn;
    case BlendMode::SourceOut:
        return QPainter::CompositionMode_SourceOut;
    case BlendMode::SourceAtop:
        return QPainter::CompositionMode_SourceAtop;
    case BlendMode::DestinationOver:
        return QPainter::CompositionMode_DestinationOver;
    case BlendMode::DestinationIn:
        return QPainter::CompositionMode_DestinationIn;
    case BlendMode::DestinationOut:
        return QPainter::CompositionMode_DestinationOut;
    case BlendMode::DestinationAtop:
        return QPainter::CompositionMode_DestinationAtop;
    case BlendMode::Xor:
        return QPainter::CompositionMode_Xor;
    case BlendMode::PlusLighter:
        return QPainter::CompositionMode_Plus;
    case BlendMode::Multiply:
        return QPainter::CompositionMode_Multiply;
    case BlendMode::Screen:
        return QPainter::CompositionMode_Screen;
    case BlendMode::Overlay:
        return QPainter::CompositionMode_Overlay;
    case BlendMode::Darken:
        return QPainter::CompositionMode_Darken;
    case BlendMode::Lighten:
        return QPainter::CompositionMode_Lighten;
    case BlendMode::ColorDodge:
        return QPainter::CompositionMode_ColorDodge;
    case BlendMode::ColorBurn:
        return QPainter::CompositionMode_ColorBurn;
    case BlendMode::HardLight:
        return QPainter::CompositionMode_HardLight;
    case BlendMode::SoftLight:
        return QPainter::CompositionMode_SoftLight;
    case BlendMode::Difference:
        return QPainter::CompositionMode_Difference;
    case BlendMode::Exclusion:
        return QPainter::CompositionMode_Exclusion;
    case BlendMode::Color:
        return QPainter::CompositionMode_SourceOver;
    }
    return QPainter::CompositionMode_SourceOver;
}

double lum(double r, double g, double b) {
    return 0.3 * r + 0.59 * g + 0.11 * b;
}

void setLum(double& r, double& g, double& b, double l) {
    double d = l - lum(r, g, b);
    r += d, g += d, b += d;
    double L = lum(r, g, b);
    double n = std::min({r, g, b}), x = std::max({r, g, b});
    if (n < 0) {
        r = L + (r - L) * L / (L - n), g = L + (g - L) * L / (L - n), b = L + (b - L) * L / (L - n);
    }
    if (x > 1) {
        r = L + (r - L) * (1 - L) / (x - L), g = L + (g - L) * (1 - L) / (x - L),
        b = L + (b - L) * (1 - L) / (x - L);
    }
}

// The non-separable colour blend of `source` (premultiplied) over `dest`, at an opacity.
void colorBlend(QImage& dest, const QImage& source, double opacity) {
    for (int y = 0; y < dest.height(); ++y) {
        auto* d = reinterpret_cast<QRgb*>(dest.scanLine(y));
        auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < dest.width(); ++x) {
            double as = qAlpha(s[x]) / 255.0 * opacity;
            if (as <= 0) continue;
            double ab = qAlpha(d[x]) / 255.0;
            double sa = qAlpha(s[x]) / 255.0;
            double sr = qRed(s[x]) / 255.0 / sa, sg = qGreen(s[x]) / 255.0 / sa,
                   sb = qBlue(s[x]) / 255.0 / sa;
            double br = 0, bg = 0, bb = 0;
            if (ab > 0)
                br = qRed(d[x]) / 255.0 / ab, bg = qGreen(d[x]) / 255.0 / ab, bb = qBlue(d[x]) / 255.0 / ab;
            double mr = sr, mg = sg, mb = sb;
            setLum(mr, mg, mb, lum(br, bg, bb));
            double ao = as + ab - as * ab;
            auto comp = [&](double cs, double cb, double m) {
                return cs * as * (1 - ab) + cb * ab * (1 - as) + as * ab * m;
            };
            auto byte = [](double v) {
                return static_cast<int>(std::clamp(std::lround(v * 255.0), 0L, 255L));
            };
            d[x] = qRgba(byte(comp(sr, br, mr)), byte(comp(sg, bg, mg)), byte(comp(sb, bb, mb)), byte(ao));
        }
    }
}

thread_local std::shared_ptr<GraphicsContext> tCurrent;
thread_local std::vector<std::shared_ptr<GraphicsContext>> tSaved;

} // namespace

struct GraphicsContext::Impl {
    QImage image;
    std::unique_ptr<QPainter> ownPainter;
    QPainter* painter = nullptr;
    int w = 0, h = 0;
    bool hasAlpha = true;
    bool flipped = false;
    bool screen = true;
    GState st;
    std::vector<GState> stack;
    QPainterPath path; // Qt device coordinates

    QTransform base() const { return QTransform(1, 0, 0, -1, 0, h); }
    QTransform userToQt() const { return qt::toQTransform(st.ctm) * base(); }
    QPointF dev(Point p) const { return userToQt().map(QPointF(p.x, p.y)); }

    QBrush brushFor(const Color& c) const {
        if (c.space == Color::Space::Pattern && c.pattern) {
            if (auto bmp = c.pattern->bestBitmapForPixelSize(c.pattern->size())) {
                QBrush brush(qt::wrap(*bmp).copy());
                brush.setTransform(userToQt());
                return brush;
            }
        }
        return QBrush(qt::toQColor(c));
    }

    QPen pen() const {
        QPen p(brushFor(st.stroke), st.lineWidth);
        p.setCapStyle(st.cap == LineCap::Butt    ? Qt::FlatCap
                      : st.cap == LineCap::Round ? Qt::RoundCap
                                                 : Qt::SquareCap);
        p.setJoinStyle(st.join == LineJoin::Miter   ? Qt::MiterJoin
                       : st.join == LineJoin::Round ? Qt::RoundJoin
                                                    : Qt::BevelJoin);
        p.setMiterLimit(st.miterLimit);
        if (!st.dashes.empty()) {
            double unit = st.lineWidth > 0 ? st.lineWidth : 1;
            QList<qreal> pattern;
            for (double l : st.dashes)
                pattern.append(std::max(l, 1e-6) / unit);
            if (pattern.size() % 2) pattern.append(pattern);
            p.setDashPattern(pattern);
            p.setDashOffset(st.dashPhase / unit);
        }
        return p;
    }

    void setUp(QPainter& p) const {
        p.setTransform(QTransform());
        if (st.hasClip)
            p.setClipPath(st.clip);
        else
            p.setClipping(false);
        p.setRenderHint(QPainter::Antialiasing, st.antialias);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setOpacity(1);
    }

    bool hasShadow() const { return st.shadow.color && st.shadow.color->alpha > 0; }

    // Draws with the state's clip, alpha, blend mode, mask and shadow. `paint` sets its own transform.
    void render(const std::function<void(QPainter&)>& paint, BlendMode mode, double opacity) {
        if (!painter) return;
        bool layered = hasShadow() || st.mask || mode == BlendMode::Color;
        if (!layered) {
            painter->save();
            setUp(*painter);
            painter->setCompositionMode(toQMode(mode));
            painter->setOpacity(std::clamp(opacity, 0.0, 1.0));
            paint(*painter);
            painter->restore();
            return;
        }
        const ScratchPixels layerPixels(std::size_t(w) * h * 4);
        if (!layerPixels.data()) return;
        QImage layer(layerPixels.data(), w, h, qsizetype(w) * 4, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            QPainter lp(&layer);
            setUp(lp);
            paint(lp);
            if (st.mask) {
                lp.setTransform(QTransform());
                lp.setClipping(false);
                lp.setOpacity(1);
                lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
                lp.drawImage(0, 0, *st.mask);
            }
        }
        painter->save();
        setUp(*painter);
        if (hasShadow()) {
            // The colour premultiplied as the raster engine's solid fills take it.
            const std::uint32_t shade = qPremultiply(qt::toQColor(*st.shadow.color).rgba64()).toArgb32();
            // Without memory for it the drawing goes without its shadow.
            const ScratchPixels shadowPixels(std::size_t(w) * h * 4);
            if (shadowPixels.data()) {
                QImage shadow(shadowPixels.data(), w, h, qsizetype(w) * 4,
                              QImage::Format_ARGB32_Premultiplied);
                tintedGaussianBlur(layer.constBits(), static_cast<size_t>(layer.bytesPerLine()),
                                   shadow.bits(), static_cast<size_t>(shadow.bytesPerLine()), w, h,
                                   st.shadow.blurRadius * 0.5, shade);
                painter->setOpacity(std::clamp(opacity, 0.0, 1.0));
                drawImageInBands(*painter, QPointF(st.shadow.offset.width, -st.shadow.offset.height), shadow);
            }
        }
        if (mode == BlendMode::Color && painter == ownPainter.get()) {
            painter->restore();
            painter->end();
            QImage clipped = layer;
            if (st.hasClip) {
                QImage inside(w, h, QImage::Format_ARGB32_Premultiplied);
                inside.fill(Qt::transparent);
                QPainter cp(&inside);
                cp.setClipPath(st.clip);
                cp.drawImage(0, 0, layer);
                cp.end();
                clipped = inside;
            }
            colorBlend(image, clipped, opacity);
            painter->begin(&image);
            return;
        }
        painter->setCompositionMode(toQMode(mode));
        painter->setOpacity(std::clamp(opacity, 0.0, 1.0));
        drawImageInBands(*painter, QPointF(0, 0), layer);
        painter->restore();
    }

    void render(const std::function<void(QPainter&)>& paint) { render(paint, st.blend, st.alpha); }

    void fillDevicePath(QPainterPath devicePath, FillRule rule) {
        devicePath.setFillRule(rule == FillRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
        QBrush brush = brushFor(st.fill);
        render([&](QPainter& p) { p.fillPath(devicePath, brush); });
    }

    void strokeDevicePath(const QPainterPath& devicePath) {
        bool invertible = false;
        QTransform toUser = userToQt().inverted(&invertible);
        if (!invertible) return;
        QPainterPath user = toUser.map(devicePath);
        QPen p = pen();
        QTransform t = userToQt();
        render([&](QPainter& painter) {
            painter.setTransform(t);
            painter.strokePath(user, p);
        });
    }

    void clipDevicePath(QPainterPath devicePath, FillRule rule) {
        devicePath.setFillRule(rule == FillRule::EvenOdd ? Qt::OddEvenFill : Qt::WindingFill);
        if (st.hasClip) {
            QPainterPath current = st.clip;
            st.clip = current.intersected(devicePath);
        } else {
            st.clip = devicePath;
        }
        st.hasClip = true;
    }

    // Everything the user space can reach inside the clip, as a length in user units.
    double userReach() const {
        QRectF bounds = st.hasClip ? st.clip.boundingRect() : QRectF(0, 0, w, h);
        bool ok = false;
        QTransform inv = userToQt().inverted(&ok);
        if (!ok) return 1e6;
        QRectF u = inv.mapRect(bounds);
        return std::hypot(u.width(), u.height()) + std::hypot(u.x(), u.y()) + 10;
    }
};

GraphicsContext::GraphicsContext()
    : d(std::make_unique<Impl>()) {}
GraphicsContext::~GraphicsContext() {
    if (d->ownPainter && d->ownPainter->isActive()) d->ownPainter->end();
}

std::shared_ptr<GraphicsContext> GraphicsContext::createBitmapContext(int width, int height, bool hasAlpha,
                                                                      bool flippedCoordinates) {
    if (width <= 0 || height <= 0) return nullptr;
    // The painter cannot address more than 32767 pixels a side, and sizes come from documents
    // and scaling factors: an absurd one must fail here rather than reserve gigabytes.
    constexpr int kMaxSide = 32767;
    constexpr size_t kMaxBytes = size_t(1) << 30;
    if (width > kMaxSide || height > kMaxSide ||
        static_cast<size_t>(width) * static_cast<size_t>(height) * 4 > kMaxBytes)
        return nullptr;
    std::shared_ptr<GraphicsContext> ctx(new GraphicsContext());
    Impl& d = *ctx->d;
    d.w = width, d.h = height, d.hasAlpha = hasAlpha;
    d.image = QImage(width, height, hasAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (d.image.isNull()) return nullptr;
    d.image.fill(hasAlpha ? Qt::transparent : Qt::black);
    d.ownPainter = std::make_unique<QPainter>(&d.image);
    d.painter = d.ownPainter.get();
    if (flippedCoordinates) {
        d.st.ctm = AffineTransform{1, 0, 0, -1, 0, static_cast<double>(height)};
        d.flipped = true;
    }
    return ctx;
}

std::shared_ptr<GraphicsContext> GraphicsContext::createOverPainter(QPainter* painter, int width, int height,
                                                                    bool flippedCoordinates) {
    if (!painter || width <= 0 || height <= 0) return nullptr;
    std::shared_ptr<GraphicsContext> ctx(new GraphicsContext());
    Impl& d = *ctx->d;
    d.w = width, d.h = height;
    d.painter = painter;
    if (flippedCoordinates) {
        d.st.ctm = AffineTransform{1, 0, 0, -1, 0, static_cast<double>(height)};
        d.flipped = true;
    }
    return ctx;
}

int GraphicsContext::width() const {
    return d->w;
}
int GraphicsContext::height() const {
    return d->h;
}
bool GraphicsContext::hasAlpha() const {
    return d->hasAlpha;
}

BitmapRef GraphicsContext::makeImage() const {
    if (d->image.isNull()) return nullptr;
    return qt::toBitmap(d->image);
}

bool GraphicsContext::isFlipped() const {
    return d->flipped;
}
void GraphicsContext::setFlipped(bool flipped) {
    d->flipped = flipped;
}
bool GraphicsContext::isDrawingToScreen() const {
    return d->screen;
}
void GraphicsContext::setDrawingToScreen(bool screen) {
    d->screen = screen;
}

void GraphicsContext::saveGState() {
    d->stack.push_back(d->st);
}
void GraphicsContext::restoreGState() {
    if (d->stack.empty()) return;
    d->st = std::move(d->stack.back());
    d->stack.pop_back();
}
int GraphicsContext::gStateDepth() const {
    return static_cast<int>(d->stack.size());
}

AffineTransform GraphicsContext::ctm() const {
    return d->st.ctm;
}
void GraphicsContext::concatCTM(const AffineTransform& t) {
    d->st.ctm = t.concatenated(d->st.ctm);
}
void GraphicsContext::translateCTM(double dx, double dy) {
    concatCTM(AffineTransform::translation(dx, dy));
}
void GraphicsContext::scaleCTM(double sx, double sy) {
    concatCTM(AffineTransform::scale(sx, sy));
}
void GraphicsContext::rotateCTM(double radians) {
    concatCTM(AffineTransform::rotationRadians(radians));
}

void GraphicsContext::setFillColor(const Color& c) {
    d->st.fill = c;
}
void GraphicsContext::setStrokeColor(const Color& c) {
    d->st.stroke = c;
}
Color GraphicsContext::fillColor() const {
    return d->st.fill;
}
Color GraphicsContext::strokeColor() const {
    return d->st.stroke;
}
void GraphicsContext::setAlpha(double alpha) {
    d->st.alpha = std::clamp(alpha, 0.0, 1.0);
}
double GraphicsContext::alpha() const {
    return d->st.alpha;
}
void GraphicsContext::setBlendMode(BlendMode mode) {
    d->st.blend = mode;
}
BlendMode GraphicsContext::blendMode() const {
    return d->st.blend;
}
void GraphicsContext::setLineWidth(double w) {
    d->st.lineWidth = w;
}
double GraphicsContext::lineWidth() const {
    return d->st.lineWidth;
}
void GraphicsContext::setLineCap(LineCap cap) {
    d->st.cap = cap;
}
void GraphicsContext::setLineJoin(LineJoin join) {
    d->st.join = join;
}
void GraphicsContext::setMiterLimit(double limit) {
    d->st.miterLimit = limit;
}
void GraphicsContext::setLineDash(double phase, const std::vector<double>& lengths) {
    d->st.dashPhase = phase;
    d->st.dashes = lengths;
}
void GraphicsContext::setShadow(Size offset, double blurRadius, std::optional<Color> color) {
    d->st.shadow = Shadow{offset, std::max(0.0, blurRadius), std::move(color)};
}
void GraphicsContext::setShadow(Size offset, double blurRadius) {
    setShadow(offset, blurRadius, Color::white(0, 1.0 / 3.0));
}
Shadow GraphicsContext::shadow() const {
    return d->st.shadow;
}
void GraphicsContext::setShouldAntialias(bool on) {
    d->st.antialias = on;
}
void GraphicsContext::setFont(const Font& font) {
    d->st.font = font;
}
Font GraphicsContext::font() const {
    return d->st.font;
}
void GraphicsContext::setTextPosition(Point p) {
    d->st.textPosition = p;
}
Point GraphicsContext::textPosition() const {
    return d->st.textPosition;
}

void GraphicsContext::beginPath() {
    d->path = QPainterPath();
}
void GraphicsContext::moveTo(Point p) {
    d->path.moveTo(d->dev(p));
}
void GraphicsContext::addLineTo(Point p) {
    if (d->path.elementCount() == 0)
        d->path.moveTo(d->dev(p));
    else
        d->path.lineTo(d->dev(p));
}
void GraphicsContext::addCurveTo(Point c1, Point c2, Point end) {
    if (d->path.elementCount() == 0) d->path.moveTo(d->dev(c1));
    d->path.cubicTo(d->dev(c1), d->dev(c2), d->dev(end));
}
void GraphicsContext::addQuadCurveTo(Point c, Point end) {
    if (d->path.elementCount() == 0) d->path.moveTo(d->dev(c));
    d->path.quadTo(d->dev(c), d->dev(end));
}
void GraphicsContext::addArc(Point center, double radius, double startRadians, double endRadians,
                             bool clockwise) {
    BezierPath arc;
    if (d->path.elementCount() > 0) {
        bool ok = false;
        QPointF cur = d->userToQt().inverted(&ok).map(d->path.currentPosition());
        arc.moveTo({cur.x(), cur.y()});
    }
    arc.appendArc(center, radius, startRadians * 180.0 / M_PI, endRadians * 180.0 / M_PI, clockwise);
    bool first = d->path.elementCount() > 0;
    for (const auto& e : arc.elements()) {
        if (first) { // the move to the current point
            first = false;
            continue;
        }
        switch (e.type) {
        case BezierPath::ElementType::MoveTo:
            moveTo(e.points[0]);
            break;
        case BezierPath::ElementType::LineTo:
            addLineTo(e.points[0]);
            break;
        case BezierPath::ElementType::CurveTo:
            addCurveTo(e.points[0], e.points[1], e.points[2]);
            break;
        case BezierPath::ElementType::ClosePath:
            closePath();
            break;
        }
    }
}
void GraphicsContext::addRect(const Rect& r) {
    BezierPath p;
    p.appendRect(r);
    addPath(p);
}
void GraphicsContext::addEllipseInRect(const Rect& r) {
    BezierPath p;
    p.appendOvalInRect(r);
    addPath(p);
}
void GraphicsContext::addPath(const BezierPath& path) {
    d->path.addPath(d->userToQt().map(qt::toQPath(path)));
}
void GraphicsContext::closePath() {
    if (d->path.elementCount() > 0) d->path.closeSubpath();
}
bool GraphicsContext::isPathEmpty() const {
    return d->path.elementCount() == 0;
}
BezierPath GraphicsContext::currentPath() const {
    bool ok = false;
    QTransform inv = d->userToQt().inverted(&ok);
    return qt::fromQPath(inv.map(d->path));
}

void GraphicsContext::fillPath(FillRule rule) {
    QPainterPath p = d->path;
    d->path = QPainterPath();
    d->fillDevicePath(p, rule);
}
void GraphicsContext::strokePath() {
    QPainterPath p = d->path;
    d->path = QPainterPath();
    d->strokeDevicePath(p);
}
void GraphicsContext::clip(FillRule rule) {
    QPainterPath p = d->path;
    d->path = QPainterPath();
    d->clipDevicePath(p, rule);
}

void GraphicsContext::fill(const BezierPath& path, FillRule rule) {
    d->fillDevicePath(d->userToQt().map(qt::toQPath(path)), rule);
}
void GraphicsContext::stroke(const BezierPath& path) {
    d->strokeDevicePath(d->userToQt().map(qt::toQPath(path)));
}
void GraphicsContext::clipToPath(const BezierPath& path, FillRule rule) {
    d->clipDevicePath(d->userToQt().map(qt::toQPath(path)), rule);
}
void GraphicsContext::fillRect(const Rect& r) {
    BezierPath p;
    p.appendRect(r);
    fill(p);
}
void GraphicsContext::strokeRect(const Rect& r) {
    BezierPath p;
    p.appendRect(r);
    stroke(p);
}
void GraphicsContext::fillEllipseInRect(const Rect& r) {
    BezierPath p;
    p.appendOvalInRect(r);
    fill(p);
}
void GraphicsContext::clearRect(const Rect& r) {
    if (!d->painter) return;
    QPainterPath p = d->userToQt().map(qt::toQPath([&] {
        BezierPath b;
        b.appendRect(r);
        return b;
    }()));
    d->painter->save();
    d->setUp(*d->painter);
    d->painter->setCompositionMode(QPainter::CompositionMode_Clear);
    d->painter->fillPath(p, Qt::black);
    d->painter->restore();
}
void GraphicsContext::clipToRect(const Rect& r) {
    BezierPath p;
    p.appendRect(r);
    clipToPath(p);
}
void GraphicsContext::clipToMask(const Rect& r, const Bitmap& mask) {
    auto coverage = std::make_shared<QImage>(d->w, d->h, QImage::Format_ARGB32_Premultiplied);
    coverage->fill(Qt::transparent);
    {
        QPainter p(coverage.get());
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QTransform flip(1, 0, 0, -1, 0, r.minY() + r.maxY());
        p.setTransform(flip * d->userToQt());
        QImage m = qt::wrap(mask);
        p.drawImage(QRectF(r.minX(), r.minY(), r.width(), r.height()), m);
        if (d->st.mask) {
            p.resetTransform();
            p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
            p.drawImage(0, 0, *d->st.mask);
        }
    }
    d->st.mask = coverage;
    clipToRect(r);
}
Rect GraphicsContext::clipBoundingBox() const {
    QRectF bounds = d->st.hasClip ? d->st.clip.boundingRect() : QRectF(0, 0, d->w, d->h);
    bool ok = false;
    QRectF u = d->userToQt().inverted(&ok).mapRect(bounds);
    return {u.x(), u.y(), u.width(), u.height()};
}

namespace {

QGradientStops stopsFor(const Gradient& g) {
    std::vector<std::pair<double, QColor>> stops;
    // Locations can come from documents: a NaN one counts as 0, since sorting NaN is undefined.
    for (size_t i = 0; i < g.colors.size(); ++i) {
        double location = g.locationAt(i);
        stops.emplace_back(location > 0 ? std::min(location, 1.0) : 0.0, qt::toQColor(g.colors[i]));
    }
    std::stable_sort(stops.begin(), stops.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Stops that share a location keep their order: the earlier ones move just below it, since the
    // painter keeps only one stop per location.
    for (size_t i = stops.size(); i-- > 1;)
        if (stops[i - 1].first >= stops[i].first) stops[i - 1].first = std::max(0.0, stops[i].first - 1e-6);
    QGradientStops out;
    if (!stops.empty() && stops.front().first > 0) out.append(QGradientStop(0.0, stops.front().second));
    for (auto& s : stops)
        out.append(QGradientStop(s.first, s.second));
    return out;
}

// The area swept by the circles between two circles: their convex hull.
QPainterPath circleHull(QPointF c0, double r0, QPointF c1, double r1) {
    QPainterPath hull;
    hull.addEllipse(c0, r0, r0);
    QPainterPath second;
    second.addEllipse(c1, r1, r1);
    hull = hull.united(second);
    double dx = c1.x() - c0.x(), dy = c1.y() - c0.y();
    double dist = std::hypot(dx, dy);
    if (dist <= std::abs(r1 - r0) || dist == 0) return hull;
    double ux = dx / dist, uy = dy / dist;
    double cosT = (r0 - r1) / dist, sinT = std::sqrt(std::max(0.0, 1 - cosT * cosT));
    QPointF n1(ux * cosT - uy * sinT, uy * cosT + ux * sinT);
    QPointF n2(ux * cosT + uy * sinT, uy * cosT - ux * sinT);
    QPolygonF quad;
    quad << c0 + n1 * r0 << c1 + n1 * r1 << c1 + n2 * r1 << c0 + n2 * r0;
    QPainterPath q;
    q.addPolygon(quad);
    q.closeSubpath();
    return hull.united(q);
}

} // namespace

void GraphicsContext::drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options) {
    if (g.colors.empty()) return;
    double dx = end.x - start.x, dy = end.y - start.y;
    double len = std::hypot(dx, dy);
    if (len == 0) return;
    double ux = dx / len, uy = dy / len;
    double big = d->userReach() + len;
    double t0 = (options & GradientDrawsBeforeStartLocation) ? -big : 0;
    double t1 = (options & GradientDrawsAfterEndLocation) ? len + big : len;
    auto at = [&](double t, double s) {
        return QPointF(start.x + ux * t - uy * s, start.y + uy * t + ux * s);
    };
    QPolygonF band;
    band << at(t0, -big) << at(t1, -big) << at(t1, big) << at(t0, big);
    QLinearGradient lg(QPointF(start.x, start.y), QPointF(end.x, end.y));
    lg.setStops(stopsFor(g));
    lg.setSpread(QGradient::PadSpread);
    QTransform t = d->userToQt();
    d->render([&](QPainter& p) {
        p.setTransform(t);
        p.setPen(Qt::NoPen);
        p.setBrush(lg);
        p.drawPolygon(band);
    });
}

void GraphicsContext::drawRadialGradient(const Gradient& g, Point c0, double r0, Point c1, double r1,
                                         unsigned options) {
    if (g.colors.empty()) return;
    QPointF q0(c0.x, c0.y), q1(c1.x, c1.y);
    QPainterPath region = circleHull(q0, std::max(0.0, r0), q1, std::max(0.0, r1));
    if (options & GradientDrawsBeforeStartLocation) {
        QPainterPath inner;
        inner.addEllipse(q0, r0, r0);
        region = region.united(inner);
    }
    if (options & GradientDrawsAfterEndLocation) {
        double big = d->userReach();
        region = QPainterPath();
        region.addRect(QRectF(-big, -big, 2 * big, 2 * big));
    }
    QRadialGradient rg(q1, std::max(0.0, r1), q0, std::max(0.0, r0));
    rg.setStops(stopsFor(g));
    rg.setSpread(QGradient::PadSpread);
    QTransform t = d->userToQt();
    d->render([&](QPainter& p) {
        p.setTransform(t);
        p.fillPath(region, rg);
    });
}

void GraphicsContext::drawImage(const Rect& rect, const Bitmap& image) {
    drawBitmap(image, rect, Rect(), d->st.blend, 1.0);
}

void GraphicsContext::drawBitmap(const Bitmap& image, const Rect& rect, const Rect& sourcePixels,
                                 BlendMode operation, double fraction, bool topAtMinY) {
    if (image.isNull()) return;
    QImage q = qt::wrap(image);
    QRectF source = sourcePixels.isEmpty() ? QRectF(q.rect())
                                           : QRectF(sourcePixels.minX(), sourcePixels.minY(),
                                                    sourcePixels.width(), sourcePixels.height());
    QTransform t = d->userToQt();
    if (!topAtMinY) t = QTransform(1, 0, 0, -1, 0, rect.minY() + rect.maxY()) * t;
    QRectF target(rect.minX(), rect.minY(), rect.width(), rect.height());
    d->render(
        [&](QPainter& p) {
            p.setTransform(t);
            p.drawImage(target, q, source);
        },
        operation, d->st.alpha * fraction);
}

void GraphicsContext::paintInUserSpace(const std::function<void(QPainter&)>& paint) {
    QTransform t = d->userToQt();
    d->render([&](QPainter& p) {
        p.setTransform(t);
        paint(p);
    });
}

GraphicsContext* GraphicsContext::current() {
    return tCurrent.get();
}
std::shared_ptr<GraphicsContext> GraphicsContext::currentShared() {
    return tCurrent;
}
void GraphicsContext::setCurrent(std::shared_ptr<GraphicsContext> context) {
    tCurrent = std::move(context);
}

void GraphicsContext::saveCurrentGraphicsState() {
    tSaved.push_back(tCurrent);
    if (tCurrent) tCurrent->saveGState();
}

void GraphicsContext::restoreCurrentGraphicsState() {
    if (tSaved.empty()) return;
    std::shared_ptr<GraphicsContext> previous = std::move(tSaved.back());
    tSaved.pop_back();
    if (previous) previous->restoreGState();
    tCurrent = std::move(previous);
}

} // namespace vtl
