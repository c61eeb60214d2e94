#pragma once
// Attributed text: laid out, measured, wrapped, truncated and drawn into a graphics context, and
// broken into lines whose glyphs and positions can be drawn one by one (text on an arc).
// Stands for the original's string drawing and line-based text layout. Values; the holder owns them.
// Positions and lengths count UTF-16 code units, as the original's strings do.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class GraphicsContext;

enum class TextAlignment { Left = 0, Center = 1, Right = 2, Justified = 3, Natural = 4 };
enum class LineBreakMode {
    WordWrapping = 0,
    CharWrapping = 1,
    Clipping = 2,
    TruncatingHead = 3,
    TruncatingTail = 4,
    TruncatingMiddle = 5,
};

struct ParagraphStyle {
    TextAlignment alignment = TextAlignment::Natural;
    LineBreakMode lineBreakMode = LineBreakMode::WordWrapping;
    double maximumLineHeight = 0; // 0: no limit
    friend bool operator==(const ParagraphStyle&, const ParagraphStyle&) = default;
};

// The attributes of a stretch of text. A missing font means the system font at 12 points; a
// missing colour, black.
struct TextAttributes {
    std::optional<Font> font;
    std::optional<Color> foregroundColor;
    std::optional<ParagraphStyle> paragraphStyle;
    friend bool operator==(const TextAttributes&, const TextAttributes&) = default;
};

class AttributedString {
public:
    struct Run {
        size_t start = 0; // UTF-16 units
        size_t length = 0;
        TextAttributes attributes;
    };

    AttributedString() = default;
    AttributedString(const std::string& utf8, const TextAttributes& attributes);
    void append(const std::string& utf8, const TextAttributes& attributes);

    const std::string& string() const { return text_; }
    size_t length() const { return length_; }
    const std::vector<Run>& runs() const { return runs_; }
    // The attributes at a position (those of the first run for an empty string).
    TextAttributes attributesAt(size_t index) const;

private:
    std::string text_;
    size_t length_ = 0;
    std::vector<Run> runs_;
};

// String drawing options.
enum StringDrawingOptions : unsigned {
    StringDrawingUsesLineFragmentOrigin = 1u << 0,
    StringDrawingTruncatesLastVisibleLine = 1u << 5,
};

// The size the text takes within `constraint` (width wraps lines with the line-fragment option;
// the height does not cut the measure). Zero for an empty text.
Rect boundingRectForString(const AttributedString& text, Size constraint, unsigned options);
Rect boundingRectForString(const std::string& text, Size constraint, const TextAttributes& attributes,
                           unsigned options);
// Draws the text into the rectangle of the context, from its visual top (minY when the context is
// flipped, maxY otherwise), upright, clipped to the rectangle's lines.
void drawString(GraphicsContext& context, const AttributedString& text, const Rect& rect, unsigned options);
void drawString(GraphicsContext& context, const std::string& text, const Rect& rect,
                const TextAttributes& attributes, unsigned options);
// Draws the text unwrapped with the corner of its block at the point: the top-left corner in a
// flipped context, the bottom-left corner otherwise.
void drawStringAtPoint(GraphicsContext& context, const AttributedString& text, Point point);

// One laid-out line of text. Coordinates are relative to the line's origin on the baseline, y up.
class TextLine {
public:
    struct GlyphRun {
        Font font;
        Color color;
        std::vector<uint32_t> glyphs;
        std::vector<Point> positions;
    };

    TextLine();
    ~TextLine();
    TextLine(const TextLine&);
    TextLine& operator=(const TextLine&);

    size_t start() const;
    size_t length() const;
    double width() const; // typographic width
    double ascent() const;
    double descent() const; // positive below the baseline
    double leading() const;
    // The bounds of the inked glyphs.
    Rect imageBounds() const;
    const std::vector<GlyphRun>& glyphRuns() const;

    // Draws the line with its origin at the context's text position; glyphs point toward +y.
    void draw(GraphicsContext& context) const;
    // Draws one glyph of a run with its origin at (0, 0) of the user space, pointing toward +y,
    // in the run's font and the given colour.
    void drawGlyph(GraphicsContext& context, size_t run, size_t glyph, const Color& color) const;

    struct Impl;

private:
    std::shared_ptr<Impl> d;
    friend class Typesetter;
};

// Breaks an attributed string into lines.
class Typesetter {
public:
    explicit Typesetter(AttributedString text);
    // How many units from `start` fit on a line of the width (at least one unit while any remain).
    size_t suggestLineBreak(size_t start, double width) const;
    TextLine createLine(size_t start, size_t length) const;
    const AttributedString& string() const { return text_; }

private:
    AttributedString text_;
};

} // namespace vtl
