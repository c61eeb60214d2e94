#pragma once
// A 2-D drawing context with the original platform's rules: user space y up (origin at the
// bottom-left) unless the context was made with flipped coordinates; a stack of graphics states;
// global alpha; shadows (colour, blur radius, offset in device space, y up); fill, stroke and clip
// with the winding and even-odd rules; line width, caps, joins and dashes; transforms; linear and
// radial gradients; images drawn with a compositing operation and opacity.
// Bitmap contexts draw into B, G, R, A premultiplied pixels.
// Each thread has a "current context" stack, as the original's drawing code assumes.
// Contexts are owned through std::shared_ptr by whoever created them; the current-context stack
// holds a reference while a context is current.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Gradient.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace vtl {

enum class FillRule { Winding, EvenOdd };
enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };

// Compositing operations. SourceOver is the normal drawing; Copy replaces the destination.
enum class BlendMode {
    SourceOver,
    Copy,
    Clear,
    SourceIn,
    SourceOut,
    SourceAtop,
    DestinationOver,
    DestinationIn,
    DestinationOut,
    DestinationAtop,
    Xor,
    PlusLighter,
    Multiply,
    Screen,
    Overlay,
    Darken,
    Lighten,
    ColorDodge,
    ColorBurn,
    HardLight,
    SoftLight,
    Difference,
    Exclusion,
    // Hue and saturation of the source with the luminosity of the destination.
    Color,
};

struct Shadow {
    Size offset; // device space, y up
    double blurRadius = 0;
    std::optional<vtl::Color> color; // none: no shadow
};

class GraphicsContext : public std::enable_shared_from_this<GraphicsContext> {
public:
    // A transparent bitmap context of width × height pixels (truncated), or null for an empty size
    // or one beyond 32767 pixels a side or 1 GiB of pixels.
    // flippedCoordinates: user space starts at the top-left with y down, and isFlipped() is true.
    static std::shared_ptr<GraphicsContext> createBitmapContext(int width, int height, bool hasAlpha = true,
                                                                bool flippedCoordinates = false);
    // A context over a painter that someone else owns and keeps active while the context is used
    // (the window layer's views). The painter's device is width × height pixels, y down.
    static std::shared_ptr<GraphicsContext> createOverPainter(QPainter* painter, int width, int height,
                                                              bool flippedCoordinates);
    ~GraphicsContext();
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;

    int width() const;
    int height() const;
    bool hasAlpha() const;
    // A copy of the bitmap's pixels; null for a context over a painter.
    BitmapRef makeImage() const;

    // The flag text and image drawing read: a flipped context's "top" is its smallest y.
    bool isFlipped() const;
    void setFlipped(bool flipped);
    // False while printing; drawing code leaves out screen-only decoration then.
    bool isDrawingToScreen() const;
    void setDrawingToScreen(bool screen);

    // Graphics state.
    void saveGState();
    void restoreGState();
    int gStateDepth() const;

    AffineTransform ctm() const;
    void concatCTM(const AffineTransform& t);
    void translateCTM(double dx, double dy);
    void scaleCTM(double sx, double sy);
    void rotateCTM(double radians);

    void setFillColor(const Color& c);
    void setStrokeColor(const Color& c);
    Color fillColor() const;
    Color strokeColor() const;
    void setAlpha(double alpha);
    double alpha() const;
    void setBlendMode(BlendMode mode);
    BlendMode blendMode() const;
    void setLineWidth(double w);
    double lineWidth() const;
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setMiterLimit(double limit);
    void setLineDash(double phase, const std::vector<double>& lengths);
    // A shadow under everything drawn until the state is restored; a colour of none removes it.
    void setShadow(Size offset, double blurRadius, std::optional<Color> color);
    void setShadow(Size offset, double blurRadius); // black at one third alpha
    Shadow shadow() const;
    void setShouldAntialias(bool on);
    // The font glyph drawing uses.
    void setFont(const Font& font);
    Font font() const;
    void setTextPosition(Point p);
    Point textPosition() const;

    // The current path, built in user space and kept in device space as the original does.
    void beginPath();
    void moveTo(Point p);
    void addLineTo(Point p);
    void addCurveTo(Point control1, Point control2, Point end);
    void addQuadCurveTo(Point control, Point end);
    // Angles in radians; clockwise as seen in y-up user space.
    void addArc(Point center, double radius, double startRadians, double endRadians, bool clockwise);
    void addRect(const Rect& r);
    void addEllipseInRect(const Rect& r);
    void addPath(const BezierPath& path);
    void closePath();
    bool isPathEmpty() const;
    // The current path in the current user space.
    BezierPath currentPath() const;

    // Each consumes the current path.
    void fillPath(FillRule rule = FillRule::Winding);
    void strokePath();
    void clip(FillRule rule = FillRule::Winding);

    // Path objects, drawn without touching the current path.
    void fill(const BezierPath& path, FillRule rule = FillRule::Winding);
    void stroke(const BezierPath& path);
    void clipToPath(const BezierPath& path, FillRule rule = FillRule::Winding);
    void fillRect(const Rect& r);
    void strokeRect(const Rect& r);
    void fillEllipseInRect(const Rect& r);
    // Makes the rectangle fully transparent.
    void clearRect(const Rect& r);
    void clipToRect(const Rect& r);
    // Clips to the image's coverage (its alpha) stretched over the rectangle.
    void clipToMask(const Rect& r, const Bitmap& mask);
    // The clip's bounds in user space (the whole context when there is no clip).
    Rect clipBoundingBox() const;

    void drawLinearGradient(const Gradient& g, Point start, Point end, unsigned options = 0);
    void drawRadialGradient(const Gradient& g, Point startCenter, double startRadius, Point endCenter,
                            double endRadius, unsigned options = 0);

    // The whole bitmap stretched over the rectangle, its top row at the rectangle's maxY.
    void drawImage(const Rect& rect, const Bitmap& image);
    // The part `sourcePixels` (y from the top row; empty: all) into rect with an operation and
    // opacity, top row at maxY (or at minY when topAtMinY is set).
    void drawBitmap(const Bitmap& image, const Rect& rect, const Rect& sourcePixels, BlendMode operation,
                    double fraction, bool topAtMinY = false);

    // Runs `paint` with a painter set to the current user space (y up as the context's user space),
    // with this state's clip, alpha, blend mode and shadow applied to what it draws. For the text layer.
    void paintInUserSpace(const std::function<void(QPainter&)>& paint);

    // The calling thread's current context (null when none).
    static GraphicsContext* current();
    static std::shared_ptr<GraphicsContext> currentShared();
    static void setCurrent(std::shared_ptr<GraphicsContext> context);
    // Saves the current context and its graphics state / restores both.
    static void saveCurrentGraphicsState();
    static void restoreCurrentGraphicsState();

    struct Impl;

private:
    GraphicsContext();
    std::unique_ptr<Impl> d;
};

using GraphicsContextRef = std::shared_ptr<GraphicsContext>;

} // namespace vtl
