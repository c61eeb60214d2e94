// Keyed-archive form of the keyframe states and the timeline object base. Decoding writes the
// fields directly, so reading an archive registers no undo and posts nothing.

#include "model/CompositionModelArchiving.h"

#include "model/BaseVisualization.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionChapterMark.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/CompositionShapeState.h"
#include "model/CompositionTextState.h"
#include "model/CompositionTrackState.h"
#include "model/DocumentMediaManager.h"
#include "model/TransitionCapability.h"
#include "model/VistrelLanguage.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

#include <algorithm>

namespace vtl {

namespace {

ArchivedColor archivedColor(const RGBAColor& color) {
    return ArchivedColor{color.red, color.green, color.blue, color.alpha,
                         color.deviceRGB ? ArchivedColor::deviceRgb : ArchivedColor::calibratedRgb};
}

std::optional<RGBAColor> decodeModelColor(KeyedUnarchiver& coder, std::string_view key) {
    std::optional<ArchivedColor> color = coder.decodeColorForKey(key);
    if (!color) return std::nullopt;
    return RGBAColor{color->red, color->green, color->blue, color->alpha,
                     color->colorSpace != ArchivedColor::calibratedRgb};
}

void encodeModelColor(KeyedArchiver& coder, std::string_view key, const std::optional<RGBAColor>& color) {
    if (color) coder.encodeColor(key, archivedColor(*color));
}

std::optional<double> widened(const std::optional<float>& value) {
    return value ? std::optional<double>(*value) : std::nullopt;
}

// An optional float group: the number, else the absence flag, else the older bare float.
std::optional<float> decodeOptionalFloat(KeyedUnarchiver& coder, std::string_view numberKey,
                                         std::string_view absentKey, std::string_view olderKey) {
    KeyedUnarchiver::OptionalNumber number = coder.decodeOptionalNumber(numberKey, absentKey);
    switch (number.state) {
    case KeyedUnarchiver::OptionalNumberState::Present:
        return static_cast<float>(number.value);
    case KeyedUnarchiver::OptionalNumberState::Absent:
        return std::nullopt;
    case KeyedUnarchiver::OptionalNumberState::Missing:
        break;
    }
    return coder.decodeFloatForKey(olderKey);
}

// An optional boolean: the number key, else the older boolean key (NO when missing too).
bool decodeNumberOrOlderBool(KeyedUnarchiver& coder, std::string_view numberKey, std::string_view olderKey) {
    if (coder.containsValueForKey(numberKey)) {
        if (std::optional<double> number = coder.decodeNumberForKey(numberKey)) return *number != 0;
    }
    return coder.decodeBoolForKey(olderKey);
}

PlistDictionary toPlistDictionary(const ArchivedDictionary& dictionary) {
    PropertyList value = ArchivedValue(dictionary).toPropertyList();
    const PlistDictionary* converted = value.dictionaryValue();
    return converted ? *converted : PlistDictionary();
}

template <typename T> ArchiveClassRegistry::Factory factoryOf() {
    return [] { return std::static_pointer_cast<Archivable>(makeModelObject<T>(nullptr)); };
}

} // namespace

// --- CompositionBaseState

void CompositionBaseState::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeDouble("time", time_);
    coder.encodeObject("object", object_);
    ArchivedArray effects;
    for (const EffectEntry& entry : effects_)
        effects.push_back(ArchivedValue::fromPropertyList(PropertyList(entry)));
    coder.encodeObject("key_effects", ArchivedValue(std::move(effects)));
    coder.encodeObject("key_effectValues", ArchivedValue::fromPropertyList(PropertyList(effectValues_)));
    coder.encodeBool("isDisabled", isDisabled_);
}

void CompositionBaseState::initWithCoder(KeyedUnarchiver& coder) {
    object_ = coder.decodeObjectOfClass<CompositionBaseObject>("object").get();
    time_ = coder.decodeDoubleForKey("time");
    isDisabled_ = coder.decodeBoolForKey("isDisabled");
    effects_.clear();
    if (std::optional<ArchivedArray> effects = coder.decodeArrayForKey("key_effects")) {
        for (const ArchivedValue& item : *effects) {
            if (const ArchivedDictionary* entry = item.dictionaryValue())
                effects_.push_back(toPlistDictionary(*entry));
        }
    }
    effectValues_.clear();
    if (std::optional<ArchivedDictionary> values = coder.decodeDictionaryForKey("key_effectValues")) {
        for (const auto& [name, value] : *values) {
            if (const ArchivedDictionary* perEffect = value.dictionaryValue()) {
                effectValues_.set(name, PropertyList(toPlistDictionary(*perEffect)));
            }
        }
    }
}

// --- CompositionRectangularState

void CompositionRectangularState::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionBaseState::encodeWithCoder(coder);
    coder.encodeInt32("key_animationTimingFuction", static_cast<int32_t>(timingKind_));
    if (rectValue_) {
        coder.encodeString("key_rectObject", stringFromRect(*rectValue_));
    } else {
        coder.encodeBool("key_no_rect", true);
    }
    coder.encodeRect("rect", rect());
    coder.encodeOptionalNumber("key_opacityObject", "key_no_opacity", widened(opacityNumber_));
    coder.encodeOptionalNumber("rotationObject", "key_no_rotation", widened(rotationNumber_));
    coder.encodeOptionalNumber("key_frameThicknessObject", "key_no_frame", widened(frameThicknessNumber_));
    coder.encodeOptionalNumber("key_cornerRadiusNumber", "key_no_CornerRadius", widened(cornerRadiusNumber_));
    coder.encodeDouble("key_xScalingFactor", xScalingFactor_);
    coder.encodeDouble("key_yScalingFactor", yScalingFactor_);
    // The plain frame-thickness field is never set; older readers expect the key.
    coder.encodeFloat("key_frameThickness", 0.0f);
    encodeModelColor(coder, "key_frameColor", frameColor_);
    encodeModelColor(coder, "key_shadowColor", shadowColor_);
    coder.encodeFloat("key_shadowOpacity", shadowOpacity_);
    coder.encodeFloat("key_shadowRadius", shadowRadius_);
    coder.encodeFloat("key_shadowAngle", shadowAngle_);
    coder.encodeFloat("key_shadowDistance", shadowDistance_);
    coder.encodeBool("key_drawsFrame", drawsFrame_);
    coder.encodeBool("key_drawsShadow", drawsShadow_);
    coder.encodeBool("key_drawsBackground", drawsBackground_);
    encodeModelColor(coder, "backgroundColor", backgroundColor_);
}

void CompositionRectangularState::initWithCoder(KeyedUnarchiver& coder) {
    CompositionBaseState::initWithCoder(coder);
    xScalingFactor_ = coder.decodeDoubleForKey("key_xScalingFactor");
    yScalingFactor_ = coder.decodeDoubleForKey("key_yScalingFactor");

    rectValue_.reset();
    auto storeRect = [this](const Rect& r) {
        if (r.size.width != 0 && r.size.height != 0) rectValue_ = r;
    };
    if (std::optional<std::string> text = coder.decodeStringForKey("key_rectObject")) {
        storeRect(rectFromString(*text));
    } else if (!coder.decodeBoolForKey("key_no_rect")) {
        storeRect(coder.decodeRectForKey("rect"));
    }
    opacityNumber_ = decodeOptionalFloat(coder, "key_opacityObject", "key_no_opacity", "opacity");
    rotationNumber_ = decodeOptionalFloat(coder, "rotationObject", "key_no_rotation", "rotation");
    frameThicknessNumber_ =
        decodeOptionalFloat(coder, "key_frameThicknessObject", "key_no_frame", "key_frameThickness");
    cornerRadiusNumber_ =
        decodeOptionalFloat(coder, "key_cornerRadiusNumber", "key_no_CornerRadius", "key_cornerRadius");

    frameColor_ = decodeModelColor(coder, "key_frameColor");
    shadowColor_ = decodeModelColor(coder, "key_shadowColor");
    shadowOpacity_ = coder.decodeFloatForKey("key_shadowOpacity");
    shadowRadius_ = coder.decodeFloatForKey("key_shadowRadius");
    shadowAngle_ = coder.decodeFloatForKey("key_shadowAngle");
    shadowDistance_ = coder.decodeFloatForKey("key_shadowDistance");
    drawsFrame_ = coder.decodeBoolForKey("key_drawsFrame");
    drawsShadow_ = coder.decodeBoolForKey("key_drawsShadow");
    drawsBackground_ = coder.decodeBoolForKey("key_drawsBackground");
    backgroundColor_ = decodeModelColor(coder, "backgroundColor");
    timingKind_ = static_cast<AnimationTimingKind>(coder.decodeInt32ForKey("key_animationTimingFuction"));
    if (xScalingFactor_ == 0) xScalingFactor_ = 1.0;
    if (yScalingFactor_ == 0) yScalingFactor_ = 1.0;
}

// --- CompositionShapeState

void CompositionShapeState::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularState::encodeWithCoder(coder);
    encodeModelColor(coder, "fillColor", color_);
    coder.encodeInt64("key_numberOfCorners", numberOfCorners_);
    coder.encodeBool("key_isStar", isStar_);
    coder.encodeBool("key_isBubble", isBubble_);
    coder.encodeBool("key_isFilled", isFilled_);
    coder.encodeDouble("key_rayInset", rayInset_);
    coder.encodeDouble("key_dashPhaseFactor", dashPhaseFactor_);
    coder.encodeDouble("key_dentPhaseFactor", dentPhaseFactor_);
}

void CompositionShapeState::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularState::initWithCoder(coder);
    color_ = decodeModelColor(coder, "fillColor");
    const int64_t corners = coder.decodeInt64ForKey("key_numberOfCorners");
    numberOfCorners_ = corners < 0 || corners > UINT32_MAX ? 0 : static_cast<uint32_t>(corners);
    // Stored as read: an archive may hold both flags.
    isStar_ = coder.decodeBoolForKey("key_isStar");
    isBubble_ = coder.decodeBoolForKey("key_isBubble");
    isFilled_ = coder.decodeBoolForKey("key_isFilled");
    rayInset_ = coder.decodeDoubleForKey("key_rayInset");
    dashPhaseFactor_ = coder.decodeDoubleForKey("key_dashPhaseFactor");
    dentPhaseFactor_ = coder.decodeDoubleForKey("key_dentPhaseFactor");
}

// --- CompositionTrackState

void CompositionTrackState::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularState::encodeWithCoder(coder);
    coder.encodeDouble("key_playbackSpeed", playbackSpeed_);
    if (visualizesMouseCursorNumber_) {
        coder.encodeObject("key_visualizesMouseCursorNumber", ArchivedValue(*visualizesMouseCursorNumber_));
    }
    coder.encodeInt32("key_mouseCursorKind", static_cast<int32_t>(mouseCursorKind_));
    coder.encodeBool("key_visualizesModifiers", visualizesModifers_);
    if (visualizesMouseEventsNumber_) {
        coder.encodeObject("key_visualizesMouseEventsNumber", ArchivedValue(*visualizesMouseEventsNumber_));
    }
    coder.encodeBool("key_playsSoundForMouseClicks", playsSoundForMouseClicks_);
}

void CompositionTrackState::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularState::initWithCoder(coder);
    playbackSpeed_ = coder.decodeDoubleForKey("key_playbackSpeed");
    if (playbackSpeed_ == 0) playbackSpeed_ = 1.0;
    visualizesMouseCursorNumber_ =
        decodeNumberOrOlderBool(coder, "key_visualizesMouseCursorNumber", "key_visualizesMouseCursor");
    mouseCursorKind_ = mouseCursorKindFromNumber(coder.decodeInt32ForKey("key_mouseCursorKind"));
    visualizesModifers_ = coder.decodeBoolForKey("key_visualizesModifiers");
    visualizesMouseEventsNumber_ =
        decodeNumberOrOlderBool(coder, "key_visualizesMouseEventsNumber", "key_visualizesMouseEvents");
    playsSoundForMouseClicks_ = coder.decodeBoolForKey("key_playsSoundForMouseClicks");
}

// --- CompositionBaseObject

void CompositionBaseObject::encodeWithCoder(KeyedArchiver& coder) const {
    const bool full = serializationMode_ == SerializationMode::Full;
    if (full) coder.encodeObject("compositionObjectsContainer", compositionObjectsContainer());
    coder.encodeString("name", name_);
    coder.encodeDouble("startTime", startTime_);
    coder.encodeDouble("endTime", endTime_);
    if (full) coder.encodeObject("key_containerTrack", ArchivedValue(containerTrack_));
    coder.encodeObject("noneAnimationState", ArchivedValue(noneAnimationState_));
    coder.encodeArray("states", states());
    ArchivedArray panes;
    for (const std::string& pane : propertyNames_)
        panes.emplace_back(pane);
    coder.encodeObject("propertyNames", ArchivedValue(std::move(panes)));
    if (full) {
        coder.encodeArray("dependentTracks", dependentTracks_);
        coder.encodeObject("owningTrack", ArchivedValue(owningTrack()));
    }
    coder.encodeBool("key_animationEnabled", animationEnabled_);
    coder.encodeString("key_uniqueID", uniqueID_);
    coder.encodeObject("key_languageScript", ArchivedValue(language_));
    coder.encodeInt32("key_animationStatesStretchMode", static_cast<int32_t>(stretchMode_));
    if (!triggeredStates_.empty()) coder.encodeArray("key_triggeredStates", triggeredStates_);
    if (metaData_)
        coder.encodeObject("key_metaData", ArchivedValue::fromPropertyList(PropertyList(*metaData_)));
}

void CompositionBaseObject::initWithCoder(KeyedUnarchiver& coder) {
    setObjectsContainer(
        coder.decodeObjectOfClass<CompositionObjectsContainer>("compositionObjectsContainer").get());
    if (std::optional<std::string> name = coder.decodeStringForKey("name")) name_ = *name;
    startTime_ = coder.decodeDoubleForKey("startTime");
    endTime_ = coder.decodeDoubleForKey("endTime");
    // The track's clip set is filled by the track itself when it is decoded.
    containerTrack_ = coder.decodeObjectOfClass<CompositionObjectsContainerTrack>("key_containerTrack");
    rememberedTrack_ = containerTrack_;
    // The keyframes belong to this object whatever their back-references say, so none is left
    // pointing at an object that a damaged archive made and nobody keeps. One that a damaged
    // archive lists in two objects stays with the first; the second takes a copy. (Every object
    // the back-references name is alive until decoding ends.)
    auto claimState = [this](std::shared_ptr<CompositionBaseState> state) {
        const CompositionBaseObject* owner = state->baseObject();
        if (owner && owner != this && owner->listsState(*state)) state = state->copy();
        state->adoptBaseObject(this);
        return state;
    };
    if (auto state = coder.decodeObjectOfClass<CompositionBaseState>("noneAnimationState"))
        noneAnimationState_ = claimState(std::move(state));
    // A timeline object is never a triggered state; refusing it keeps a damaged archive from
    // making an object own itself.
    TriggeredStateList triggered;
    for (auto& state : coder.decodeArrayOfObjects<CompositionBaseTriggeredState>("key_triggeredStates")) {
        const CompositionBaseObject* owner = state->object();
        if (owner && owner != this && owner->listsTriggeredState(*state)) state = state->copy();
        state->setObject(this);
        triggered.push_back(std::move(state));
    }
    StateList decodedStates;
    for (auto& state : coder.decodeArrayOfObjects<CompositionBaseState>("states"))
        decodedStates.push_back(claimState(std::move(state)));
    setStatesTriggeredStates(std::move(decodedStates), std::move(triggered));
    std::vector<std::string> panes;
    if (std::optional<ArchivedArray> items = coder.decodeArrayForKey("propertyNames")) {
        for (const ArchivedValue& item : *items) {
            if (const std::string* pane = item.stringValue()) panes.push_back(*pane);
        }
    }
    setPropertyNames(panes);
    // One level of dependency: a dependent with dependents of its own (or this object itself) is
    // dropped, which also keeps a damaged archive from forming an ownership cycle.
    dependentTracks_.clear();
    for (auto& dependent : coder.decodeArrayOfObjects<CompositionBaseObject>("dependentTracks")) {
        if (dependent.get() != this && !dependent->hasDependentTracks())
            dependentTracks_.push_back(std::move(dependent));
    }
    owningTrack_ = coder.decodeObjectOfClass<CompositionBaseObject>("owningTrack");
    animationEnabled_ = coder.decodeBoolForKey("key_animationEnabled");
    std::optional<std::string> identifier = coder.decodeStringForKey("key_uniqueID");
    uniqueID_ = identifier && !identifier->empty() ? *identifier : makeGloballyUniqueString();
    language_ = coder.decodeObjectOfClass<VistrelLanguage>("key_languageScript");
    if (!language_) language_ = VistrelLanguage::languageWithLanguageScript(VistrelLanguage::kAllLanguages);
    // Older archives kept their keyframes in place.
    stretchMode_ = stretchModeFromNumber(coder.decodeInt32ForKey("key_animationStatesStretchMode"));
    metaData_.reset();
    if (std::optional<ArchivedDictionary> metaData = coder.decodeDictionaryForKey("key_metaData")) {
        metaData_ = toPlistDictionary(*metaData);
    }
    recacheNamesOfAllUsedEffects();
    serializationMode_ = SerializationMode::Full;
}

// --- CompositionObjectsContainer

void CompositionObjectsContainer::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeArray("objects", objects_);
    coder.encodeSize("canvasSize", canvasSize_);
    coder.encodeArray("key_projectMouseVisualizations", projectMouseVisualizations_);
    coder.encodeArray("key_projectTextVisualizations", projectTextVisualizations_);
    coder.encodeArray("key_containerTracks", tracks_);
    encodeModelColor(coder, "key_backgroundColor1", backgroundColor1_);
    encodeModelColor(coder, "key_backgroundColor2", backgroundColor2_);
    coder.encodeInt32("key_backgroundKind", static_cast<int32_t>(backgroundKind_));
    coder.encodeFloat("key_audioExtentScaling", audioExtentScale_);
    // The marks form a set; they are written by time (then name) so equal sets give equal archives.
    auto marks = chapterMarks_;
    std::stable_sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) {
        return a->time() != b->time() ? a->time() < b->time() : a->name() < b->name();
    });
    coder.encodeArray("key_chapterMarks", marks);
    coder.encodeObject("key_metaData", ArchivedValue::fromPropertyList(PropertyList(metaData_)));
    encodeModelColor(coder, "key_shadowColor", globalShadowColor_);
    coder.encodeFloat("key_shadowAngle", globalShadowAngle_);
    coder.encodeFloat("key_shadowDistance", globalShadowDistance_);
    coder.encodeFloat("key_shadowRadius", globalShadowRadius_);
    coder.encodeFloat("key_shadowOpacity", globalShadowOpacity_);
}

void CompositionObjectsContainer::initWithCoder(KeyedUnarchiver& coder) {
    // A decoded container follows only the time changes; its caches wait for the document.
    if (observers_.size() > 1) observers_.pop_back();
    projectMouseVisualizations_ =
        coder.decodeArrayOfObjects<BaseVisualization>("key_projectMouseVisualizations");
    projectTextVisualizations_ =
        coder.decodeArrayOfObjects<BaseVisualization>("key_projectTextVisualizations");
    tracks_ = coder.decodeArrayOfObjects<CompositionObjectsContainerTrack>("key_containerTracks");
    for (const auto& track : tracks_)
        track->setObjectsContainer(this);
    objects_ = coder.decodeArrayOfObjects<CompositionBaseObject>("objects");
    // A transition whose links a damaged archive broke leaves the composition (it logs why).
    ObjectList kept;
    for (const auto& object : objects_) {
        TransitionCapability* transition = object->asTransition();
        if (transition && !transition->repairLinksAfterDecoding(objects_)) {
            if (const auto& track = object->containerTrack()) track->removeClip(object.get());
            continue;
        }
        kept.push_back(object);
    }
    objects_ = std::move(kept);
    canvasSize_ = coder.decodeSizeForKey("canvasSize");
    if (auto color = decodeModelColor(coder, "key_backgroundColor1")) backgroundColor1_ = *color;
    if (auto color = decodeModelColor(coder, "key_backgroundColor2")) backgroundColor2_ = *color;
    backgroundKind_ = backgroundKindFromNumber(coder.decodeInt32ForKey("key_backgroundKind"));
    audioExtentScale_ = coder.decodeFloatForKey("key_audioExtentScaling");
    createGlobalShadow();
    if (auto color = decodeModelColor(coder, "key_shadowColor")) {
        globalShadowColor_ = *color;
        globalShadowAngle_ = coder.decodeFloatForKey("key_shadowAngle");
        globalShadowDistance_ = coder.decodeFloatForKey("key_shadowDistance");
        globalShadowRadius_ = coder.decodeFloatForKey("key_shadowRadius");
        globalShadowOpacity_ = coder.decodeFloatForKey("key_shadowOpacity");
    }
    chapterMarks_ = coder.decodeArrayOfObjects<CompositionChapterMark>("key_chapterMarks");
    currentLanguageScript_ = -1;
    metaData_.clear();
    if (std::optional<ArchivedDictionary> metaData = coder.decodeDictionaryForKey("key_metaData"))
        metaData_ = toPlistDictionary(*metaData);
    inExport_ = false;
}

void registerCompositionModelClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionObjectsContainerTrack", "CompositionUndoObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionObjectsContainerTrack>());
    });
    registry.registerClass("CompositionChapterMark", "CompositionUndoObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionChapterMark>());
    });
    registry.registerClass("CompositionBaseTriggeredState", "CompositionUndoObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionBaseTriggeredState>());
    });
    registry.registerClass("CompositionEventTriggeredState", "CompositionBaseTriggeredState", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionEventTriggeredState>());
    });
    registry.registerClass("CompositionTrackTriggeredState", "CompositionBaseTriggeredState", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionTrackTriggeredState>());
    });
    registry.registerClass("CompositionMediaEntry", "NSObject", [] {
        return std::static_pointer_cast<Archivable>(std::make_shared<CompositionMediaEntry>());
    });
    registry.registerClass("DocumentMediaManager", "NSObject", [] {
        return std::static_pointer_cast<Archivable>(std::make_shared<DocumentMediaManager>());
    });
    registry.registerClass("VistrelLanguage", "NSObject", [] {
        return std::static_pointer_cast<Archivable>(std::make_shared<VistrelLanguage>());
    });
    registry.registerClass("CompositionUndoObject", "NSObject", nullptr);
    BaseVisualization::registerClasses(registry);
    registry.registerClass("CompositionObjectsContainer", "CompositionUndoObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionObjectsContainer>());
    });
    registry.registerClass("CompositionBaseState", "CompositionUndoObject",
                           factoryOf<CompositionBaseState>());
    registry.registerClass("CompositionRectangularState", "CompositionBaseState",
                           factoryOf<CompositionRectangularState>());
    registry.registerClass("CompositionShapeState", "CompositionRectangularState",
                           factoryOf<CompositionShapeState>());
    registry.registerClass("CompositionTextState", "CompositionRectangularState",
                           factoryOf<CompositionTextState>());
    registry.registerClass("CompositionTrackState", "CompositionRectangularState",
                           factoryOf<CompositionTrackState>());
    registry.registerClass("CompositionMovieTrackState", "CompositionTrackState",
                           factoryOf<CompositionMovieTrackState>());
    registry.registerClass("CompositionBaseObject", "CompositionUndoObject",
                           factoryOf<CompositionBaseObject>());
}

} // namespace vtl
