#include "platform/graphics/Text.h"

#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

// QTextLayout works in 26.6 fixed point: keep "unlimited" widths well inside its range.
constexpr double kMaxLayoutWidth = 1e6;

// A width the layout can take: NaN and negative widths are no width at all.
double layoutWidth(double width) {
    return width > 0 ? std::min(width, kMaxLayoutWidth) : 0.0;
}

Font fontOf(const TextAttributes& a) {
    return a.font ? *a.font : Font::systemFont(12);
}
Color colorOf(const TextAttributes& a) {
    return a.foregroundColor ? *a.foregroundColor : Color::black();
}

QString qstr(const std::string& s) {
    QString q = QString::fromStdString(s);
    q.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return q;
}

QTextCharFormat formatOf(const TextAttributes& a) {
    QTextCharFormat f;
    f.setFont(qt::toQFont(fontOf(a)));
    f.setForeground(qt::toQColor(colorOf(a)));
    return f;
}

// A layout of [start, start + length) of the string, its formats set, not yet laid out.
std::unique_ptr<QTextLayout> makeLayout(const AttributedString& s, size_t start, size_t length) {
    QString all = qstr(s.string());
    QString part = all.mid(static_cast<qsizetype>(start), static_cast<qsizetype>(length));
    auto layout = std::make_unique<QTextLayout>(part, qt::toQFont(fontOf(s.attributesAt(start))));
    QList<QTextLayout::FormatRange> formats;
    for (const auto& run : s.runs()) {
        size_t b = std::max(run.start, start), e = std::min(run.start + run.length, start + length);
        if (b >= e) continue;
        QTextLayout::FormatRange r;
        r.start = static_cast<int>(b - start);
        r.length = static_cast<int>(e - b);
        r.format = formatOf(run.attributes);
        formats.append(r);
    }
    layout->setFormats(formats);
    layout->setCacheEnabled(true);
    return layout;
}

struct Laid {
    std::unique_ptr<QTextLayout> layout;
    std::vector<QTextLine> lines;
    double width = 0;  // widest line
    double height = 0; // stacked lines
};

ParagraphStyle styleOf(const AttributedString& s) {
    auto a = s.attributesAt(0);
    return a.paragraphStyle ? *a.paragraphStyle : ParagraphStyle{};
}

// Lays the whole string out at a width: wrapped by the style's mode, or one line a paragraph.
Laid layOut(const AttributedString& s, double width, bool multiLine) {
    Laid out;
    ParagraphStyle ps = styleOf(s);
    out.layout = makeLayout(s, 0, s.length());
    QTextOption option;
    bool wraps = multiLine && (ps.lineBreakMode == LineBreakMode::WordWrapping ||
                               ps.lineBreakMode == LineBreakMode::CharWrapping);
    option.setWrapMode(!wraps ? QTextOption::NoWrap
                       : ps.lineBreakMode == LineBreakMode::CharWrapping
                           ? QTextOption::WrapAnywhere
                           : QTextOption::WrapAtWordBoundaryOrAnywhere);
    out.layout->setTextOption(option);
    double lineWidth = layoutWidth(width);
    out.layout->beginLayout();
    double y = 0;
    while (true) {
        QTextLine line = out.layout->createLine();
        if (!line.isValid()) break;
        line.setLeadingIncluded(true);
        line.setLineWidth(wraps ? lineWidth : kMaxLayoutWidth);
        double h = line.height();
        if (ps.maximumLineHeight > 0) h = std::min(h, ps.maximumLineHeight);
        double x = 0;
        if (width < kMaxLayoutWidth) {
            double free = width - line.naturalTextWidth();
            if (ps.alignment == TextAlignment::Center)
                x = free * 0.5;
            else if (ps.alignment == TextAlignment::Right)
                x = free;
        }
        line.setPosition(QPointF(x, y));
        y += h;
        out.width = std::max(out.width, static_cast<double>(line.naturalTextWidth()));
        out.lines.push_back(line);
        if (!multiLine) break;
    }
    out.layout->endLayout();
    out.height = y;
    return out;
}

Qt::TextElideMode elideMode(LineBreakMode m) {
    switch (m) {
    case LineBreakMode::TruncatingHead:
        return Qt::ElideLeft;
    case LineBreakMode::TruncatingMiddle:
        return Qt::ElideMiddle;
    default:
        return Qt::ElideRight;
    }
}

// The paragraphs of the string cut to the width with an ellipsis where they are wider.
AttributedString truncated(const AttributedString& s, double width, LineBreakMode mode) {
    QString all = QString::fromStdString(s.string());
    const QStringList paragraphs = all.split(QLatin1Char('\n'));
    AttributedString out;
    size_t pos = 0;
    for (qsizetype i = 0; i < paragraphs.size(); ++i) {
        const QString& p = paragraphs[i];
        TextAttributes a = s.attributesAt(pos);
        QFontMetricsF fm(qt::toQFont(fontOf(a)));
        QString shown = p;
        if (fm.horizontalAdvance(p) > width) shown = fm.elidedText(p, elideMode(mode), width);
        if (i + 1 < paragraphs.size()) shown += QLatin1Char('\n');
        out.append(shown.toStdString(), a);
        pos += static_cast<size_t>(p.size()) + 1;
    }
    return out;
}

AttributedString prepared(const AttributedString& s, double width, bool multiLine) {
    ParagraphStyle ps = styleOf(s);
    bool truncates = ps.lineBreakMode == LineBreakMode::TruncatingHead ||
                     ps.lineBreakMode == LineBreakMode::TruncatingTail ||
                     ps.lineBreakMode == LineBreakMode::TruncatingMiddle;
    if (truncates && multiLine && width < kMaxLayoutWidth) return truncated(s, width, ps.lineBreakMode);
    return s;
}

} // namespace

AttributedString::AttributedString(const std::string& utf8, const TextAttributes& attributes) {
    append(utf8, attributes);
}

void AttributedString::append(const std::string& utf8, const TextAttributes& attributes) {
    size_t len = static_cast<size_t>(QString::fromStdString(utf8).size());
    if (runs_.empty() || len > 0) runs_.push_back({length_, len, attributes});
    text_ += utf8;
    length_ += len;
}

TextAttributes AttributedString::attributesAt(size_t index) const {
    for (const Run& r : runs_)
        if (index >= r.start && index < r.start + r.length) return r.attributes;
    return runs_.empty() ? TextAttributes{}
                         : (index >= length_ ? runs_.back().attributes : runs_.front().attributes);
}

Rect boundingRectForString(const AttributedString& text, Size constraint, unsigned options) {
    if (text.length() == 0) return {};
    bool multi = options & StringDrawingUsesLineFragmentOrigin;
    AttributedString s = prepared(text, constraint.width, multi);
    Laid laid = layOut(s, multi ? constraint.width : kMaxLayoutWidth, multi);
    return {0, 0, laid.width, laid.height};
}

Rect boundingRectForString(const std::string& text, Size constraint, const TextAttributes& attributes,
                           unsigned options) {
    return boundingRectForString(AttributedString(text, attributes), constraint, options);
}

void drawString(GraphicsContext& context, const AttributedString& text, const Rect& rect, unsigned options) {
    if (text.length() == 0) return;
    bool multi = options & StringDrawingUsesLineFragmentOrigin;
    AttributedString s = prepared(text, rect.width(), multi);
    Laid laid = layOut(s, multi ? rect.width() : kMaxLayoutWidth, multi);
    if (laid.lines.empty()) return;
    // Only whole lines that fit the rectangle are drawn (the first always).
    size_t shown = laid.lines.size();
    if (multi) {
        shown = 1;
        while (shown < laid.lines.size() &&
               laid.lines[shown].position().y() + laid.lines[shown].height() <= rect.height() + 0.5)
            ++shown;
    }
    if (shown < laid.lines.size() && (options & StringDrawingTruncatesLastVisibleLine)) {
        // The last visible line carries the rest of the text, cut with an ellipsis.
        size_t from = static_cast<size_t>(laid.lines[shown - 1].textStart());
        QString rest = QString::fromStdString(s.string()).mid(static_cast<qsizetype>(from));
        rest.replace(QLatin1Char('\n'), QLatin1Char(' '));
        TextAttributes a = s.attributesAt(from);
        QFontMetricsF fm(qt::toQFont(fontOf(a)));
        QString line = fm.elidedText(rest, Qt::ElideRight, layoutWidth(rect.width()));
        AttributedString head;
        if (from > 0) {
            AttributedString before;
            QString all = QString::fromStdString(s.string());
            before =
                AttributedString(all.left(static_cast<qsizetype>(from)).toStdString(), s.attributesAt(0));
            head = before;
        }
        head.append(line.toStdString(), a);
        Laid again = layOut(head, rect.width(), true);
        laid = std::move(again);
        shown = std::min(shown, laid.lines.size());
    }
    bool flipped = context.isFlipped();
    double top = flipped ? rect.minY() : rect.maxY();
    QTextLayout* layout = laid.layout.get();
    std::vector<QTextLine> lines(laid.lines.begin(), laid.lines.begin() + static_cast<long>(shown));
    if (!multi) top = flipped ? rect.minY() - lines[0].ascent() : rect.minY() + lines[0].ascent();
    bool clips = styleOf(s).lineBreakMode == LineBreakMode::Clipping;
    context.paintInUserSpace([&](QPainter& p) {
        p.translate(rect.minX(), top);
        if (!flipped) p.scale(1, -1);
        // Clipped lines end at the rectangle's side.
        if (clips)
            p.setClipRect(QRectF(0, -kMaxLayoutWidth, rect.width(), 2 * kMaxLayoutWidth), Qt::IntersectClip);
        p.setPen(Qt::black);
        for (const QTextLine& line : lines)
            line.draw(&p, QPointF(0, 0));
        (void)layout;
    });
}

void drawStringAtPoint(GraphicsContext& context, const AttributedString& text, Point point) {
    Rect bounds =
        boundingRectForString(text, {kMaxLayoutWidth, kMaxLayoutWidth}, StringDrawingUsesLineFragmentOrigin);
    drawString(context, text, {point.x, point.y, bounds.width() + 1, bounds.height()},
               StringDrawingUsesLineFragmentOrigin);
}

void drawString(GraphicsContext& context, const std::string& text, const Rect& rect,
                const TextAttributes& attributes, unsigned options) {
    drawString(context, AttributedString(text, attributes), rect, options);
}

struct TextLine::Impl {
    size_t start = 0, length = 0;
    double width = 0, ascent = 0, descent = 0, leading = 0;
    Rect imageBounds;
    std::vector<GlyphRun> runs;
    std::vector<QRawFont> rawFonts;
};

TextLine::TextLine()
    : d(std::make_shared<Impl>()) {}
TextLine::~TextLine() = default;
TextLine::TextLine(const TextLine&) = default;
TextLine& TextLine::operator=(const TextLine&) = default;
size_t TextLine::start() const {
    return d->start;
}
size_t TextLine::length() const {
    return d->length;
}
double TextLine::width() const {
    return d->width;
}
double TextLine::ascent() const {
    return d->ascent;
}
double TextLine::descent() const {
    return d->descent;
}
double TextLine::leading() const {
    return d->leading;
}
Rect TextLine::imageBounds() const {
    return d->imageBounds;
}
const std::vector<TextLine::GlyphRun>& TextLine::glyphRuns() const {
    return d->runs;
}

void TextLine::draw(GraphicsContext& context) const {
    Point origin = context.textPosition();
    context.paintInUserSpace([&](QPainter& p) {
        p.translate(origin.x, origin.y);
        p.scale(1, -1);
        for (size_t i = 0; i < d->runs.size(); ++i) {
            const GlyphRun& run = d->runs[i];
            QGlyphRun g;
            g.setRawFont(d->rawFonts[i]);
            QList<quint32> glyphs(run.glyphs.begin(), run.glyphs.end());
            QList<QPointF> positions;
            for (const Point& pt : run.positions)
                positions.append(QPointF(pt.x, -pt.y));
            g.setGlyphIndexes(glyphs);
            g.setPositions(positions);
            p.setPen(qt::toQColor(run.color));
            p.drawGlyphRun(QPointF(0, 0), g);
        }
    });
}

void TextLine::drawGlyph(GraphicsContext& context, size_t run, size_t glyph, const Color& color) const {
    if (run >= d->runs.size() || glyph >= d->runs[run].glyphs.size()) return;
    context.paintInUserSpace([&](QPainter& p) {
        p.scale(1, -1);
        QGlyphRun g;
        g.setRawFont(d->rawFonts[run]);
        g.setGlyphIndexes({d->runs[run].glyphs[glyph]});
        g.setPositions({QPointF(0, 0)});
        p.setPen(qt::toQColor(color));
        p.drawGlyphRun(QPointF(0, 0), g);
    });
}

Typesetter::Typesetter(AttributedString text)
    : text_(std::move(text)) {}

size_t Typesetter::suggestLineBreak(size_t start, double width) const {
    if (start >= text_.length()) return 0;
    auto layout = makeLayout(text_, start, text_.length() - start);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    size_t n = 0;
    if (line.isValid()) {
        line.setLineWidth(layoutWidth(width));
        n = static_cast<size_t>(std::max(1, line.textLength()));
    }
    layout->endLayout();
    return std::min(n, text_.length() - start);
}

TextLine Typesetter::createLine(size_t start, size_t length) const {
    TextLine out;
    TextLine::Impl& d = *out.d;
    start = std::min(start, text_.length());
    length = std::min(length, text_.length() - start);
    d.start = start;
    d.length = length;
    if (length == 0) return out;
    auto layout = makeLayout(text_, start, length);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (!line.isValid()) {
        layout->endLayout();
        return out;
    }
    line.setLineWidth(kMaxLayoutWidth);
    line.setPosition(QPointF(0, 0));
    layout->endLayout();
    d.width = line.naturalTextWidth();
    d.ascent = line.ascent();
    d.descent = line.descent();
    d.leading = line.leading();
    double asc = line.ascent();
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (const auto& run : text_.runs()) {
        size_t b = std::max(run.start, start), e = std::min(run.start + run.length, start + length);
        if (b >= e) continue;
        const QList<QGlyphRun> glyphRuns =
            layout->glyphRuns(static_cast<int>(b - start), static_cast<int>(e - b));
        for (const QGlyphRun& g : glyphRuns) {
            TextLine::GlyphRun gr;
            gr.font = fontOf(run.attributes);
            gr.color = colorOf(run.attributes);
            QRawFont raw = g.rawFont();
            const QList<quint32> ids = g.glyphIndexes();
            const QList<QPointF> pos = g.positions();
            for (qsizetype i = 0; i < ids.size(); ++i) {
                gr.glyphs.push_back(ids[i]);
                gr.positions.push_back({pos[i].x(), asc - pos[i].y()});
                QRectF box = raw.boundingRect(ids[i]).translated(pos[i]);
                if (box.isEmpty()) continue;
                double bx0 = box.left(), bx1 = box.right(), by0 = asc - box.bottom(), by1 = asc - box.top();
                if (!any) x0 = bx0, x1 = bx1, y0 = by0, y1 = by1, any = true;
                x0 = std::min(x0, bx0), x1 = std::max(x1, bx1), y0 = std::min(y0, by0),
                y1 = std::max(y1, by1);
            }
            d.runs.push_back(std::move(gr));
            d.rawFonts.push_back(raw);
        }
    }
    d.imageBounds = {x0, y0, x1 - x0, y1 - y0};
    return out;
}

} // namespace vtl
