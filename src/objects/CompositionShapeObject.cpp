// CompositionShapeObject: defaults, keyframed shape attributes, the outline, the drawing into the
// canvas-sized picture and its cache key.

#include "objects/CompositionShapeObject.h"

#include "drawing/BezierPathAdditions.h"
#include "model/CompositionObjectsContainer.h"
#include "model/TimingCurves.h"
#include "objects/ImageCacheKey.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

using Object = CompositionShapeObject;
using State = CompositionShapeState;

const std::string& shapeFrameGroup() {
    static const std::string name = kGroupFrame;
    return name;
}

double shapeMix(double from, double to, double progress) {
    return from + (to - from) * progress;
}

bool allFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

Color drawingColor(const RGBAColor& c) {
    return Color(c.red, c.green, c.blue, c.alpha,
                 c.deviceRGB ? Color::Space::DeviceRGB : Color::Space::CalibratedRGB);
}

LineJoin lineJoinFor(uint64_t style) {
    switch (style) {
    case 1:
        return LineJoin::Round;
    case 2:
        return LineJoin::Bevel;
    default:
        return LineJoin::Miter;
    }
}

constexpr const char* kPolygonPane = "PolygonShapePropertiesView.nib";
constexpr const char* kLineJoinPane = "ShapeLineJoinStyle.nib";

bool kindHasLineJoinPane(int32_t kind) {
    return kind != 1 && kind != 4;
}

} // namespace

const ModelKeyTable<CompositionShapeObject>& Object::keyValueTable() {
    static const auto table =
        ModelKeyTable<Object>()
            .undoable("fillsAround", &Object::fillsAround, &Object::setFillsAround)
            .undoable("isDashed", &Object::isDashed, &Object::setIsDashed)
            .undoable("dashSize", &Object::dashSize, &Object::setDashSize)
            .undoable("lineJoinStyle", &Object::lineJoinStyle, &Object::setLineJoinStyle)
            .property("shapeKind", &Object::shapeKind, &Object::setShapeKind);
    return table;
}

Object::CompositionShapeObject(CompositionObjectsContainer* container, int32_t shapeKind)
    : ModelKeyCoding(container)
    , thisShapeKind_(shapeKind) {}

Object::CompositionShapeObject(CompositionObjectsContainer* container,
                               std::shared_ptr<CompositionBaseState> baseState, int32_t shapeKind)
    : ModelKeyCoding(container, std::move(baseState))
    , thisShapeKind_(shapeKind) {}

void Object::didConstruct() {
    const bool isNew = noneAnimationState() == nullptr;
    CompositionRectangularObject::didConstruct();
    if (isNew) applyShapeDefaults();
}

std::string Object::localizedNameForShapeKind(int32_t kind) {
    switch (kind) {
    case 0:
        return localizedString("ShapeKind_Name_Arrow");
    case 1:
    case 4:
        return localizedString("ShapeKind_Name_Circle");
    case 2:
        return localizedString("ShapeKind_Name_Polygon");
    case 3:
    case 5:
        return localizedString("ShapeKind_Name_Square");
    default:
        return {};
    }
}

// A new shape is not part of the composition yet: its defaults register no undo.
void Object::applyShapeDefaults() {
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    std::vector<std::string> panes{"TranslationPropertiesView.nib", "ObjectFrameRectProperties.nib",
                                   "ObjectFramePropertiesView.nib", "ObjectFrameDrawingPropertiesView.nib"};
    setPropertyNames(panes);
    if (thisShapeKind_ == 2) addPropertyName(kPolygonPane);
    if (kindHasLineJoinPane(thisShapeKind_)) addPropertyName(kLineJoinPane);
    for (const char* pane : {"ObjectFrameShadowPropertiesView.nib", "ShapePropertiesView.nib",
                             "MaskProperties.nib", "DependentObjectPropertiesView.nib"})
        addPropertyName(pane);
    setColor(RGBAColor{2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 1.0, false}, 0);
    setNumberOfCorners(6, 0);
    setIsStar(false, 0);
    setFilled(true, 0);
    setRayInset(0.5, 0);
    setRect(Rect(0, 0, 200, 200), 0);
    setDrawsShadow(true, 0);
    setShadowColor(RGBAColor::device(0, 0, 0, 0.75), 0);
    setShadowDistance(5, 0);
    setShadowRadius(5, 0);
    setName(localizedNameForShapeKind(thisShapeKind_));
    CompositionUndoObject::setUndoDisabled(wasDisabled);
}

std::shared_ptr<CompositionBaseState> Object::newStateOfStateClass() {
    return makeModelObject<CompositionShapeState>(this);
}

// --- Plain fields

void Object::setFillsAround(bool fills) {
    setObservedValue("fillsAround", fillsAround_, fills);
    invalidate();
}

void Object::setLineJoinStyle(uint64_t style) {
    setObservedValue("lineJoinStyle", lineJoinStyle_, style);
    invalidate();
}

// The dash enters the picture's key, so a change must show at once.
void Object::setIsDashed(bool dashed) {
    setObservedValue("isDashed", isDashed_, dashed);
    invalidate();
}

void Object::setDashSize(float size) {
    if (!std::isfinite(size)) {
        logMessage("Refused a dash size that is not a finite number.");
        return;
    }
    setObservedValue("dashSize", dashSize_, size);
    invalidate();
}

// --- Reading

Object::ShapeBracket Object::shapeBracketAt(double compositionTime) const {
    ShapeBracket result;
    const GroupBracket found = bracketForAttributeGroup(compositionTime - startTime(), shapeFrameGroup());
    result.from = dynamic_cast<const State*>(found.from);
    if (!result.from) {
        result.from = dynamic_cast<const State*>(noneAnimationState().get());
        return result;
    }
    result.to = dynamic_cast<const State*>(found.to);
    if (!result.to) return result;
    const double start = startTime();
    result.progress = animationProgressFromTimes(result.from->animationTimingKind(), compositionTime,
                                                 start + result.from->time(), start + result.to->time());
    return result;
}

RGBAColor Object::colorForTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const auto* none = dynamic_cast<const State*>(noneAnimationState().get());
    const RGBAColor fallback = none && none->color() ? *none->color() : RGBAColor{};
    const ShapeBracket b = shapeBracketAt(compositionTime);
    if (!b.from) return fallback;
    const RGBAColor a = b.from->color().value_or(fallback);
    if (!b.to) return a;
    const RGBAColor c = b.to->color().value_or(fallback);
    const double p = b.progress;
    return RGBAColor{shapeMix(a.red, c.red, p), shapeMix(a.green, c.green, p), shapeMix(a.blue, c.blue, p),
                     shapeMix(a.alpha, c.alpha, p), a.deviceRGB};
}

float Object::numberOfCornersAtTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const ShapeBracket b = shapeBracketAt(compositionTime);
    if (!b.from) return 0;
    if (!b.to) return static_cast<float>(b.from->numberOfCorners());
    return static_cast<float>(shapeMix(b.from->numberOfCorners(), b.to->numberOfCorners(), b.progress));
}

double Object::rayInsetAtTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const ShapeBracket b = shapeBracketAt(compositionTime);
    if (!b.from) return 0;
    if (!b.to) return b.from->rayInset();
    return shapeMix(b.from->rayInset(), b.to->rayInset(), b.progress);
}

bool Object::isFilledForTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const ShapeBracket b = shapeBracketAt(compositionTime);
    return b.from && b.from->isFilled();
}

bool Object::isStarAtTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const ShapeBracket b = shapeBracketAt(compositionTime);
    return b.from && b.from->isStar();
}

bool Object::isBubbleAtTime(double compositionTime) const {
    RecursiveMutexLock lock(statesLock());
    const ShapeBracket b = shapeBracketAt(compositionTime);
    return b.from && b.from->isBubble();
}

double Object::phaseFactorAtTime(double compositionTime, double (State::*value)() const) const {
    RecursiveMutexLock lock(statesLock());
    const StateList all = states();
    if (all.size() < 2) return 0.0;
    const auto* first = dynamic_cast<const State*>(all.front().get());
    const auto* last = dynamic_cast<const State*>(all.back().get());
    if (!first || !last) return 0.0;
    const double start = startTime();
    const double p = animationProgressFromTimes(first->animationTimingKind(), compositionTime,
                                                start + first->time(), start + last->time());
    return shapeMix((first->*value)(), (last->*value)(), p);
}

double Object::dashPhaseFactorForTime(double compositionTime) const {
    return phaseFactorAtTime(compositionTime, &State::dashPhaseFactor);
}

double Object::dentPhaseFactorForTime(double compositionTime) const {
    return phaseFactorAtTime(compositionTime, &State::dentPhaseFactor);
}

// --- Writing

// A new keyframe always takes the values shown at its time: one made for the colour alone would
// otherwise carry no corners and no frame group, and the shape would collapse towards it.
template <typename Write>
void Object::writeShapeAttribute(double compositionTime, bool alsoNoneState, Write&& write) {
    auto* none = dynamic_cast<State*>(noneAnimationState().get());
    if (isAnimationEnabled()) {
        const double time = compositionTime - startTime();
        std::shared_ptr<CompositionBaseState> found = stateForTime(time, TimeTolerance::Loose);
        if (auto* state = dynamic_cast<State*>(found.get())) {
            write(*state);
        } else {
            std::shared_ptr<CompositionBaseState> created =
                createNewStateForTime(time, shapeFrameGroup(), NewStateValues::Interpolated);
            if (auto* fresh = dynamic_cast<State*>(created.get())) {
                write(*fresh);
                addNewState(created);
            }
        }
        if (alsoNoneState && none) write(*none);
    } else if (none) {
        write(*none);
    }
    invalidate();
}

void Object::setColor(const RGBAColor& color, double compositionTime) {
    if (!allFinite({color.red, color.green, color.blue, color.alpha, compositionTime})) {
        logMessage("Refused a shape colour that is not finite.");
        return;
    }
    writeShapeAttribute(compositionTime, false, [&](State& state) { state.setColor(color); });
}

void Object::setNumberOfCorners(uint32_t corners, double compositionTime) {
    if (!std::isfinite(compositionTime)) return;
    writeShapeAttribute(compositionTime, false, [&](State& state) { state.setNumberOfCorners(corners); });
}

void Object::setFilled(bool filled, double compositionTime) {
    if (!std::isfinite(compositionTime)) return;
    writeShapeAttribute(compositionTime, true, [&](State& state) { state.setFilled(filled); });
}

void Object::setIsStar(bool star, double compositionTime) {
    if (!std::isfinite(compositionTime)) return;
    writeShapeAttribute(compositionTime, true, [&](State& state) { state.setIsStar(star); });
}

void Object::setIsBubble(bool bubble, double compositionTime) {
    if (!std::isfinite(compositionTime)) return;
    writeShapeAttribute(compositionTime, true, [&](State& state) { state.setIsBubble(bubble); });
}

void Object::setRayInset(double inset, double compositionTime) {
    if (!allFinite({inset, compositionTime})) {
        logMessage("Refused a ray inset that is not finite.");
        return;
    }
    writeShapeAttribute(compositionTime, true, [&](State& state) { state.setRayInset(inset); });
}

void Object::fillStateWithInterpolatedValuesForTime(CompositionBaseState& base, double compositionTime) {
    if (isAnimationEnabled()) {
        if (auto* state = dynamic_cast<State*>(&base)) {
            state->setNumberOfCorners(
                static_cast<uint32_t>(std::max(0.0f, numberOfCornersAtTime(compositionTime))));
            state->setColor(colorForTime(compositionTime));
            // Star and bubble exclude each other: the one that is set goes last.
            const bool star = isStarAtTime(compositionTime), bubble = isBubbleAtTime(compositionTime);
            state->setIsStar(star);
            state->setIsBubble(bubble);
            if (star) state->setIsStar(true);
            state->setFilled(isFilledForTime(compositionTime));
            state->setRayInset(rayInsetAtTime(compositionTime));
        }
    }
    CompositionRectangularObject::fillStateWithInterpolatedValuesForTime(base, compositionTime);
}

void Object::takeAttributesFromShape(const CompositionShapeObject& other) {
    auto source = std::dynamic_pointer_cast<State>(other.noneAnimationStateOrFirstAnimationState());
    auto target = std::dynamic_pointer_cast<State>(noneAnimationState());
    if (!source || !target) return;
    target->setColor(source->color());
    target->setNumberOfCorners(source->numberOfCorners());
    target->setIsStar(source->isStar());
    target->setFilled(source->isFilled());
    target->setRayInset(source->rayInset());
    target->setOpacityNumber(source->opacityNumber());
    target->setFrameThicknessNumber(source->frameThicknessNumber());
    target->setFrameColor(source->frameColor());
    target->setShadowColor(source->shadowColor());
    target->setShadowOpacity(source->shadowOpacity());
    target->setShadowRadius(source->shadowRadius());
    target->setShadowAngle(source->shadowAngle());
    target->setShadowDistance(source->shadowDistance());
    target->setCornerRadiusNumber(source->cornerRadiusNumber());
    target->setDrawsFrame(source->drawsFrame());
    target->setDrawsShadow(source->drawsShadow());
    target->setDrawsBackground(source->drawsBackground());
    target->setBackgroundColor(source->backgroundColor());
    setFillsAround(other.fillsAround());
}

// --- Copying

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionShapeObject>(compositionObjectsContainer(), std::move(baseState),
                                                   thisShapeKind_);
}

// The dash travels with the copy: a copy that drew solid would not look like what was copied.
void Object::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<Object*>(&base);
    if (!target) return;
    target->thisShapeKind_ = thisShapeKind_;
    target->fillsAround_ = fillsAround_;
    target->usesSpecialAlphaGradient_ = usesSpecialAlphaGradient_;
    target->lineJoinStyle_ = lineJoinStyle_;
    target->isDashed_ = isDashed_;
    target->dashSize_ = dashSize_;
}

// --- Outline

BezierPath Object::pathInRect(const Rect& rect, double compositionTime) const {
    BezierPath path;
    const double x = rect.origin.x, y = rect.origin.y, w = rect.size.width, h = rect.size.height;
    if (!allFinite({x, y, w, h})) return path;
    switch (thisShapeKind_) {
    case 0:
        path.moveTo({x + w / 2, y});
        path.lineTo({x + w, y + h / 2});
        path.lineTo({x + w / 2, y + h});
        path.lineTo({x + w / 2, y + 2 * h / 3});
        path.lineTo({x, y + 2 * h / 3});
        path.lineTo({x, y + h / 3});
        path.lineTo({x + w / 2, y + h / 3});
        path.closePath();
        return path;
    case 1:
    case 4:
        path.appendOvalInRect(rect);
        return path;
    case 3:
    case 5:
        path.appendRect(rect);
        return path;
    case 2:
        break;
    default:
        return path;
    }

    const bool bubble = isBubbleAtTime(compositionTime);
    float n = numberOfCornersAtTime(compositionTime);
    const double rayInset = rayInsetAtTime(compositionTime);
    const double inset = rayInset * (1.0 / 3.0) * static_cast<float>(std::min(w, h));
    if (!std::isfinite(n) || !std::isfinite(inset)) return path;
    n = std::min(n, static_cast<float>(maximumDrawnCorners));
    if (bubble) {
        const auto dents = static_cast<uint32_t>(std::max(0.0f, n));
        if (dents == 0) return path;
        return BezierPathAdditions::bezierPathWithBubbleInRect(
            rect, dents, static_cast<float>(inset * 0.5),
            static_cast<float>(dentPhaseFactorForTime(compositionTime)));
    }
    // Fewer than two corners outline nothing.
    if (n < 2) return path;
    const double cx = x + w / 2, cy = y + h / 2;
    const float rx = static_cast<float>(w / 2), ry = static_cast<float>(h / 2);
    const bool star = isStarAtTime(compositionTime);
    if (star) n *= 2;
    const float irx = std::max(static_cast<float>(rx - inset), 0.0f);
    const float iry = std::max(static_cast<float>(ry - inset), 0.0f);
    const int count = static_cast<int>(std::ceil(n));
    const float step = static_cast<float>(2 * M_PI) / n;
    const float firstRx = star ? irx : rx, firstRy = star ? iry : ry;
    path.moveTo({cx + firstRx * 0.70710677, cy + firstRy * 0.70710677});
    for (int i = 1; i < count; ++i) {
        const double a = i * step + M_PI / 4;
        const bool outer = !star || i % 2 == 1;
        const double px = outer ? rx : irx, py = outer ? ry : iry;
        path.lineTo({cx + px * std::sin(a), cy + py * std::cos(a)});
    }
    path.closePath();
    return path;
}

// --- Drawing

CIImage Object::ciImageAtTime(double compositionTime, const ColorSpaceRef& colorSpace) const {
    Pass pass;
    pass.fillsAround = fillsAround_;
    pass.fills = isFilledForTime(compositionTime);
    pass.color = colorForTime(compositionTime);
    pass.frameColor = frameColorForTime(compositionTime);
    pass.frameThickness = frameThicknessForTime(compositionTime);
    pass.drawsFrame = drawsFrameAtTime(compositionTime);
    pass.dashed = isDashed_;
    pass.dashSize = dashSize_;
    if (pass.fillsAround && pass.fills && pass.drawsFrame && pass.frameThickness > 0) {
        // The frame follows the shape's own outline, not the canvas edge the fill goes around.
        Pass fill = pass;
        fill.drawsFrame = false;
        Pass frame = pass;
        frame.fills = false;
        CIImage below = ciImageAtTime(compositionTime, fill, colorSpace);
        CIImage above = ciImageAtTime(compositionTime, frame, colorSpace);
        if (below.isNull()) return above;
        if (above.isNull()) return below;
        return above.imageByCompositingOverImage(below);
    }
    return ciImageAtTime(compositionTime, pass, colorSpace);
}

CIImage Object::ciImageAtTime(double compositionTime, const Pass& pass,
                              const ColorSpaceRef& colorSpace) const {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return {};
    const Size canvas = container->canvasSize();
    if (!allFinite({canvas.width, canvas.height}) || canvas.width < 1 || canvas.height < 1) return {};
    const Rect rect = rectForTime(compositionTime);
    BezierPath outline = pathInRect(rect, compositionTime);
    if (outline.isEmpty()) return {};
    if (std::optional<AffineTransform> turn = handleTransformAtTime(compositionTime, rect))
        outline.transform(*turn);
    FillRule rule = FillRule::Winding;
    if (pass.fills && pass.fillsAround) {
        outline.appendRect(Rect(0, 0, canvas.width, canvas.height));
        rule = FillRule::EvenOdd;
    }

    VTLImageWrapper wrapper;
    std::shared_ptr<GraphicsContext> context = wrapper.beginContextWithSize(canvas, colorSpace, false);
    if (!context) return {};
    rasterisations_.fetch_add(1, std::memory_order_relaxed);
    context->setLineJoin(lineJoinFor(lineJoinStyle_));
    if (pass.fills) {
        context->setFillColor(drawingColor(pass.color));
        context->fill(outline, rule);
    }
    if (pass.drawsFrame && pass.frameThickness > 0 && std::isfinite(pass.frameThickness)) {
        context->setStrokeColor(drawingColor(pass.frameColor));
        context->setLineWidth(pass.frameThickness);
        // Dashes shorter than a unit (or from a damaged document) would stall the stroker: solid.
        if (pass.dashed && std::isfinite(pass.dashSize) && pass.dashSize >= 1) {
            const double phase = dashPhaseFactorForTime(compositionTime) * 1.6 * pass.dashSize;
            context->setLineDash(std::isfinite(phase) ? phase : 0.0, {pass.dashSize, pass.dashSize * 0.6});
        }
        context->stroke(outline);
    }
    return wrapper.releaseContextAndCreateCIImage();
}

uint64_t Object::shapeImageCacheHashForTime(double t) const {
    ImageCacheKey key;
    key.add(static_cast<uint64_t>(static_cast<int64_t>(thisShapeKind_)));
    key.addFlag(fillsAround_);
    key.addFlag(isFilledForTime(t));
    key.addFlag(isStarAtTime(t));
    key.addFlag(isBubbleAtTime(t));
    key.addScaled(rayInsetAtTime(t), 10);
    key.addFlag(drawsFrameAtTime(t));
    key.addScaled(numberOfCornersAtTime(t), 10);
    key.addScaled(dashPhaseFactorForTime(t), 100);
    key.addScaled(dentPhaseFactorForTime(t), 1000);
    const Rect rect = rectForTime(t);
    key.addScaled(rect.size.width, 10);
    key.addScaled(rect.size.height, 10);
    key.addScaled(rect.origin.x, 10);
    key.addScaled(rect.origin.y, 10);
    key.add(lineJoinStyle_);
    key.addScaled(rotationForTime(t), 1000);
    for (const RGBAColor& c : {colorForTime(t), frameColorForTime(t)}) {
        key.addScaled(c.red, 100);
        key.addScaled(c.green, 100);
        key.addScaled(c.blue, 100);
        key.addScaled(c.alpha, 100);
    }
    key.addScaled(frameThicknessForTime(t), 100);
    // The dash and the canvas (which a fill-around covers) change the picture as well.
    key.addFlag(isDashed_);
    key.addScaled(dashSize_, 100);
    if (const CompositionObjectsContainer* container = compositionObjectsContainer()) {
        key.addScaled(container->canvasSize().width, 1);
        key.addScaled(container->canvasSize().height, 1);
    }
    return key.value();
}

CIImage Object::createImageAtTime(const ObjectImageRequest& request) {
    const double compositionTime = request.compositionTime;
    // Scales from a damaged document or a broken caller give no picture rather than an empty one.
    if (!std::isfinite(request.xFactor) || !std::isfinite(request.yFactor) || !(request.xFactor > 0) ||
        !(request.yFactor > 0))
        return {};
    const std::string path = request.forExport() ? kCachePathExportImage : kCachePathImage;
    ObjectRendererResources* cache = request.renderer;
    uint64_t key = shapeImageCacheHashForTime(compositionTime);
    // The scale is part of what is stored under the path.
    ImageCacheKey scaled;
    scaled.add(key);
    scaled.addScaled(request.xFactor, 10000);
    scaled.addScaled(request.yFactor, 10000);
    key = scaled.value();
    const bool bypass = takeInvalidateCachedVersionNextRun();
    if (cache && !bypass) {
        bool valid = false;
        const uint64_t stored = cache->timeForObject(*this, path, &valid);
        if (valid && stored == key) {
            CIImage cached = cache->cachedImageForObject(*this, path);
            if (!cached.isNull()) return cached;
        }
    }
    CIImage image = ciImageAtTime(compositionTime, cache ? cache->workingColorSpace() : ColorSpaceRef());
    if (cache) cache->setCachedImage(CIImage(), *this, kCachePathShadowImage, 0);
    if (image.isNull()) {
        if (cache) cache->setCachedImage(CIImage(), *this, path, 0);
        return image;
    }
    const Rect rect = rectForTime(compositionTime);
    image = image.imageByApplyingTransform(AffineTransform::translation(-rect.origin.x, -rect.origin.y));
    if (request.xFactor != 1.0 || request.yFactor != 1.0f)
        image = image.imageByApplyingTransform(AffineTransform::scale(request.xFactor, request.yFactor));
    if (cache) cache->setCachedImage(image, *this, path, key);
    return image;
}

// --- Timeline thumbnail

void CompositionShapeObject::invalidate() {
    thumbnail_.regenerateThumb();
    CompositionRectangularObject::invalidate();
}

void CompositionShapeObject::tearDown() {
    thumbnail_.cancel();
    thumbnail_.dropThumbnail();
    CompositionRectangularObject::tearDown();
}

} // namespace vtl
