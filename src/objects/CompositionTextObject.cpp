// CompositionTextObject: text and style, auto-resizing, the scaling factors kept in the
// keyframes, and the values the style stands in for.

#include "objects/CompositionTextObject.h"

#include "model/CompositionObjectsContainer.h"
#include "model/CompositionTextState.h"
#include "model/TimingCurves.h"
#include "objects/TextPicture.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/SinglePrecision.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vtl {

namespace {

using Object = CompositionTextObject;
using State = CompositionRectangularState;

std::mutex& providerMutex() {
    static std::mutex mutex;
    return mutex;
}
Object::DefaultStyleProvider& defaultStyleProvider() {
    static Object::DefaultStyleProvider provider;
    return provider;
}

const std::string& textRectGroup() {
    static const std::string name = kGroupRectOrScaling;
    return name;
}

RGBAColor fromArchived(const ArchivedColor& c) {
    return RGBAColor{c.red, c.green, c.blue, c.alpha, c.colorSpace != ArchivedColor::calibratedRgb};
}

} // namespace

void Object::setDefaultStyleProvider(DefaultStyleProvider provider) {
    std::lock_guard lock(providerMutex());
    defaultStyleProvider() = std::move(provider);
}

const ModelKeyTable<CompositionTextObject>& Object::keyValueTable() {
    static const auto table =
        ModelKeyTable<Object>()
            .undoable("textVisualization", &Object::textVisualizationStyle, &Object::setTextVisualization)
            .undoable("autoResizeMode", &Object::autoResizeMode, &Object::setAutoResizeMode)
            .property("text", &Object::text, &Object::setText);
    return table;
}

Object::CompositionTextObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Object::CompositionTextObject(CompositionObjectsContainer* container,
                              std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

Object::~CompositionTextObject() {
    removeObservers();
}

std::shared_ptr<CompositionBaseState> Object::newStateOfStateClass() {
    return makeModelObject<CompositionTextState>(this);
}

void Object::didConstruct() {
    const bool isNew = noneAnimationState() == nullptr;
    CompositionRectangularObject::didConstruct();
    if (!isNew) return;
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    setText(localizedString("New Text"));
    setRect(Rect(0, 0, 256, 64), 0.0);
    setPropertyNames({"TranslationPropertiesView.nib", "ObjectFrameRectProperties.nib", "ObjectScaling.nib",
                      "ObjectFramePropertiesView.nib", "TextPropertiesView.nib", "MaskProperties.nib",
                      "DependentObjectPropertiesView.nib"});
    setName(localizedString("New Text"));
    DefaultStyleProvider provider;
    {
        std::lock_guard lock(providerMutex());
        provider = defaultStyleProvider();
    }
    std::shared_ptr<TextVisualization> style = provider ? provider() : nullptr;
    setTextVisualization(style ? style : std::make_shared<TextVisualization>());
    setAutoResizeMode(true);
    CompositionUndoObject::setUndoDisabled(wasDisabled);
}

// --- Text and style

void Object::setText(const std::string& text) {
    const bool namedAfterText = text_ == name();
    setObservedValue("text", text_, text.empty() ? std::string(" ") : text);
    if (namedAfterText) setName(text_.substr(0, text_.find('\n')));
    if (autoResizeMode_) resizeToRequiredSize();
    invalidate();
}

void Object::setTextVisualization(const std::shared_ptr<TextVisualization>& style) {
    removeObservers();
    setObservedValue("textVisualization", textVisualization_, style);
    if (!style) return;
    if (CompositionObjectsContainer* container = compositionObjectsContainer()) {
        style->setDocument(container->document());
        container->projectTextVisualizationForVisualization(style);
    }
    addObservers();
    if (autoResizeMode_) resizeToRequiredSize();
    invalidate();
}

void Object::addObservers() {
    if (!textVisualization_) return;
    // The style's state announces its changes through the undo-change notification.
    for (const std::string& key : TextVisualization::observableKeyPaths()) {
        if (key.find('.') != std::string::npos) continue;
        styleTokens_.push_back(textVisualization_->addObserver(key, KeyValueObservingOptions::newValue,
                                                               nullptr, [this](const KeyValueChange& change) {
                                                                   if (!change.isPrior)
                                                                       textVisualizationChanged();
                                                               }));
    }
    styleUndoObserver_ =
        ScopedNotificationObserver(NotificationCenter::defaultCenter(),
                                   NotificationCenter::defaultCenter().addObserver(
                                       kVisualizationDidUndoChangeNotification, textVisualization_.get(),
                                       [this](const Notification&) { textVisualizationChanged(); }));
}

void Object::removeObservers() {
    if (textVisualization_)
        for (ObservableObject::Token token : styleTokens_)
            textVisualization_->removeObserver(token);
    styleTokens_.clear();
    styleUndoObserver_.reset();
}

void Object::textVisualizationChanged() {
    if (autoResizeMode_) resizeToRequiredSize();
    invalidate();
}

void Object::setAutoResizeMode(bool on) {
    setObservedValue("autoResizeMode", autoResizeMode_, on);
    if (on) {
        resizeToRequiredSize();
        invalidate();
    }
}

void Object::setUsesPreset(bool uses) {
    if (uses == usesPreset()) return;
    if (!uses) {
        if (!textVisualization_) return;
        auto own = std::dynamic_pointer_cast<TextVisualization>(textVisualization_->copy());
        if (!own) return;
        own->setAnonymous(true);
        setTextVisualization(own);
        return;
    }
    DefaultStyleProvider provider;
    {
        std::lock_guard lock(providerMutex());
        provider = defaultStyleProvider();
    }
    if (std::shared_ptr<TextVisualization> preset = provider ? provider() : nullptr)
        setTextVisualization(preset);
}

// --- Size

Size Object::requiredSize() const {
    if (!textVisualization_) return {};
    return requiredTextSize(text_, textPictureStyleFor(*textVisualization_));
}

void Object::resizeToRequiredSize() {
    const Size size = requiredSize();
    if (auto* none = dynamic_cast<State*>(noneAnimationState().get())) resizeState(*none, size);
    RecursiveMutexLock lock(statesLock());
    for (const auto& state : states())
        if (auto* rectangular = dynamic_cast<State*>(state.get())) resizeState(*rectangular, size);
}

void Object::resizeState(State& state, Size size) {
    if (!state.hasRectOrScaling()) return;
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return;
    const Rect r = state.rect();
    const double sx = roundedToFloat(state.xScalingFactor()), sy = roundedToFloat(state.yScalingFactor());
    Rect fresh(r.origin.x + (r.size.width - size.width) * sx * 0.5,
               r.origin.y + (r.size.height - size.height) * sy * 0.5, size.width, size.height);
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (container) {
        const Size canvas = container->canvasSize();
        auto pushBack = [](double& origin, double length, double canvasLength) {
            if (!(length < canvasLength)) return;
            if (origin >= 0 && origin + length <= canvasLength) return;
            double before = origin < 0 ? -origin : 0;
            double after = origin + length - canvasLength > 0 ? origin + length - canvasLength : 0;
            if (before + after > canvasLength) {
                before /= 2;
                after /= 2;
            }
            origin += before - after;
        };
        pushBack(fresh.origin.x, size.width, canvas.width);
        pushBack(fresh.origin.y, size.height, canvas.height);
    }
    state.setRect(fresh);
}

// --- Values the style stands in for

const State* Object::styleState() const {
    return textVisualization_ ? textVisualization_->state().get() : nullptr;
}

float Object::frameThicknessForTime(double) const {
    const State* state = styleState();
    return state ? state->frameThickness() : 0.0f;
}

RGBAColor Object::frameColorForTime(double) const {
    const State* state = styleState();
    return state && state->frameColor() ? *state->frameColor() : defaultFrameColor();
}

bool Object::drawsFrameAtTime(double) const {
    const State* state = styleState();
    return state && state->drawsFrame();
}

float Object::cornerRadiusForTime(double compositionTime) const {
    const State* state = styleState();
    const Rect rect = rectForTime(compositionTime);
    const float radius = state ? state->cornerRadius() : 0.0f;
    return std::min(
        {radius, static_cast<float>(rect.size.width / 2), static_cast<float>(rect.size.height / 2)});
}

void Object::setRect(const Rect& rect, double compositionTime) {
    if (autoResizeMode_ && rect.size != requiredSize()) setAutoResizeMode(false);
    CompositionRectangularObject::setRect(rect, compositionTime);
}

// --- Scaling kept in the keyframes

double Object::interpolatedScaling(double compositionTime, double (State::*value)() const) const {
    RecursiveMutexLock lock(statesLock());
    const GroupBracket found = bracketForAttributeGroup(compositionTime - startTime(), textRectGroup());
    const auto* from = dynamic_cast<const State*>(found.from);
    if (!from) {
        const auto* none = dynamic_cast<const State*>(noneAnimationState().get());
        return none ? (none->*value)() : 1.0;
    }
    const auto* to = dynamic_cast<const State*>(found.to);
    if (!to) return (from->*value)();
    const double start = startTime();
    const double p = animationProgressFromTimes(from->animationTimingKind(), compositionTime,
                                                start + from->time(), start + to->time());
    return (from->*value)() + ((to->*value)() - (from->*value)()) * p;
}

double Object::xScalingFactorForTime(double compositionTime) const {
    return interpolatedScaling(compositionTime, &State::xScalingFactor);
}

double Object::yScalingFactorForTime(double compositionTime) const {
    return interpolatedScaling(compositionTime, &State::yScalingFactor);
}

double Object::ratioForTime(double compositionTime) const {
    const double x = xScalingFactorForTime(compositionTime);
    return x != 0 && std::isfinite(x) ? yScalingFactorForTime(compositionTime) / x : 1.0;
}

void Object::setXScalingFactor(double factor, double compositionTime) {
    setScalingFactor(factor, compositionTime, true);
}

void Object::setYScalingFactor(double factor, double compositionTime) {
    setScalingFactor(factor, compositionTime, false);
}

void Object::setScalingFactor(double factor, double compositionTime, bool horizontal) {
    if (!std::isfinite(compositionTime)) return;
    if (!(factor >= minimumScalingFactor) || !std::isfinite(factor)) factor = minimumScalingFactor;
    Rect rect = rectForTime(compositionTime);
    const double current = roundedToFloat(horizontal ? xScalingFactorForTime(compositionTime)
                                                     : yScalingFactorForTime(compositionTime));
    if (current == factor) return;
    State* target = nullptr;
    if (isAnimationEnabled()) {
        const double objectTime = compositionTime - startTime();
        std::shared_ptr<CompositionBaseState> found =
            stateForTimeForAttributeGroupNamed(objectTime, TimeTolerance::Loose, textRectGroup());
        target = dynamic_cast<State*>(found.get());
        if (!target) {
            // The new keyframe carries the rect group (with the rect shown there), so the rect
            // written below lands in it.
            std::shared_ptr<CompositionBaseState> created =
                createNewStateForTime(objectTime, textRectGroup(), NewStateValues::Empty);
            target = dynamic_cast<State*>(created.get());
            if (!target) return;
            target->setRect(rect);
            target->setXScalingFactor(xScalingFactorForTime(compositionTime));
            target->setYScalingFactor(yScalingFactorForTime(compositionTime));
            addNewState(created);
        }
    } else {
        target = dynamic_cast<State*>(noneAnimationState().get());
        if (!target) return;
    }
    if (horizontal) {
        rect.origin.x += roundedToFloat((current - factor) * rect.size.width) * 0.5;
        target->setXScalingFactor(factor);
    } else {
        rect.origin.y += roundedToFloat((current - factor) * rect.size.height) * 0.5;
        target->setYScalingFactor(factor);
    }
    setRect(rect, compositionTime);
    invalidate();
}

// --- Copying

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionTextObject>(compositionObjectsContainer(), std::move(baseState));
}

void Object::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<Object*>(&base);
    if (!target) return;
    const bool wasDisabled = target->undoDisabled();
    target->CompositionUndoObject::setUndoDisabled(true);
    target->setText(text_);
    target->setTextVisualization(textVisualization_);
    target->setAutoResizeMode(autoResizeMode_);
    target->CompositionUndoObject::setUndoDisabled(wasDisabled);
}

// --- Archive

void Object::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    coder.encodeString("text", text_);
    coder.encodeObject("key_textVisualization", ArchivedValue(textVisualization_));
    coder.encodeBool("key_textAutoResizeMode", autoResizeMode_);
}

void Object::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    std::optional<std::string> text = coder.decodeStringForKey("text");
    text_ = text && !text->empty() ? *text : std::string(" ");
    // Reading installs the style without resizing: the stored rectangles stand.
    autoResizeMode_ = false;
    setTextVisualization(coder.decodeObjectOfClass<TextVisualization>("key_textVisualization"));
    autoResizeMode_ = coder.decodeBoolForKey("key_textAutoResizeMode");
    CompositionUndoObject::setUndoDisabled(wasDisabled);
}

void Object::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionTextObject", "CompositionRectangularObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionTextObject>(nullptr));
    });
}

TextPictureStyle textPictureStyleFor(const TextVisualization& style) {
    TextPictureStyle plain;
    plain.fontName = style.font().name;
    plain.pointSize = style.font().pointSize;
    plain.color = fromArchived(style.color());
    plain.alignment = style.alignment();
    plain.verticalAlignment = style.verticalAlignment();
    plain.horizontalPadding = style.horizontalPadding();
    plain.verticalPadding = style.verticalPadding();
    if (const auto& state = style.state()) {
        plain.drawsBackground = state->drawsBackground();
        plain.backgroundColor = state->backgroundColor().value_or(RGBAColor{0, 0, 0, 0, true});
        plain.drawsShadow = state->drawsShadow();
        plain.shadowColor = state->shadowColor().value_or(RGBAColor::device(0, 0, 0, 1));
        plain.shadowOpacity = state->shadowOpacity();
        plain.shadowRadius = state->shadowRadius();
        plain.shadowAngle = state->shadowAngle();
        plain.shadowDistance = state->shadowDistance();
    }
    return plain;
}

// --- Timeline thumbnail

void CompositionTextObject::invalidate() {
    thumbnail_.regenerateThumb();
    CompositionRectangularObject::invalidate();
}

void CompositionTextObject::tearDown() {
    thumbnail_.cancel();
    thumbnail_.dropThumbnail();
    CompositionRectangularObject::tearDown();
}

} // namespace vtl
