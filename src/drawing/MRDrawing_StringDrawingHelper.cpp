#include "drawing/MRDrawing_StringDrawingHelper.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <unordered_map>

namespace vtl {

namespace {

constexpr double kLineGap = 2;
constexpr double kArcLinePitch = 14;
constexpr unsigned kDrawingOptions =
    StringDrawingUsesLineFragmentOrigin | StringDrawingTruncatesLastVisibleLine;

struct AttributeCache {
    std::mutex lock;
    std::unordered_map<std::string, std::shared_ptr<const TextAttributes>> entries{10};
    int builds = 0;
};

AttributeCache& cache() {
    static AttributeCache c;
    return c;
}

TextAlignment alignmentFor(int alignment) {
    switch (alignment) {
    case 0:
        return TextAlignment::Left;
    case 1:
        return TextAlignment::Center;
    case 2:
        return TextAlignment::Right;
    default:
        return TextAlignment::Natural;
    }
}

LineBreakMode lineBreakFor(int wordWrap) {
    switch (wordWrap) {
    case 1:
        return LineBreakMode::CharWrapping;
    case 2:
        return LineBreakMode::Clipping;
    case 3:
        return LineBreakMode::TruncatingHead;
    case 4:
        return LineBreakMode::TruncatingTail;
    case 5:
        return LineBreakMode::TruncatingMiddle;
    default:
        return LineBreakMode::WordWrapping;
    }
}

void drawEmbossed(const std::string& text, const Rect& rect, const Font& font, int alignment, int wordWrap,
                  float strength, float opacity, float maximumLineHeight, bool black) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    context->saveGState();
    if (strength > 0 && context->isDrawingToScreen())
        context->setShadow({0, black ? -1.0 : 1.0}, 0,
                           (black ? Color::whiteColor() : Color::black()).withAlpha(std::abs(strength)));
    MRDrawing_StringDrawingHelper::drawString(
        text, rect, font, (black ? Color::black() : Color::whiteColor()).withAlpha(opacity), alignment,
        wordWrap, maximumLineHeight);
    context->restoreGState();
}

double lineHeight(const TextLine& line) {
    return line.ascent() + line.descent() + line.leading();
}

} // namespace

std::shared_ptr<const TextAttributes>
MRDrawing_StringDrawingHelper::attributes(const Font& font, const std::optional<Color>& color, int alignment,
                                          int wordWrap, float maximumLineHeight) {
    char key[160];
    std::snprintf(key, sizeof key, "%ld;%f,%d;%d;%ld", static_cast<long>(font.hash()), maximumLineHeight,
                  alignment, wordWrap, color ? static_cast<long>(color->hash()) : 0L);
    AttributeCache& c = cache();
    std::lock_guard<std::mutex> guard(c.lock);
    if (auto it = c.entries.find(key); it != c.entries.end()) return it->second;
    auto built = std::make_shared<TextAttributes>();
    built->font = font;
    ParagraphStyle style;
    if (maximumLineHeight > 0) style.maximumLineHeight = maximumLineHeight;
    style.alignment = alignmentFor(alignment);
    style.lineBreakMode = lineBreakFor(wordWrap);
    built->paragraphStyle = style;
    if (color) built->foregroundColor = *color;
    c.entries.emplace(key, built);
    ++c.builds;
    return built;
}

int MRDrawing_StringDrawingHelper::attributesBuildCount() {
    std::lock_guard<std::mutex> guard(cache().lock);
    return cache().builds;
}

void MRDrawing_StringDrawingHelper::drawString(const std::string& text, const Rect& rect, const Font& font,
                                               const std::optional<Color>& color, int alignment, int wordWrap,
                                               float maximumLineHeight) {
    auto attrs = attributes(font, color, alignment, wordWrap, maximumLineHeight);
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    vtl::drawString(*context, text, rect, *attrs, kDrawingOptions);
}

void MRDrawing_StringDrawingHelper::drawBlackEmbossedString(const std::string& text, const Rect& rect,
                                                            const Font& font, int alignment, int wordWrap,
                                                            float strength, float opacity,
                                                            float maximumLineHeight) {
    drawEmbossed(text, rect, font, alignment, wordWrap, strength, opacity, maximumLineHeight, true);
}

void MRDrawing_StringDrawingHelper::drawWhiteEmbossedString(const std::string& text, const Rect& rect,
                                                            const Font& font, int alignment, int wordWrap,
                                                            float strength, float opacity,
                                                            float maximumLineHeight) {
    drawEmbossed(text, rect, font, alignment, wordWrap, strength, opacity, maximumLineHeight, false);
}

Size MRDrawing_StringDrawingHelper::sizeOfString(const std::string& text, const Font& font,
                                                 float maximumLineHeight, Size constrainedToSize) {
    if (text.empty()) return {};
    TextAttributes attrs;
    attrs.font = font;
    if (maximumLineHeight > 0) {
        ParagraphStyle style;
        style.maximumLineHeight = maximumLineHeight;
        attrs.paragraphStyle = style;
    }
    return boundingRectForString(text, constrainedToSize, attrs, StringDrawingUsesLineFragmentOrigin).size;
}

Size MRDrawing_StringDrawingHelper::sizeOfString(const std::string& text, const Font& font) {
    constexpr double big = std::numeric_limits<float>::max();
    return sizeOfString(text, font, 0, {big, big});
}

std::vector<TextLine> MRDrawing_StringDrawingHelper::createArrayWithCTLinesFromTypesetter(
    const Typesetter& typesetter, const AttributedString& string, float width) {
    std::vector<TextLine> lines;
    size_t pos = 0;
    while (pos < string.length()) {
        size_t n = typesetter.suggestLineBreak(pos, width);
        if (n == 0) break;
        lines.push_back(typesetter.createLine(pos, n));
        pos += n;
    }
    return lines;
}

int MRDrawing_StringDrawingHelper::heightOfAttributedString(const AttributedString& string, int width,
                                                            GraphicsContext&) {
    Typesetter setter(string);
    auto lines = createArrayWithCTLinesFromTypesetter(setter, string, static_cast<float>(width));
    double y = 0;
    Rect bounds;
    bool first = true;
    for (const TextLine& line : lines) {
        Rect b = line.imageBounds().offsetBy(0, y);
        bounds = first ? b : bounds.unionWith(b);
        first = false;
        y = std::trunc(y + lineHeight(line) + kLineGap);
    }
    return static_cast<int>(bounds.height());
}

void MRDrawing_StringDrawingHelper::drawAttributedString(const AttributedString& string, const Rect& rect,
                                                         int alignment, GraphicsContext& context) {
    context.saveGState();
    context.scaleCTM(1, -1);
    Typesetter setter(string);
    auto lines = createArrayWithCTLinesFromTypesetter(setter, string, static_cast<float>(rect.width()));
    double y = rect.minY();
    for (const TextLine& line : lines) {
        Rect b = line.imageBounds();
        double x = 0;
        bool positioned = true;
        if (alignment == 0)
            x = rect.minX();
        else if (alignment == 1)
            x = rect.minX() + rect.width() * 0.5 - b.width() * 0.5;
        else if (alignment == 2)
            x = rect.minX() + rect.width() - b.width();
        else
            positioned = false;
        if (positioned) context.setTextPosition({x, -(b.height() * 0.5 + y)});
        line.draw(context);
        y += b.height() + kLineGap;
    }
    context.setTextPosition({0, 0});
    context.restoreGState();
}

int MRDrawing_StringDrawingHelper::heightOfAttribtedStringOnArc(const AttributedString& string,
                                                                float startAngle, float endAngle,
                                                                float radius, bool, GraphicsContext&) {
    float width = (endAngle - startAngle) * (2 * static_cast<float>(M_PI) * radius / 360.0f);
    Typesetter setter(string);
    auto lines = createArrayWithCTLinesFromTypesetter(setter, string, width);
    Rect bounds;
    bool first = true;
    for (const TextLine& line : lines) {
        bounds = first ? line.imageBounds() : bounds.unionWith(line.imageBounds());
        first = false;
    }
    return static_cast<int>(bounds.height());
}

void MRDrawing_StringDrawingHelper::drawAttributedStringOnArc(const AttributedString& string,
                                                              float startAngle, float endAngle, float radius,
                                                              bool flipped, GraphicsContext& context) {
    drawAttributedStringOnArc(string, startAngle, endAngle, radius, 3.4028235e38f, 1.1754944e-38f, flipped,
                              context);
}

void MRDrawing_StringDrawingHelper::drawAttributedStringOnArc(const AttributedString& string,
                                                              float startAngle, float endAngle, float radius,
                                                              float maxRadius, float minRadius, bool flipped,
                                                              GraphicsContext& context) {
    float unitsPerDegree = 2 * static_cast<float>(M_PI) * radius / 360.0f;
    float width = (endAngle - startAngle) * unitsPerDegree;
    // Without a real circle there is nowhere to put the glyphs (and no transform to draw them with).
    if (!std::isfinite(width) || !std::isfinite(startAngle) || !(unitsPerDegree > 0) ||
        !std::isfinite(unitsPerDegree))
        return;
    Typesetter setter(string);
    auto lines = createArrayWithCTLinesFromTypesetter(setter, string, width);
    if (lines.empty()) return;
    double r = radius;
    double offset = (static_cast<double>(lines.size()) - 1) * kArcLinePitch * 0.5 - 3.5;
    if (!flipped) {
        r += offset;
        if (r + kArcLinePitch > maxRadius) r = maxRadius - kArcLinePitch;
    } else {
        r -= offset;
        if (r - kArcLinePitch < minRadius) r = minRadius + kArcLinePitch;
    }
    double middle = (startAngle + (endAngle - startAngle) * 0.5) * M_PI / 180.0;
    // Glyph tops face away from the centre unless flipped (then towards it), matching the way the
    // lines stack above, and each glyph's baseline runs along the circle in reading order. The
    // vertical scale below undoes a flipped context's flip; in a y-up user space it makes a
    // mirror image of the device instead, so there each glyph is mirrored back and the glyphs
    // go round the other way.
    const AffineTransform ctm = context.ctm();
    const bool mirrored = ctm.a * ctm.d - ctm.b * ctm.c > 0;
    const double order = (flipped ? 1.0 : -1.0) * (mirrored ? -1.0 : 1.0);
    for (size_t l = 0; l < lines.size(); ++l) {
        const TextLine& line = lines[l];
        double imageWidth = line.imageBounds().width();
        const auto& runs = line.glyphRuns();
        for (size_t ri = 0; ri < runs.size(); ++ri) {
            for (size_t gi = 0; gi < runs[ri].glyphs.size(); ++gi) {
                context.saveGState();
                context.scaleCTM(1, -1);
                double delta = (runs[ri].positions[gi].x - imageWidth * 0.5) / unitsPerDegree * M_PI / 180.0;
                context.rotateCTM(middle + order * delta);
                context.translateCTM(-r, 0);
                context.rotateCTM(flipped ? -M_PI / 2 : M_PI / 2);
                if (mirrored) context.scaleCTM(-1, 1);
                line.drawGlyph(context, ri, gi, Color::black());
                context.restoreGState();
            }
        }
        if (!flipped) {
            r -= kArcLinePitch;
            if (!(minRadius <= r - kArcLinePitch)) break;
        } else {
            r += kArcLinePitch;
            if (!(r + kArcLinePitch <= maxRadius)) break;
        }
    }
}

} // namespace vtl
