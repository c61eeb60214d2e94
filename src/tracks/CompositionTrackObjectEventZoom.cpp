#include "tracks/CompositionTrackObjectEventZoom.h"

#include "drawing/GeometryFunctions.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/TimingCurves.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/CIImageTools.h"
#include "tracks/CompositionTrackObject.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

double eventZoomTimeOf(const PropertyList& entry) {
    const double time = entry.numberForKey("time").value_or(0);
    return std::isfinite(time) ? time : 0.0;
}

Rect eventZoomFocusRectOf(const PropertyList* entry) {
    if (!entry) return Rect();
    if (const std::string* text = entry->stringForKey("focusRect")) return rectFromString(*text);
    return Rect();
}

// A rectangle with a finite, positive area.
bool zoomRectHasArea(const Rect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height) && r.size.width > 0 && r.size.height > 0;
}

// The entry in effect at t: the exact match or the last before it, the first when all lie later;
// −1 for an empty list.
std::int64_t eventZoomIndexOfTime(const PlistArray& list, double t) {
    if (list.empty()) return -1;
    auto later = std::upper_bound(list.begin(), list.end(), t, [](double time, const PropertyList& entry) {
        return time < eventZoomTimeOf(entry);
    });
    if (later == list.begin()) return 0;
    return std::int64_t(later - list.begin()) - 1;
}

// A zoom time of zero or less (or not a number) switches at once.
double usableZoomTime(double zoomTime) {
    return std::isfinite(zoomTime) && zoomTime > 0 ? zoomTime : 0.0;
}

double zoomCurve(double fraction) {
    return animationProgressFromFraction(AnimationTimingKind::EaseInOut, fraction);
}

std::optional<AffineTransform> finiteZoomOrNone(const AffineTransform& transform) {
    if (!isFiniteTransform(transform)) return std::nullopt;
    return transform;
}

bool isFiniteZoomPoint(Point p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

} // namespace

bool isFiniteTransform(const AffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

void beforeEventsAfterEvents(PlistArray* before, PlistArray* after,
                             const CompositionEventTriggeredState& state, double t) {
    const bool focusKind = state.kind() == 2 || state.kind() == 3;
    const PlistArray& list = focusKind ? state.relevantFocusEvents() : state.relevantMouseEvents();
    const std::int64_t i = eventZoomIndexOfTime(list, t);
    if (i < 0) return;
    const std::size_t split = eventZoomTimeOf(list[std::size_t(i)]) < t ? std::size_t(i) + 1 : std::size_t(i);
    if (before) before->assign(list.begin(), list.begin() + std::ptrdiff_t(split));
    if (after) after->assign(list.begin() + std::ptrdiff_t(split), list.end());
}

std::optional<AffineTransform> eventTransformForTime(const CompositionTrackObject& track, double t,
                                                     const CompositionEventTriggeredState& state,
                                                     const Rect& compositionRect, EventZoomCentre* centre) {
    switch (state.kind()) {
    case 2:
    case 3:
        return focusTransformForTime(track, t, state, compositionRect);
    case 4:
        return mouseFollowTransformForTime(track, t, state, compositionRect);
    case 5:
        return std::nullopt;
    default:
        return eventZoomTransformForTime(track, t, state, centre);
    }
}

std::optional<AffineTransform> eventZoomTransformForTime(const CompositionTrackObject& track, double t,
                                                         const CompositionEventTriggeredState& state,
                                                         EventZoomCentre* centre) {
    PlistArray before, after;
    beforeEventsAfterEvents(&before, &after, state, t);
    const double dEnd = t - state.endTime();
    if (!(dEnd <= 0.5)) return std::nullopt;
    const PlistArray& events = state.relevantMouseEvents();
    if (events.empty()) return std::nullopt;
    const PropertyList& first = events.front();

    int suspension = state.suspensionBehaviour();
    int follow = state.followBehaviour();
    if (suspension > 1 || suspension < 0) {
        assertionFailure(__FILE__, __LINE__, "unknown suspension behaviour");
        suspension = suspension > 1 ? 1 : 0;
    }
    if (follow > 1 || follow < 0) {
        assertionFailure(__FILE__, __LINE__, "unknown follow behaviour");
        follow = follow > 1 ? 1 : 0;
    }

    Point sum;
    double weight = 0;
    int count = 0;
    Point point;
    double factor = 0;
    bool steady = false;
    if (!before.empty()) {
        const PropertyList& last = before.back();
        const double age = t - eventZoomTimeOf(last);
        Point location;
        if (follow == 1 || state.kind() == 1) {
            location = track.mouseLocationAtTime(t);
        } else {
            const PropertyList& source = suspension == 1 ? first : last;
            const std::string* text = source.stringForKey("point");
            location = text ? pointFromString(*text) : Point();
        }
        if (age > 0 && (suspension == 1 || age < 2.0)) {
            point = location;
            factor = dEnd > 0 ? 1.0 - 2.0 * dEnd : 1.0;
            steady = true;
        } else if (suspension == 0 && age >= 2.0 && age < 2.5) {
            sum = location;
            weight += 1.0 - 2.0 * (age - 2.0);
            count = 1;
        }
    }
    if (!steady) {
        if (!after.empty()) {
            const double a = eventZoomTimeOf(after.front()) - t;
            if (a > 0 && a < 0.5) {
                weight += 1.0 - 2.0 * a;
                const Point location = track.mouseLocationAtTime(t);
                sum.x += location.x;
                sum.y += location.y;
                ++count;
            }
        }
        if (count == 0) return std::nullopt;
        factor = weight / count;
        point = Point{sum.x / count, sum.y / count};
    }
    if (!isFiniteZoomPoint(point) || !std::isfinite(factor)) return std::nullopt;
    if (centre) *centre = EventZoomCentre{point, float(factor)};
    const float scale = float(1.0 + factor);
    // Exactly 1 is no zoom at all.
    std::optional<AffineTransform> transform = scaleAndRotateAtPointTransform(point, scale, scale, 0.0f);
    if (!transform) return AffineTransform::identity();
    return finiteZoomOrNone(*transform);
}

std::optional<AffineTransform> mouseFollowTransformForTime(const CompositionTrackObject& track, double t,
                                                           const CompositionEventTriggeredState& state,
                                                           const Rect& r) {
    const double dEnd = t - state.endTime();
    if (!(dEnd <= 0.5)) return std::nullopt;
    const double dStart = state.startTime() - t;
    double a = dStart > 0 ? 1.0 - 2.0 * dStart : dEnd > 0 ? 1.0 - 2.0 * dEnd : 1.0;
    a = std::clamp(a, 0.0, 1.0);
    const double maximum = state.maximumZoomFactor();
    const float zoom = float(a * (std::isfinite(maximum) ? maximum : 0.0) + 1.0);
    bool valid = false;
    Point c = track.mouseLocationAtTime(t, &valid);
    if (!isFiniteZoomPoint(c) || !zoomRectHasArea(r)) return std::nullopt;
    c.x = std::clamp(c.x, r.minX(), r.maxX());
    c.y = std::clamp(c.y, r.minY(), r.maxY());
    std::optional<AffineTransform> transform = scaleAndRotateAtPointTransform(c, zoom, zoom, 0.0f);
    if (!transform) return AffineTransform::identity();
    return finiteZoomOrNone(*transform);
}

void pointZoomFactorInFocusRect(Point* point, float* zoomFactor, const Rect& focusRect, const Rect& c) {
    // Without an area the focus rectangle cannot be zoomed onto: the whole composition shows.
    const Rect f = zoomRectHasArea(focusRect) ? focusRect : Rect(0, 0, c.size.width, c.size.height);
    float z = float(std::min(c.size.width / f.size.width, c.size.height / f.size.height));
    if (!std::isfinite(z) || !(z > 0)) z = 1.0f;
    if (zoomFactor) *zoomFactor = z;
    const double vw = c.size.width / z;
    const double vh = c.size.height / z;
    const double maxX = std::max(0.0, double(float(c.size.width - vw)));
    const double maxY = std::max(0.0, double(float(c.size.height - vh)));
    if (point)
        *point = Point{std::clamp(f.origin.x + (f.size.width - vw) * 0.5, 0.0, maxX),
                       std::clamp(f.origin.y + (f.size.height - vh) * 0.5, 0.0, maxY)};
}

std::optional<AffineTransform> focusTransformForTime(const CompositionTrackObject& track, double t,
                                                     const CompositionEventTriggeredState& state,
                                                     const Rect& c) {
    PlistArray before, after;
    beforeEventsAfterEvents(&before, &after, state, t);
    const double zoomTime = usableZoomTime(state.zoomTime());
    const double dEnd = t - state.endTime();
    if (!(dEnd <= zoomTime)) return std::nullopt;
    const PlistArray& list = state.suspensionBehaviour() == 0 ? state.mouseEnterLeaveFocusRectsEvents()
                                                              : state.relevantFocusEvents();
    if (list.empty()) return std::nullopt;
    std::int64_t i = eventZoomIndexOfTime(list, t);
    if (i < 0) return std::nullopt;
    const std::int64_t lastIndex = std::int64_t(list.size()) - 1;
    const PropertyList* next = nullptr;
    if (i == lastIndex)
        next = before.empty() ? nullptr : &before.back();
    else
        next = &list[std::size_t(i + 1)];
    const bool isLast = i == lastIndex;
    if (i == 0 && eventZoomTimeOf(list[0]) > t) i = -1;
    const PropertyList* cur = i >= 0 ? &list[std::size_t(i)] : nullptr;

    const double dStart = state.startTime() - t;
    if (dEnd <= 0 && dStart > 0) {
        cur = nullptr;
        next = &list.front();
    } else if (dEnd > 0) {
        next = nullptr;
    }

    const Size s = track.originalSize();
    const Rect whole(0, 0, s.width, s.height);
    auto sideRect = [&](const PropertyList* entry) {
        if (!entry) return whole;
        if (state.suspensionBehaviour() == 0 && !entry->boolForKey("inside").value_or(false)) return whole;
        const Rect r = eventZoomFocusRectOf(entry);
        // A missing or zero rectangle is no place to zoom onto.
        return zoomRectHasArea(r) ? r : whole;
    };
    Rect a = sideRect(cur);
    Rect b = sideRect(next);
    const double tA = cur ? eventZoomTimeOf(*cur) : state.startTime();
    double tB = next ? eventZoomTimeOf(*next) : state.endTime();
    if (isLast) tB = state.endTime() + zoomTime;

    if (!zoomRectHasArea(whole) || !zoomRectHasArea(c)) return std::nullopt;
    const double scale = std::min(c.size.width / s.width, c.size.height / s.height);
    auto scaled = [scale](const Rect& r) {
        return Rect(r.origin.x * scale, r.origin.y * scale, r.size.width * scale, r.size.height * scale);
    };
    a = scaled(a);
    b = scaled(b);
    Point pA, pB;
    float zA = 1, zB = 1;
    pointZoomFactorInFocusRect(&pA, &zA, a, c);
    pointZoomFactorInFocusRect(&pB, &zB, b, c);
    pA = Point{pA.x / scale, pA.y / scale};
    pB = Point{pB.x / scale, pB.y / scale};

    double r;
    if (dEnd <= 0 && dStart > 0) {
        r = zoomTime > 0 ? dStart / zoomTime : 1.0;
    } else if (dEnd > 0) {
        r = zoomTime > 0 ? 1.0 - dEnd / zoomTime : 0.0;
    } else if (tB - t >= zoomTime) {
        r = 1.0;
    } else {
        const double x = tB < tA ? tA : tB - zoomTime;
        const double span = tB - x;
        r = span != 0 ? (tB - t) / span : 0.0;
    }
    if (!std::isfinite(r)) r = 0.0;
    r = std::clamp(r, 0.0, 1.0);
    const double curve = zoomCurve(r);
    const Point p{curve * pA.x + (1 - curve) * pB.x, curve * pA.y + (1 - curve) * pB.y};
    const float z = float(curve * zA + (1 - curve) * zB);
    AffineTransform transform = AffineTransform::translation(-p.x, -p.y);
    transform.append(AffineTransform::scale(z, z));
    return finiteZoomOrNone(transform);
}

bool focusedZoomTransformFromEntry(const CompositionTrackObject& track, const FocusRectEntry& entry, double t,
                                   double zoomFactor, Size canvas, float* factor, Rect* rect, Rect* usedRect,
                                   double zoomTime) {
    const MetadataSnapshot<FocusRectEntry> list = track.focusedWindowRects();
    const std::int32_t i = indexOfTime(entry.time, *list);
    const double T = usableZoomTime(zoomTime);
    float f = 1.0f;
    const bool isLast = i < 0 || std::size_t(i) + 1 >= list->size();
    if (!isLast && t > (*list)[std::size_t(i) + 1].time) {
        const double tn = (*list)[std::size_t(i) + 1].time;
        if (t > tn + T) {
            if (factor) *factor = 0;
            return false;
        }
        f = float(1.0 - zoomCurve((t - tn) / T));
    } else if (i > 0 && t < entry.time) {
        if (t < entry.time - T) {
            if (factor) *factor = 0;
            return false;
        }
        f = float(1.0 - zoomCurve((entry.time - t) / T));
    }
    const Rect r = entry.focusRect;
    if (!zoomRectHasArea(r) || !std::isfinite(f)) {
        if (factor) *factor = 0;
        return false;
    }
    if (factor) *factor = f;
    if (rect) *rect = r;
    const double z = std::isfinite(zoomFactor) ? zoomFactor : 0.0;
    const Rect g(r.origin.x - 0.25 * z * r.size.width, r.origin.y - 0.25 * z * r.size.height,
                 r.size.width * (1 + 0.5 * z), r.size.height * (1 + 0.5 * z));
    const Rect c = g.intersection(Rect(0, 0, canvas.width, canvas.height));
    const float fx = float(c.size.width / r.size.width);
    const float fy = float(c.size.height / r.size.height);
    Rect u = c;
    if (fx != fy) {
        const double m = std::min(fx, fy);
        u = Rect(r.origin.x - (m - 1) * 0.5 * r.size.width, r.origin.y - (m - 1) * 0.5 * r.size.height,
                 r.size.width * m, r.size.height * m);
        if (u.maxX() > canvas.width)
            u.origin.x = canvas.width - u.size.width;
        else if (u.origin.x < 0)
            u.origin.x = 0;
        if (u.maxY() > canvas.height)
            u.origin.y = canvas.height - u.size.height;
        else if (u.origin.y < 0)
            u.origin.y = 0;
    }
    const double use = usedRect ? double(f) : 0.0;
    if (usedRect)
        *usedRect = Rect(float(r.origin.x * (1 - use) + u.origin.x * use),
                         float(r.origin.y * (1 - use) + u.origin.y * use),
                         float(r.size.width * (1 - use) + u.size.width * use),
                         float(r.size.height * (1 - use) + u.size.height * use));
    return true;
}

CIImage imageByGeneratingOverlayOfRects(const std::vector<Rect>& sources, const std::vector<Rect>& targets,
                                        const std::vector<float>& alphas, const Color& color, double alpha,
                                        const CIImage& image) {
    if (image.isNull()) return {};
    if (targets.size() != sources.size()) assertionFailure(__FILE__, __LINE__, "wrong number of rects");
    if (alphas.size() != sources.size())
        assertionFailure(__FILE__, __LINE__, "wrong number of rects or alpha values");
    const std::size_t count = std::min({sources.size(), targets.size(), alphas.size()});
    std::vector<CIImage> layers;
    layers.reserve(count + 1);
    const CIImage sheet = vtltools::imageWithAlpha(
        CIImage::imageWithColor(CIColor::fromColor(color)).imageByCroppingToRect(image.extent()), alpha);
    layers.push_back(sheet.imageByCompositingOverImage(image));
    for (std::size_t i = 0; i < count; ++i) {
        const Rect& source = sources[i];
        if (!zoomRectHasArea(source)) continue;
        const double a = alphas[i];
        const Rect& target = targets[i];
        const Rect m(source.origin.x * (1 - a) + target.origin.x * a,
                     source.origin.y * (1 - a) + target.origin.y * a,
                     source.size.width * (1 - a) + target.size.width * a,
                     source.size.height * (1 - a) + target.size.height * a);
        const double k = m.size.width / source.size.width;
        AffineTransform placement = AffineTransform::translation(-source.origin.x, -source.origin.y);
        placement.append(AffineTransform::scale(k, k));
        placement.append(AffineTransform::translation(m.origin.x, m.origin.y));
        if (!isFiniteTransform(placement)) continue;
        CIImage piece = image.imageByCroppingToRect(source).imageByApplyingTransform(placement);
        layers.push_back(vtltools::imageWithAlpha(piece, a));
    }
    return vtltools::imageFromImages(layers);
}

} // namespace vtl
