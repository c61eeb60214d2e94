#include "tracks/CompositionTrackObjectMouseImages.h"

#include "drawing/BezierPathAdditions.h"
#include "model/CompositionEventTriggeredState.h"
#include "objects/ImageStamp.h"
#include "objects/MouseClickImage.h"
#include "objects/MouseVisualization.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/Text.h"
#include "platform/graphics/tiff/TiffCodec.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/VTLImageWrapper.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "tracks/CompositionTrackObject.h"
#include "tracks/CompositionTrackObjectEventZoom.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <vector>

namespace vtl {

namespace {

std::atomic<std::uint64_t> cursorDecodes{0};

// Recorded cursors are small; a damaged style or package may not ask for more.
constexpr double kMaximumCursorScale = 8.0;

double usableContentScale(const CompositionTrackObject& track) {
    const double scale = track.recordingContentScale();
    return std::isfinite(scale) && scale > 0 ? std::min(scale, kMaximumCursorScale) : 1.0;
}

// The pictures below are drawn with y up from their bottom-left corner, like the pixel space
// they are placed in.
template <class Draw> CIImage mouseDrawnImage(Size size, Draw draw) {
    VTLImageWrapper wrapper;
    std::shared_ptr<GraphicsContext> context = wrapper.beginContextWithSize(size, nullptr, false);
    if (!context) return {};
    draw(*context);
    return wrapper.releaseContextAndCreateCIImage();
}

// The pointer arrow, tip at the top-left corner, in an image of `size` pixels.
CIImage arrowCursorImage(Size size) {
    return mouseDrawnImage(size, [&](GraphicsContext& context) {
        const double sx = size.width / 20.0, sy = size.height / 24.0;
        // Outline on a 20 × 24 grid, y down from the tip; the stroke's mitre at the tip reaches the
        // picture's top-left pixel, which is the pointer.
        const Point outline[] = {{1, 1}, {1, 19}, {5.5, 15}, {8.5, 22}, {11.5, 20.8}, {8.5, 14}, {14, 14}};
        BezierPath path;
        bool first = true;
        for (Point p : outline) {
            const Point q{p.x * sx, size.height - p.y * sy};
            if (first)
                path.moveTo(q);
            else
                path.lineTo(q);
            first = false;
        }
        path.closePath();
        context.setFillColor(Color::deviceRGB(0, 0, 0, 1));
        context.fill(path);
        context.setStrokeColor(Color::deviceRGB(1, 1, 1, 1));
        context.setLineWidth(1.2 * sx);
        context.stroke(path);
    });
}

CIImage redRingCursorImage() {
    return mouseDrawnImage(Size{24, 24}, [](GraphicsContext& context) {
        BezierPath oval;
        oval.appendOvalInRect(Rect(2, 2, 20, 20));
        context.setStrokeColor(Color::deviceRGB(1, 0, 0, 1));
        context.setLineWidth(3.5);
        context.stroke(oval);
    });
}

CIImage blackDotCursorImage() {
    return mouseDrawnImage(Size{6, 6}, [](GraphicsContext& context) {
        BezierPath oval;
        oval.appendOvalInRect(Rect(0, 0, 6, 6));
        context.setFillColor(Color::deviceRGB(0, 0, 0, 1));
        context.fill(oval);
    });
}

// One wheel arrow pointing up (rotated for the other directions) in `size`.
CIImage wheelArrowImage(Size size, int direction) {
    return mouseDrawnImage(size, [&](GraphicsContext& context) {
        const double w = size.width, h = size.height;
        // Up, down, left, right: the tip on that side.
        std::vector<Point> points;
        switch (direction) {
        case 0:
            points = {{w * 0.5, h - 1}, {1, h * 0.45},       {w * 0.3, h * 0.45}, {w * 0.3, 1},
                      {w * 0.7, 1},     {w * 0.7, h * 0.45}, {w - 1, h * 0.45}};
            break;
        case 1:
            points = {{w * 0.5, 1},     {1, h * 0.55},       {w * 0.3, h * 0.55}, {w * 0.3, h - 1},
                      {w * 0.7, h - 1}, {w * 0.7, h * 0.55}, {w - 1, h * 0.55}};
            break;
        case 2:
            points = {{1, h * 0.5},     {w * 0.55, h - 1},   {w * 0.55, h * 0.7}, {w - 1, h * 0.7},
                      {w - 1, h * 0.3}, {w * 0.55, h * 0.3}, {w * 0.55, 1}};
            break;
        default:
            points = {{w - 1, h * 0.5}, {w * 0.45, h - 1},   {w * 0.45, h * 0.7}, {1, h * 0.7},
                      {1, h * 0.3},     {w * 0.45, h * 0.3}, {w * 0.45, 1}};
            break;
        }
        BezierPath path;
        path.moveTo(points.front());
        for (std::size_t i = 1; i < points.size(); ++i)
            path.lineTo(points[i]);
        path.closePath();
        context.setFillColor(Color::deviceRGB(1, 1, 1, 0.9));
        context.fill(path);
        context.setStrokeColor(Color::deviceRGB(0, 0, 0, 0.8));
        context.setLineWidth(1.5);
        context.stroke(path);
    });
}

// The recorded cursor picture, scaled up to the recording's content scale; none when the data is
// not a picture (logged once per process: a damaged package repeats it on every frame).
CIImage decodedCursorImage(const CursorImageEntry& entry, double contentScale) {
    if (!entry.tiffData || entry.tiffData->empty()) return {};
    cursorDecodes.fetch_add(1, std::memory_order_relaxed);
    Result<TiffImage> decoded = decodeTiff(*entry.tiffData);
    if (!decoded) {
        logOnce("mouse-cursor-undecodable", "A recorded cursor picture cannot be read (" + decoded.error() +
                                                "); the arrow is drawn instead");
        return {};
    }
    const TiffImage& tiff = *decoded;
    BitmapImage bitmap(std::size_t(tiff.width), std::size_t(tiff.height));
    for (int y = 0; y < tiff.height; ++y) {
        const std::uint8_t* from = tiff.rgba.data() + std::size_t(y) * std::size_t(tiff.width) * 4;
        std::uint8_t* to = bitmap.mutableData() + std::size_t(y) * bitmap.bytesPerRow();
        for (int x = 0; x < tiff.width; ++x) {
            to[x * 4 + 0] = from[x * 4 + 2];
            to[x * 4 + 1] = from[x * 4 + 1];
            to[x * 4 + 2] = from[x * 4 + 0];
            to[x * 4 + 3] = from[x * 4 + 3];
        }
    }
    CIImage image = CIImage::imageWithBitmapImage(bitmap);
    if (contentScale > 1.0)
        image = image.imageByApplyingTransform(AffineTransform::scale(contentScale, contentScale));
    return image;
}

struct CursorInEffect {
    const CursorImageEntry* entry = nullptr;
    std::int64_t index = -1;
};

CursorInEffect cursorInEffect(const RecordedMetadataList<CursorImageEntry>& list, double m) {
    const std::int32_t index = indexOfTime(m, list);
    if (index < 0) return {};
    return {&list[std::size_t(index)], index};
}

std::shared_ptr<CompositionEventTriggeredState> lastEventState(const CompositionTrackObject& track,
                                                               double m) {
    const TriggeredStateList states = track.triggeredStatesAtObjectTime(m);
    if (states.empty()) return nullptr;
    return std::dynamic_pointer_cast<CompositionEventTriggeredState>(states.back());
}

// The style's click duration; zero or less (or not a number) shows no marks at all.
double clickDuration(const MouseVisualization& style) {
    const double d = style.duration;
    return std::isfinite(d) && d > 0 ? d : 0.0;
}

Color archivedColor(const ArchivedColor& color) {
    return Color::deviceRGB(color.red, color.green, color.blue, color.alpha);
}

std::string buttonName(std::int64_t button) {
    switch (button) {
    case 1:
        return localizedString("Left");
    case 2:
        return localizedString("Right");
    case 3:
        return localizedString("Middle");
    default:
        return localizedString("Other");
    }
}

Font clickLabelFont(const MouseVisualization& style) {
    const double size = std::isfinite(style.clickFont.pointSize) && style.clickFont.pointSize > 0
                            ? std::min(style.clickFont.pointSize, 200.0)
                            : 12.0;
    if (std::optional<Font> font = Font::withName(style.clickFont.name, size)) return *font;
    return Font::systemFont(size);
}

CIImage clickLabelImage(const std::string& text, Point at, Point offset, float progress,
                        const MouseVisualization& style) {
    const float ta = textAlphaForProgress(progress);
    TextAttributes attributes;
    attributes.font = clickLabelFont(style);
    attributes.foregroundColor = Color::deviceRGB(1, 1, 1, ta);
    const Rect bounds =
        boundingRectForString(text, Size{1.0e4, 1.0e4}, attributes, StringDrawingUsesLineFragmentOrigin);
    const double tw = bounds.size.width, th = bounds.size.height;
    if (!(tw > 0 && th > 0)) return {};
    const double r = th * 0.5;
    const Rect textRect(at.x + offset.x + th, at.y + offset.y - r, tw, th);
    const Rect box = Rect(textRect.origin.x - r / 2, textRect.origin.y - r / 2, tw + r, th + r).integral();
    CIImage image = mouseDrawnImage(box.size, [&](GraphicsContext& context) {
        context.setFillColor(Color::white(0.25, 0.6 * ta));
        context.fill(
            BezierPathAdditions::pathWithRect(Rect(0, 0, box.size.width, box.size.height), float(r)));
        drawString(context, AttributedString(text, attributes),
                   Rect(textRect.origin.x - box.origin.x, textRect.origin.y - box.origin.y, tw, th),
                   StringDrawingUsesLineFragmentOrigin);
    });
    if (image.isNull()) return {};
    return image.imageByApplyingTransform(AffineTransform::translation(box.origin.x, box.origin.y));
}

} // namespace

std::uint64_t mouseCursorDecodeCount() {
    return cursorDecodes.load(std::memory_order_relaxed);
}

float alphaFromProgress(float p) {
    if (!(p >= 0.75f)) return 1.0f;
    return std::max(0.0f, (1.0f - p) * 4.0f);
}

bool needsToDrawMouseWheelAtTime(const CompositionTrackObject& track, double m) {
    const auto& style = track.mouseVisualizationStyle();
    if (!style) return false;
    const auto events = track.mouseWheelEventsFrom(m, m + clickDuration(*style));
    return events && !events->empty();
}

bool needsToVisualizeMouseEventAtTime(const CompositionTrackObject& track, double m) {
    const auto& style = track.mouseVisualizationStyle();
    if (!style) return false;
    const double d = clickDuration(*style);
    if (d <= 0) return false;
    const auto events = track.mouseEvents(1, m - d, m + d);
    return events && !events->empty();
}

std::uint64_t mouseImageCacheHashAtTime(const CompositionTrackObject& track, double m) {
    const MouseCursorKind kind = track.mouseCursorKindAtTime(m + track.startTime());
    if (kind != MouseCursorKind::Recorded) return ~std::uint64_t(std::int64_t(kind));
    const auto cursors = track.mouseCursorImages();
    return std::uint64_t(cursorInEffect(*cursors, m).index);
}

CIImage mouseImageAtTime(const CompositionTrackObject& track, double m, Point offset, float opacity,
                         ObjectRendererResources* renderer) {
    bool valid = false;
    const Point p = track.mouseLocationAtTime(m, &valid);
    const Size size = track.originalSize();
    if (!valid || !std::isfinite(p.x) || !std::isfinite(p.y)) return {};
    if (!Rect(0, 0, size.width, size.height).containsPoint(p)) return {};

    const double global = m + track.startTime();
    const MouseCursorKind kind = track.mouseCursorKindAtTime(global);
    const std::uint64_t hash = mouseImageCacheHashAtTime(track, m);
    const auto cursors = track.mouseCursorImages();
    const CursorInEffect cursor =
        kind == MouseCursorKind::Recorded ? cursorInEffect(*cursors, m) : CursorInEffect{};
    const bool visible = !cursor.entry || cursor.entry->cursorVisible;
    const double contentScale = usableContentScale(track);

    // The cache keeps the cursor with its hot spot at the origin, so a cached picture needs no
    // knowledge of how it was made (a recorded one, or the arrow for an unreadable one).
    CIImage image;
    bool cached = false;
    if (renderer) {
        // A missing entry reports the all-ones stamp, which is also the stamp of "no recorded
        // cursor": only a valid entry may be compared.
        bool isValid = false;
        const std::uint64_t stamp = renderer->timeForObject(track, kCachePathMouseCursorImage, &isValid);
        if (isValid && stamp == hash) {
            cached = true;
            if (visible) image = renderer->cachedImageForObject(track, kCachePathMouseCursorImage);
        }
    }
    if (!cached) {
        const Size arrowSize{20 * contentScale, 24 * contentScale};
        Point corner; // the picture's bottom-left corner relative to the pointer
        switch (kind) {
        case MouseCursorKind::Arrow:
            image = arrowCursorImage(arrowSize);
            corner = Point{0, -arrowSize.height};
            break;
        case MouseCursorKind::RedRing:
            image = redRingCursorImage();
            corner = Point{-12, -12};
            break;
        case MouseCursorKind::BlackDot:
            image = blackDotCursorImage();
            corner = Point{-3, -3};
            break;
        case MouseCursorKind::Recorded:
            if (cursor.entry && visible) image = decodedCursorImage(*cursor.entry, contentScale);
            if (!image.isNull()) {
                // Hot spot in the picture's points from its top-left corner.
                const double k = contentScale > 1.0 ? contentScale : 1.0;
                Point h = cursor.entry->hotspot;
                if (!std::isfinite(h.x) || !std::isfinite(h.y)) h = Point{};
                const Point hotSpot{h.x * k, h.y * k - image.extent().size.height};
                corner = Point{-hotSpot.x, hotSpot.y};
            } else if (!cursor.entry || visible) {
                // No recorded cursor, or one that cannot be read: the arrow, its tip at the pointer.
                image = arrowCursorImage(arrowSize);
                corner = Point{0, -arrowSize.height};
            }
            break;
        }
        if (!image.isNull()) {
            const Rect extent = image.extent();
            image = image.imageByApplyingTransform(
                AffineTransform::translation(corner.x - extent.origin.x, corner.y - extent.origin.y));
        }
        if (renderer) {
            if (!image.isNull()) image = renderer->materializedImage(image);
            renderer->setCachedImage(image, track, kCachePathMouseCursorImage, hash);
        }
    }
    if (image.isNull() || !visible) return {};
    image = image.imageByApplyingTransform(AffineTransform::translation(p.x, p.y));
    if (opacity < 1.0f) image = vtltools::imageWithAlpha(image, std::max(0.0f, opacity));
    const auto& style = track.mouseVisualizationStyle();
    if (style && style->showMouseWheel) {
        const CIImage wheel = mouseWheelImageAtTime(track, m, offset);
        if (!wheel.isNull()) {
            const CIImage layers[] = {image, wheel};
            image = vtltools::imageFromImages(layers);
        }
    }
    return image;
}

CIImage mouseEventsImageAtTime(const CompositionTrackObject& track, double m, Point offset) {
    const auto& style = track.mouseVisualizationStyle();
    if (!style) return {};
    const double d = clickDuration(*style);
    if (d <= 0) return {};
    const auto events = track.mouseEvents(1, m - d, m + d);
    if (!events || events->empty()) return {};
    const float contentScale = float(usableContentScale(track));
    std::vector<CIImage> layers;
    std::vector<std::uint32_t> labelledSeries;
    for (auto it = events->rbegin(); it != events->rend(); ++it) {
        const MouseClickEntry& event = *it;
        if (event.time > m) continue;
        if (event.time < m - d) break;
        const double age = m - event.time;
        const float p = float(age / d);
        const Color base = archivedColor(event.button == 1 ? style->leftClickColor : style->rightClickColor);
        const Color color = base.withAlpha(1.0 - double(p));
        const Point at{event.point.x + offset.x, event.point.y + offset.y};
        CIImage mark =
            mouseClickImage(style->strength, color, style->filled, p, at, style->size, contentScale);
        std::string label;
        const bool counted = style->showClickCount && event.clickCount >= 2;
        if (!style->showButtonName) {
            if (counted) label = std::to_string(event.clickCount);
        } else if (event.button >= 0 && std::find(labelledSeries.begin(), labelledSeries.end(),
                                                  event.clickID) == labelledSeries.end()) {
            labelledSeries.push_back(event.clickID);
            label = buttonName(event.button);
            if (counted) label += " (" + std::to_string(event.clickCount) + ")";
        }
        if (!mark.isNull()) layers.push_back(std::move(mark));
        if (!label.empty()) {
            CIImage labelImage = clickLabelImage(label, event.point, offset, p, *style);
            if (!labelImage.isNull()) layers.push_back(std::move(labelImage));
        }
    }
    return vtltools::imageFromImages(layers);
}

CIImage mouseWheelImageForDirection(double x, double y, Point point, float progress) {
    Point at;
    int direction;
    Size size{32, 36};
    if (y > 0) {
        direction = 0;
        at = Point{point.x - 16, point.y + 12};
    } else if (y < 0) {
        direction = 1;
        at = Point{point.x - 16, point.y - 48};
    } else if (x > 0) {
        direction = 2;
        size = Size{24, 32};
        at = Point{point.x - 40, point.y - 16};
    } else if (x < 0) {
        direction = 3;
        size = Size{24, 32};
        at = Point{point.x + 16, point.y - 16};
    } else {
        return {};
    }
    // One picture per direction for the whole process.
    static const CIImage arrows[4] = {wheelArrowImage(Size{32, 36}, 0), wheelArrowImage(Size{32, 36}, 1),
                                      wheelArrowImage(Size{24, 32}, 2), wheelArrowImage(Size{24, 32}, 3)};
    (void)size;
    const CIImage& arrow = arrows[direction];
    if (arrow.isNull()) return {};
    return vtltools::imageWithAlpha(arrow, alphaFromProgress(progress))
        .imageByApplyingTransform(AffineTransform::translation(at.x, at.y));
}

CIImage mouseWheelImageAtTime(const CompositionTrackObject& track, double m, Point offset) {
    const auto& style = track.mouseVisualizationStyle();
    if (!style) return {};
    const double d = double(float(clickDuration(*style)));
    if (d <= 0) return {};
    const auto events = track.mouseWheelEventsFrom(m, m + d);
    if (!events || events->empty()) return {};
    std::optional<float> down, up, left, right;
    for (const MouseWheelEntry& event : *events) {
        const double age = m - event.time;
        if (age < 0 || age > d) continue;
        const float p = float(age / d);
        if (event.wheelY < 0 && !down) down = p;
        if (event.wheelY > 0 && !up) up = p;
        if (event.wheelX > 0 && !left) left = p;
        if (event.wheelX < 0 && !right) right = p;
    }
    bool valid = false;
    Point q = track.mouseLocationAtTime(m, &valid);
    if (!valid) q = events->back().point;
    // The overlay is scaled with the picture afterwards, so the arrows stay by the pointer in the
    // recording's own pixels.
    const Point at{q.x + offset.x, q.y + offset.y};
    std::vector<CIImage> layers;
    auto add = [&](const std::optional<float>& progress, double x, double y) {
        if (!progress) return;
        CIImage arrow = mouseWheelImageForDirection(x, y, at, *progress);
        if (!arrow.isNull()) layers.push_back(std::move(arrow));
    };
    add(down, 0, -1);
    add(up, 0, 1);
    add(left, 1, 0);
    add(right, -1, 0);
    return vtltools::imageFromImages(layers);
}

CIImage mouseCursorAndEventImageAtTime(const CompositionTrackObject& track, double t,
                                       ObjectRendererResources* renderer, float backingScalingFactor) {
    const bool cursorOn = track.visualizesMouseCursorAtTime(t);
    const bool eventsOn = track.visualizesMouseEventsAtTime(t);
    if (!cursorOn && !eventsOn) return {};
    const double m = t - track.startTime();
    CIImage image;
    if (cursorOn) {
        // The overlay joins the track's list of pictures, which the track's opacity fades as a
        // whole: fading the cursor here as well would fade it twice.
        image = mouseImageAtTime(track, m, Point{}, 1.0f, renderer);
        if (image.isNull()) return {};
    }
    if (eventsOn && needsToVisualizeMouseEventAtTime(track, m)) {
        const CIImage layers[] = {image, mouseEventsImageAtTime(track, m, Point{})};
        std::vector<CIImage> present;
        for (const CIImage& layer : layers)
            if (!layer.isNull()) present.push_back(layer);
        image = vtltools::imageFromImages(present);
    }
    if (image.isNull()) return {};

    const Size size = track.originalSize();
    const Rect picture(0, 0, size.width, size.height);
    const std::shared_ptr<CompositionEventTriggeredState> state = lastEventState(track, m);
    if (state) {
        EventZoomCentre centre;
        bool hasCentre = false;
        std::optional<AffineTransform> transform;
        const int kind = state->kind();
        if (kind != 5) {
            centre.factor = -1;
            transform = eventTransformForTime(track, m, *state, picture, &centre);
            hasCentre = centre.factor >= 0;
        }
        // The overlay follows the frame: only the kinds whose frame is zoomed move it.
        if (transform && kind != 1 && kind != 3 && kind != 5)
            image = image.imageByApplyingTransform(*transform);

        std::optional<double> alpha;
        Point p;
        if (kind == 5) {
            const double start = state->startTime(), end = state->endTime();
            if (m > start && m < end)
                alpha = 1.0;
            else if (m <= start)
                alpha = start - m <= 0.5 ? 1.0 - 2.0 * (start - m) : 0.0;
            else
                alpha = m - end <= 0.5 ? 1.0 - 2.0 * (m - end) : 0.0;
            p = track.mouseLocationAtTime(m);
        } else if (kind == 1 && transform && hasCentre) {
            alpha = centre.factor;
            p = centre.point;
        }
        if (alpha && *alpha > 0 && std::isfinite(p.x) && std::isfinite(p.y) && size.width > 0 &&
            size.height > 0) {
            const float backing =
                std::isfinite(backingScalingFactor) && backingScalingFactor > 0 ? backingScalingFactor : 1.0f;
            // The sheet depends on the picture size and the backing factor; keyed by both, a
            // renderer that changes either gets a new sheet.
            const std::uint64_t stamp =
                ImageStamp(0x5f07).add(size.width).add(size.height).add(backing).value();
            CIImage sheet;
            if (renderer) {
                bool isValid = false;
                if (renderer->timeForObject(track, kCachePathMouseFocusImage, &isValid) == stamp && isValid)
                    sheet = renderer->cachedImageForObject(track, kCachePathMouseFocusImage);
            }
            if (sheet.isNull()) {
                sheet = vtltools::imageOfSize(Size{2 * size.width, 2 * size.height},
                                              Point{size.width, size.height}, 0.1 * size.height,
                                              Color::deviceRGB(0, 0, 0, 0.5), backing);
                if (renderer && !sheet.isNull()) {
                    sheet = renderer->materializedImage(sheet);
                    renderer->setCachedImage(sheet, track, kCachePathMouseFocusImage, stamp);
                }
            }
            if (!sheet.isNull()) {
                CIImage spot =
                    vtltools::imageWithAlpha(sheet.imageByApplyingTransform(AffineTransform::translation(
                                                 p.x - size.width, p.y - size.height)),
                                             std::min(1.0, *alpha));
                const CIImage layers[] = {spot, image};
                image = vtltools::imageFromImages(layers);
            }
        }
    }
    if (image.isNull() || !image.extent().intersects(picture)) return {};
    return image.imageByCroppingToRect(picture);
}

} // namespace vtl
