// Canvas services of CompositionRectangularObject: the mask relation, the enclosing box and the
// turned corners, snapping guides, alignment and resizing by handle, and ready-made animation
// groups.

#include "drawing/GeometryFunctions.h"
#include "model/CompositionObjectsContainer.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/SinglePrecision.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

using Object = CompositionRectangularObject;
using State = CompositionRectangularState;

const char kMaskFilterName[] = "CIBlendWithAlphaMask";

std::optional<double> numberFor(const PlistDictionary& dictionary, const char* key) {
    const PropertyList* value = dictionary.find(key);
    return value ? value->numberValue() : std::nullopt;
}

} // namespace

// --- Masks

void Object::setMaskObject(const std::shared_ptr<CompositionBaseObject>& mask) {
    maskObject_ = mask;
    if (mask) setupMaskFilter();
    invalidate();
}

void Object::setMaskForObject(const std::shared_ptr<CompositionBaseObject>& masked) {
    maskForObject_ = masked;
    invalidate();
}

std::vector<std::shared_ptr<CompositionBaseObject>> Object::maskObjects() const {
    if (auto mask = maskObject()) return {mask};
    return {};
}

std::vector<std::shared_ptr<CompositionBaseObject>> Object::maskForObjects() const {
    if (auto masked = maskForObject()) return {masked};
    return {};
}

void Object::setupMaskFilter() {
    if (maskFilter_.empty()) maskFilter_ = kMaskFilterName;
}

// --- Canvas geometry

Rect Object::enclosingRectAtTime(double compositionTime, RotationHandling rotation) const {
    Rect rect = rectForTime(compositionTime);
    if (wantsRectSetInsteadOfScaling()) {
        rect.size.width *= xScalingFactorForTime(compositionTime);
        rect.size.height *= yScalingFactorForTime(compositionTime);
    }
    if (rotation == RotationHandling::Respect) {
        if (auto transform = handleTransformAtTime(compositionTime, rect))
            return boundingRectOfTransformedRect(*transform, rect);
    }
    return rect;
}

std::array<Point, 4> Object::rotatedHandlePositionsAtTime(double compositionTime) const {
    const Rect rect = enclosingRectAtTime(compositionTime, RotationHandling::Ignore);
    std::array<Point, 4> corners = pointsFromRect(rect);
    if (auto transform = handleTransformAtTime(compositionTime, rect)) {
        for (Point& corner : corners)
            corner = transform->apply(corner);
    }
    return corners;
}

// Guides at the box's low edge, centre and high edge on one axis, then at the turned corners.
std::vector<SnappingGuide> Object::snappingGuidesAtTime(double compositionTime, double Point::*axis) const {
    const Rect box = enclosingRectAtTime(compositionTime, RotationHandling::Ignore);
    const bool x = axis == &Point::x;
    const double low = x ? box.minX() : box.minY();
    const double extent = x ? box.size.width : box.size.height;
    std::vector<SnappingGuide> guides{{roundedToFloat(low), this},
                                      {roundedToFloat(low + extent / 2), this},
                                      {roundedToFloat(low + extent), this}};
    if (rotationForTime(compositionTime) != 0) {
        for (const Point& corner : rotatedHandlePositionsAtTime(compositionTime))
            guides.push_back({roundedToFloat(corner.*axis), this});
    }
    return guides;
}

std::vector<SnappingGuide> Object::horizontalSnappingGuidesAtTime(double compositionTime) const {
    return snappingGuidesAtTime(compositionTime, &Point::x);
}

std::vector<SnappingGuide> Object::verticalSnappingGuidesAtTime(double compositionTime) const {
    return snappingGuidesAtTime(compositionTime, &Point::y);
}

void Object::alignWithValueAtTime(ArrangeCriterion criterion, double value, double compositionTime) {
    if (!std::isfinite(value) || !std::isfinite(compositionTime)) {
        logMessage("Refused an alignment to a value that is not a finite number.");
        return;
    }
    // Centres do not move when the object turns about its centre: those align the unturned box.
    const bool centres = criterion == ArrangeCriterion::HorizontalCentres ||
                         criterion == ArrangeCriterion::VerticalCentres ||
                         criterion == ArrangeCriterion::DistributeVertically ||
                         criterion == ArrangeCriterion::DistributeHorizontally;
    Rect rect = rectForTime(compositionTime);
    const Rect box =
        enclosingRectAtTime(compositionTime, centres ? RotationHandling::Ignore : RotationHandling::Respect);
    switch (criterion) {
    case ArrangeCriterion::LeftEdges:
        rect.origin.x += value - box.minX();
        break;
    case ArrangeCriterion::HorizontalCentres:
    case ArrangeCriterion::DistributeHorizontally:
        rect.origin.x = value - rect.size.width / 2 + roundedToFloat((rect.size.width - box.size.width) / 2);
        break;
    case ArrangeCriterion::RightEdges:
        rect.origin.x += value - box.maxX();
        break;
    case ArrangeCriterion::TopEdges:
        rect.origin.y += value - box.maxY();
        break;
    case ArrangeCriterion::VerticalCentres:
    case ArrangeCriterion::DistributeVertically:
        rect.origin.y = value - rect.size.height / 2 + (rect.size.height - box.size.height) / 2;
        break;
    case ArrangeCriterion::BottomEdges:
        rect.origin.y += value - box.minY();
        break;
    }
    setRect(rect, compositionTime);
}

Rect Object::rectForResizeWithHandle(int32_t handle, Size delta, ResizeProportion proportion,
                                     const Rect& rect) const {
    if (!std::isfinite(delta.width) || !std::isfinite(delta.height)) {
        logMessage("Refused a resize by a distance that is not finite.");
        return rect;
    }
    Rect result = rect;
    const double dx = delta.width;
    if (handle == -1) {
        result.origin.x += dx;
        result.origin.y += delta.height;
        return result;
    }
    double dy = delta.height;
    if (proportion == ResizeProportion::Proportional) {
        if (wantsRectSetInsteadOfScaling()) {
            // The natural proportions, or the rectangle's own where there is no natural size.
            const Size natural = originalSize();
            double aspect =
                natural.width > 0 && natural.height > 0 ? roundedToFloat(natural.width / natural.height) : 0;
            if (!(aspect > 0) || !std::isfinite(aspect))
                aspect = rect.size.width > 0 && rect.size.height > 0 ? rect.size.width / rect.size.height : 0;
            if (aspect > 0 && std::isfinite(aspect)) {
                dy = dx / aspect;
                if (handle == 1 || handle == 3) dy = -dy;
            }
        } else if (handle == 0 || handle == 1) {
            dy = 0;
        }
    }
    switch (handle) {
    case 0:
        result.origin.x += dx;
        result.origin.y += dy;
        result.size.width -= dx;
        result.size.height -= dy;
        break;
    case 1:
        result.origin.y += dy;
        result.size.width += dx;
        result.size.height -= dy;
        break;
    case 2:
        result.size.width += dx;
        result.size.height += dy;
        break;
    case 3:
        result.origin.x += dx;
        result.size.width -= dx;
        result.size.height += dy;
        break;
    default:
        break;
    }
    return result;
}

// --- Animation groups

double Object::timeForAnimationGroup(const PlistDictionary& group, const PlistDictionary& step,
                                     double compositionTime) const {
    const double stepTime = numberFor(step, "Time").value_or(0);
    const std::optional<double> insertion = numberFor(group, "InsertionTime");
    switch (insertion ? static_cast<int64_t>(*insertion) : 0) {
    case 0:
        return snapStartTime() + stepTime;
    case 1:
        return snapEndTime() - stepTime;
    case 2:
        return compositionTime + stepTime;
    default:
        logMessage("Animation Group Time could not be determined");
        return compositionTime;
    }
}

void Object::addAnimationGroupFromDictionary(const PlistDictionary& group) {
    addAnimationGroupFromDictionary(group, snapStartTime());
}

void Object::addAnimationGroupFromDictionary(const PlistDictionary& group, double compositionTime) {
    if (!std::isfinite(compositionTime)) {
        logMessage("Refused an animation group at a time that is not a finite number.");
        return;
    }
    std::vector<PlistDictionary> steps;
    if (const PropertyList* list = group.find("Steps"); list && list->arrayValue()) {
        for (const PropertyList& item : *list->arrayValue()) {
            const PlistDictionary* step = item.dictionaryValue();
            const std::optional<double> time = step ? numberFor(*step, "Time") : std::nullopt;
            if (step && (!time || std::isfinite(*time))) steps.push_back(*step);
        }
    }
    const bool fromEnd = numberFor(group, "InsertionTime").value_or(0) == 1;
    std::stable_sort(
        steps.begin(), steps.end(), [fromEnd](const PlistDictionary& a, const PlistDictionary& b) {
            const double ta = numberFor(a, "Time").value_or(0), tb = numberFor(b, "Time").value_or(0);
            return fromEnd ? ta > tb : ta < tb;
        });
    enableAnimations();
    const double timing = numberFor(group, "TimingFunction").value_or(0);
    const auto timingKind =
        static_cast<AnimationTimingKind>(timing >= 0 && timing <= 3 ? static_cast<uint32_t>(timing) : 0);

    struct Placed {
        const PlistDictionary* step;
        double time;
        std::shared_ptr<CompositionBaseState> keyframe;
    };
    std::vector<Placed> placed;
    for (const PlistDictionary& step : steps) {
        const double time = timeForAnimationGroup(group, step, compositionTime);
        const bool moves =
            step.find("Rect") || step.find("Scale") || step.find("scaling") || step.find("Rotation");
        const char* groupName = moves ? kGroupRectOrScaling : step.find("Alpha") ? kGroupOpacity : nullptr;
        if (!groupName) {
            // Without a value there is no group to look a keyframe up in: the step is left out.
            logMessage("no animation group name!");
            continue;
        }
        const double objectTime = time - startTime();
        auto keyframe = stateForTimeForAttributeGroupNamed(objectTime, TimeTolerance::Exact, groupName);
        if (!keyframe) {
            keyframe = createNewStateForTime(objectTime, groupName, NewStateValues::Interpolated);
            addNewState(keyframe);
        }
        placed.push_back({&step, time, keyframe});
    }

    const Size canvas = compositionObjectsContainer() ? compositionObjectsContainer()->canvasSize() : Size{};
    for (const Placed& entry : placed) {
        auto* keyframe = dynamic_cast<State*>(entry.keyframe.get());
        if (!keyframe) continue;
        const PlistDictionary& step = *entry.step;
        keyframe->setAnimationTimingKind(timingKind);
        if (std::optional<double> alpha = numberFor(step, "Alpha"); alpha && std::isfinite(*alpha))
            keyframe->setOpacity(static_cast<float>(opacityForTime(entry.time) * *alpha));
        if (const PropertyList* text = step.find("Rect"); text && text->stringValue()) {
            const Rect offset = rectFromString(*text->stringValue());
            if (std::isfinite(offset.origin.x) && std::isfinite(offset.origin.y))
                keyframe->moveByPointValue({offset.origin.x * canvas.width, offset.origin.y * canvas.height});
        }
        std::optional<double> scale = numberFor(step, "Scale");
        if (!scale) scale = numberFor(step, "scaling");
        if (scale && std::isfinite(*scale)) {
            if (wantsRectSetInsteadOfScalingForAnimationGroup()) {
                const Rect r = rectForTime(entry.time);
                const Size size{r.size.width * *scale, r.size.height * *scale};
                setRect(Rect(r.origin.x + (r.size.width - size.width) / 2,
                             r.origin.y + (r.size.height - size.height) / 2, size.width, size.height),
                        entry.time);
            } else {
                setScalingFactor(scalingFactorForTime(entry.time) * *scale, entry.time);
            }
        }
        if (std::optional<double> rotation = numberFor(step, "Rotation");
            rotation && std::isfinite(*rotation))
            keyframe->setRotation(static_cast<float>(keyframe->rotation() + *rotation));
    }
    invalidate();
}

} // namespace vtl
