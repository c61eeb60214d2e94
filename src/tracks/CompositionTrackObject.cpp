#include "tracks/CompositionTrackObject.h"

#include "audio/AudioPlayer.h"
#include "model/CompositionEventTriggeredState.h"
#include "model/CompositionObjectsContainer.h"
#include "objects/MouseVisualization.h"
#include "objects/RectangularObjectArchiving.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "tracks/metadata/RecordedMouseData.h"

#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

using Track = CompositionTrackObject;

Mutex& extractingMutex() {
    static Mutex mutex;
    return mutex;
}

std::shared_ptr<CompositionTrackObject>& extractingTrack() {
    static std::shared_ptr<CompositionTrackObject> track;
    return track;
}

} // namespace

const std::vector<std::string>& Track::defaultPropertyNames() {
    static const std::vector<std::string> names = {"TranslationPropertiesView.nib",
                                                   "ObjectScaling.nib",
                                                   "ObjectFramePropertiesView.nib",
                                                   "ObjectFrameDrawingPropertiesView.nib",
                                                   "ObjectCornerRadiusPropertyView.nib",
                                                   "ObjectFrameShadowPropertiesView.nib",
                                                   "MaskProperties.nib",
                                                   "DependentObjectPropertiesView.nib"};
    return names;
}

const std::vector<std::string>& Track::observedProperties() {
    static const std::vector<std::string> keys = {
        "duration",        "strength",  "size",           "filled",         "leftClickColor",
        "rightClickColor", "clickFont", "showButtonName", "showClickCount", "showMouseWheel"};
    return keys;
}

const ModelKeyTable<CompositionTrackObject>& Track::keyValueTable() {
    static const auto table =
        ModelKeyTable<Track>()
            .undoable("movieStartTime", &Track::movieStartTime, &Track::restoreMovieStartTime)
            .undoable("movieEndTime", &Track::movieEndTime, &Track::restoreMovieEndTime)
            .undoable("audiblizesMouseClicks", &Track::audiblizesMouseClicks,
                      &Track::setAudiblizesMouseClicks)
            .undoable("beforeAnchoredObject", &Track::beforeAnchoredObject, &Track::setBeforeAnchoredObject)
            .undoable("afterAnchoredObject", &Track::afterAnchoredObject, &Track::setAfterAnchoredObject);
    return table;
}

void Track::registerClasses(ArchiveClassRegistry& registry) {
    registerVisualObjectClasses(registry);
    // Only its kinds are ever decoded.
    registry.registerClass("CompositionTrackObject", "CompositionRectangularObject", nullptr);
}

Track::CompositionTrackObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {
    setMetadata({});
}

Track::CompositionTrackObject(CompositionObjectsContainer* container,
                              std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState))
    , initialSetup_(false) {
    setMetadata({});
}

Track::~CompositionTrackObject() {
    if (mouseClickScheduleTimer_) mouseClickScheduleTimer_->cancel();
    removeObservers();
    for (NotificationCenter::Token token : playTokens_)
        NotificationCenter::defaultCenter().removeObserver(token);
}

void Track::didConstruct() {
    CompositionRectangularObject::didConstruct();
    // Click sounds follow playback whether or not the track has a mouse style.
    registerForPlayNotifications();
    if (!initialSetup_) return;
    propertyNames_ = defaultPropertyNames();
    setVisualizesMouseCursor(true, 0.0);
    setVisualizesMouseEvents(true, 0.0);
    addObservers();
}

std::shared_ptr<CompositionBaseState> Track::newStateOfStateClass() {
    return makeModelObject<CompositionTrackState>(this);
}

std::shared_ptr<CompositionBaseObject>
Track::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    VTL_ASSERT(false, "implement me: CompositionTrackObject is copied through its kinds");
    return CompositionRectangularObject::makeEmptyCopy(std::move(baseState));
}

void Track::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<CompositionTrackObject*>(&base);
    if (!target) return;
    target->setMovieStartTimeMovieEndTime(movieStartTime_, movieEndTime_);
    target->recordMouseVisualization_ = recordMouseVisualization_;
    target->audiblizesMouseClicks_ = audiblizesMouseClicks_;
}

// --- Archive

void Track::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    coder.encodeInt32("trackIndex", static_cast<std::int32_t>(trackIndex_));
    coder.encodeDouble("movieStartTime", movieStartTime_);
    coder.encodeDouble("movieEndTime", movieEndTime_);
    coder.encodeDouble("trackOffset", trackOffset_);
    coder.encodeBool("key_audiblizesMouseClicks", audiblizesMouseClicks_);
    if (recordMouseVisualization_)
        coder.encodeObject("key_recordedMouseVisualization", ArchivedValue(recordMouseVisualization_));
    // Copies carry nothing outside themselves.
    if (serializationMode() != SerializationMode::Copy) {
        if (auto before = beforeAnchoredObject())
            coder.encodeObject("key_beforeAnchoredObject", ArchivedValue(before));
        if (auto after = afterAnchoredObject())
            coder.encodeObject("key_afterAnchoredObject", ArchivedValue(after));
    }
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    trackIndex_ = static_cast<std::uint32_t>(coder.decodeInt32ForKey("trackIndex"));
    movieStartTime_ = coder.decodeDoubleForKey("movieStartTime");
    movieEndTime_ = coder.decodeDoubleForKey("movieEndTime");
    trackOffset_ = coder.decodeDoubleForKey("trackOffset");
    audiblizesMouseClicks_ = coder.decodeBoolForKey("key_audiblizesMouseClicks");
    recordMouseVisualization_ =
        coder.decodeObjectOfClass<MouseVisualization>("key_recordedMouseVisualization");
    beforeAnchored_ = coder.decodeObjectOfClass<CompositionBaseObject>("key_beforeAnchoredObject");
    afterAnchored_ = coder.decodeObjectOfClass<CompositionBaseObject>("key_afterAnchoredObject");
    setMetadata({});
    extractionOK_ = true;
}

// --- Deletion

void Track::prepareForDeletion() {
    // A deleted track plays no more clicks.
    didStopPlay(Notification{});
    for (const auto& anchored : {beforeAnchoredObject(), afterAnchoredObject()}) {
        if (auto* rectangular = dynamic_cast<CompositionRectangularObject*>(anchored.get()))
            rectangular->setTimeCantManuallyBeSet(false);
    }
    setBeforeAnchoredObject(nullptr);
    setAfterAnchoredObject(nullptr);
    CompositionRectangularObject::prepareForDeletion();
}

void Track::awakeAfterUndelete() {
    registerForPlayNotifications();
    CompositionRectangularObject::awakeAfterUndelete();
}

void Track::setObjectsContainer(CompositionObjectsContainer* container) {
    CompositionRectangularObject::setObjectsContainer(container);
    registerForPlayNotifications();
}

void Track::registerForPlayNotifications() {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    for (NotificationCenter::Token token : playTokens_)
        center.removeObserver(token);
    playTokens_.clear();
    const void* container = compositionObjectsContainer();
    if (!container) return;
    playTokens_.push_back(
        center.addObserver("didStartPlay", container, [this](const Notification& n) { didStartPlay(n); }));
    playTokens_.push_back(
        center.addObserver("didStopPlay", container, [this](const Notification& n) { didStopPlay(n); }));
}

// --- Trim window

void Track::setMovieStartTimeMovieEndTime(double start, double end) {
    movieStartTime_ = start;
    movieEndTime_ = end;
}

bool Track::canSetMovieStartTimeTo(double time) const {
    return movieEndTime_ - time >= kMinimumVisibleDuration;
}

bool Track::canSetMovieEndTimeTo(double time) const {
    return time - movieStartTime_ >= kMinimumVisibleDuration;
}

void Track::moveAnchoredEnd(CompositionBaseObject& object, double delta) {
    if (MediaTrackCapability* track = object.asMediaTrack())
        track->setMovieEndTime(track->movieEndTime() + delta);
    else
        object.setEndTime(object.endTime() + delta);
}

void Track::setMovieStartTime(double time) {
    if (!std::isfinite(time)) return;
    const double delta = time - movieStartTime_;
    if (auto before = beforeAnchoredObject()) {
        // Anchored to the clip before it, the clip moves as a whole and the neighbour follows.
        moveSnapStartTimeByTimeValue(delta);
        moveAnchoredEnd(*before, delta);
        invalidate();
        return;
    }
    const double oldSnapDuration = snapDuration();
    const double oldMovieStart = movieStartTime_;
    // Reported around the keyframe moves, so undo puts the window back after the keyframes.
    willChangeValueForKey("movieStartTime");
    movieStartTime_ = time;
    const double newSnapDuration = snapDuration();
    if (stretchMode() == StretchMode::Scale && oldSnapDuration > 0) {
        const double factor = newSnapDuration / oldSnapDuration;
        for (const auto& state : states())
            state->setTime((state->time() - oldMovieStart) * factor + movieStartTime_);
    } else if (stretchMode() == StretchMode::ShiftSecondHalf) {
        const double middle = newSnapDuration * 0.5 + movieStartTime_;
        for (const auto& state : states())
            if (state->time() < middle) state->setTime(state->time() + delta);
    }
    didChangeValueForKey("movieStartTime");
    invalidate();
}

void Track::setMovieEndTime(double time) {
    if (!std::isfinite(time)) return;
    const double delta = time - movieEndTime_;
    const double oldSnapDuration = snapDuration();
    willChangeValueForKey("movieEndTime");
    movieEndTime_ = time;
    if (auto after = afterAnchoredObject()) after->setStartTime(after->startTime() + delta);
    const double newSnapDuration = snapDuration();
    if (stretchMode() == StretchMode::Scale && oldSnapDuration > 0) {
        const double factor = newSnapDuration / oldSnapDuration;
        for (const auto& state : states())
            state->setTime((state->time() - movieStartTime_) * factor + movieStartTime_);
    } else if (stretchMode() == StretchMode::ShiftSecondHalf) {
        const double middle = newSnapDuration * 0.5 + movieStartTime_;
        for (const auto& state : states())
            if (state->time() > middle) state->setTime(state->time() + delta);
    }
    didChangeValueForKey("movieEndTime");
    invalidate();
}

// Undo puts the window back directly: the keyframes restore their own times.
void Track::restoreMovieStartTime(double time) {
    setObservedValue("movieStartTime", movieStartTime_, time);
    invalidate();
}

void Track::restoreMovieEndTime(double time) {
    setObservedValue("movieEndTime", movieEndTime_, time);
    invalidate();
}

// A track's keyframes are in media time, which moves with the clip: moving it moves both of its
// times and leaves the keyframes where they are.
void Track::setStartTime(double time) {
    const double delta = time - startTime();
    if (delta == 0 || !std::isfinite(delta)) return;
    setStartTimeEndTime(time, endTime() + delta);
}

void Track::setStartTimeEndTime(double start, double end) {
    const double delta = start - startTime();
    if (std::isfinite(delta) && delta != 0) {
        if (auto before = beforeAnchoredObject()) moveAnchoredEnd(*before, delta);
        if (auto after = afterAnchoredObject()) {
            if (MediaTrackCapability* track = after->asMediaTrack())
                track->setMovieStartTime(track->movieStartTime() + delta);
            else
                after->setStartTime(after->startTime() + delta);
        }
    }
    CompositionRectangularObject::setStartTimeEndTime(start, end);
}

std::uint32_t Track::timeScale() const {
    assertionFailure("CompositionTrackObject", 0, "implement me");
    return 600;
}

std::optional<std::string> Track::underlyingTrackName() const {
    assertionFailure("CompositionTrackObject", 0, "implement me");
    return std::nullopt;
}

std::string Track::startEndTimeDescriptionString() const {
    char text[160];
    std::snprintf(text, sizeof text, "from %f to %f, movieStartTime %f, movieEndTime %f", startTime(),
                  endTime(), movieStartTime_, movieEndTime_);
    return text;
}

// --- Anchors

namespace {

// An object that no track anchors any more gets its times back, so that undoing an anchor
// leaves its neighbour as it was.
void releaseIfNoLongerAnchored(const std::shared_ptr<CompositionBaseObject>& object,
                               const CompositionObjectsContainer* container) {
    auto* rectangular = dynamic_cast<CompositionRectangularObject*>(object.get());
    if (!rectangular || !rectangular->timeCantManuallyBeSet()) return;
    if (container && container->objectIsAnchoredObject(*object)) return;
    rectangular->setTimeCantManuallyBeSet(false);
}

} // namespace

void Track::setBeforeAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) {
    const std::shared_ptr<CompositionBaseObject> previous = beforeAnchoredObject();
    if (object == previous) return;
    setObservedValue("beforeAnchoredObject", beforeAnchored_, object);
    if (auto* rectangular = dynamic_cast<CompositionRectangularObject*>(object.get()))
        rectangular->setTimeCantManuallyBeSet(true);
    releaseIfNoLongerAnchored(previous, compositionObjectsContainer());
}

void Track::setAfterAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) {
    const std::shared_ptr<CompositionBaseObject> previous = afterAnchoredObject();
    if (object == previous) return;
    setObservedValue("afterAnchoredObject", afterAnchored_, object);
    if (auto* rectangular = dynamic_cast<CompositionRectangularObject*>(object.get()))
        rectangular->setTimeCantManuallyBeSet(true);
    releaseIfNoLongerAnchored(previous, compositionObjectsContainer());
}

// --- Pointer and click switches

CompositionTrackState* Track::trackStateAtTime(double time, bool allStates) const {
    const double mediaTime = time - startTime();
    StateList found = allStates
                          ? findStatesToInterpolateForTime(mediaTime)
                          : findStatesToInterpolateForTimeForAttributeGroupNamed(mediaTime, kGroupFrame);
    CompositionBaseState* state = found.empty() ? noneAnimationState().get() : found.front().get();
    return dynamic_cast<CompositionTrackState*>(state);
}

bool Track::visualizesMouseCursorAtTime(double time) const {
    CompositionTrackState* state = trackStateAtTime(time, false);
    return state && state->visualizesMouseCursor();
}

bool Track::visualizesMouseEventsAtTime(double time) const {
    CompositionTrackState* state = trackStateAtTime(time, false);
    return state && state->visualizesMouseEvents();
}

MouseCursorKind Track::mouseCursorKindAtTime(double time) const {
    CompositionTrackState* state = trackStateAtTime(time, true);
    return state ? state->mouseCursorKind() : MouseCursorKind::Recorded;
}

void Track::setVisualizesMouseCursor(bool flag, double time) {
    const double mediaTime = time - startTime();
    if (isAnimationEnabled()) {
        auto state = std::dynamic_pointer_cast<CompositionTrackState>(
            stateForTimeForAttributeGroupNamed(mediaTime, TimeTolerance::Loose, kGroupFrame));
        const bool isNew = !state;
        if (isNew)
            state = std::dynamic_pointer_cast<CompositionTrackState>(
                createNewStateForTime(mediaTime, NewStateValues::Empty));
        if (state) {
            if (isNew) state->disableAllAnimationPropertiesExcept(kGroupFrame);
            state->setVisualizesMouseCursor(flag);
            if (isNew) addNewState(state);
        }
    } else if (auto* none = dynamic_cast<CompositionTrackState*>(noneAnimationState().get())) {
        none->setVisualizesMouseCursor(flag);
    }
    invalidate();
}

void Track::setVisualizesMouseEvents(bool flag, double time) {
    const double mediaTime = time - startTime();
    if (isAnimationEnabled()) {
        auto state = std::dynamic_pointer_cast<CompositionTrackState>(
            stateForTimeForAttributeGroupNamed(mediaTime, TimeTolerance::Loose, kGroupFrame));
        const bool isNew = !state;
        if (isNew) state = std::dynamic_pointer_cast<CompositionTrackState>(createNewStateForTime(mediaTime));
        if (state) {
            if (isNew) state->disableAllAnimationPropertiesExcept(kGroupFrame);
            state->setVisualizesMouseEvents(flag);
            if (isNew) addNewState(state);
        }
    } else if (auto* none = dynamic_cast<CompositionTrackState*>(noneAnimationState().get())) {
        none->setVisualizesMouseEvents(flag);
    }
    recacheMouseEventsToVisualize();
    invalidate();
}

void Track::setMouseCursorKind(MouseCursorKind kind, double time) {
    const double mediaTime = time - startTime();
    if (isAnimationEnabled()) {
        auto state =
            std::dynamic_pointer_cast<CompositionTrackState>(stateForTime(mediaTime, TimeTolerance::Loose));
        const bool isNew = !state;
        if (isNew) state = std::dynamic_pointer_cast<CompositionTrackState>(createNewStateForTime(mediaTime));
        if (state) {
            state->setMouseCursorKind(kind);
            if (isNew) addNewState(state);
        }
    } else if (auto* none = dynamic_cast<CompositionTrackState*>(noneAnimationState().get())) {
        none->setMouseCursorKind(kind);
    }
    invalidate();
}

void Track::fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime) {
    if (isAnimationEnabled()) {
        if (auto* track = dynamic_cast<CompositionTrackState*>(&state)) {
            track->setVisualizesMouseCursor(visualizesMouseCursorAtTime(compositionTime));
            track->setVisualizesMouseEvents(visualizesMouseEventsAtTime(compositionTime));
            track->setMouseCursorKind(mouseCursorKindAtTime(compositionTime));
        }
    }
    CompositionRectangularObject::fillStateWithInterpolatedValuesForTime(state, compositionTime);
}

void Track::addNewState(const std::shared_ptr<CompositionBaseState>& state) {
    CompositionRectangularObject::addNewState(state);
    recacheMouseEventsToVisualize();
}

void Track::setAudiblizesMouseClicks(bool flag) {
    setObservedValue("audiblizesMouseClicks", audiblizesMouseClicks_, flag);
    invalidate();
}

// --- Mouse styles

std::shared_ptr<BaseVisualization> Track::mouseVisualization() const {
    return mouseVisualization_;
}

void Track::setMouseVisualization(std::shared_ptr<MouseVisualization> style) {
    if (style == mouseVisualization_) return;
    removeObservers();
    mouseVisualization_ = std::move(style);
    addObservers();
    // Without a style the observers above are gone, playback's with them; click sounds still follow it.
    registerForPlayNotifications();
    invalidate();
}

void Track::setRecordMouseVisualization(std::shared_ptr<MouseVisualization> style) {
    recordMouseVisualization_ = std::move(style);
}

void Track::addObservers() {
    if (!mouseVisualization_) return;
    if (mouseVisualizationObserverRegistered_) {
        logMessage(
            "- [CompositionTrackObject addObservers] called although observers were already registered");
        removeObservers();
    }
    // A changed style shows with the next picture; it registers no undo here.
    for (const std::string& key : observedProperties())
        styleTokens_.push_back(
            mouseVisualization_->addObserver(key, KeyValueObservingOptions::newValue, nullptr,
                                             [this](const KeyValueChange&) { invalidate(); }));
    registerForPlayNotifications();
    mouseVisualizationObserverRegistered_ = true;
}

void Track::removeObservers() {
    if (!mouseVisualization_ || !mouseVisualizationObserverRegistered_) return;
    for (ObservableObject::Token token : styleTokens_)
        mouseVisualization_->removeObserver(token);
    styleTokens_.clear();
    for (NotificationCenter::Token token : playTokens_)
        NotificationCenter::defaultCenter().removeObserver(token);
    playTokens_.clear();
    mouseVisualizationObserverRegistered_ = false;
}

// --- Metadata

TrackMetadata Track::metadata() const {
    MutexLock lock(metadataMutex_);
    return metadata_;
}

void Track::setMetadata(TrackMetadata metadata) {
    auto orEmpty = [](auto& list) {
        using List = typename std::decay_t<decltype(list)>::element_type;
        if (!list) list = std::make_shared<List>();
    };
    orEmpty(metadata.mouseLocations);
    orEmpty(metadata.mouseClicks);
    orEmpty(metadata.mouseWheelEvents);
    orEmpty(metadata.focusedWindowRects);
    orEmpty(metadata.mouseCursorImages);
    orEmpty(metadata.mouseEventsToVisualize);
    {
        MutexLock lock(metadataMutex_);
        metadata_ = std::move(metadata);
    }
    locationsArray_.reset();
}

const PlistArray& Track::mouseLocationsArray() const {
    if (!locationsArray_) locationsArray_ = plistArrayOfLocations(*mouseLocations());
    return *locationsArray_;
}

void Track::recacheMouseEventsToVisualize() {
    const MetadataSnapshot<MouseClickEntry> clicks = mouseClicks();
    ClickVisualizationSwitch clickSwitch;
    clickSwitch.animated = isAnimationEnabled();
    if (!clickSwitch.animated) {
        auto* none = dynamic_cast<CompositionTrackState*>(noneAnimationState().get());
        clickSwitch.on = none && none->visualizesMouseEvents();
    } else {
        // The spans show clicks, so the click switch in effect at the start opens the first one.
        clickSwitch.on = visualizesMouseEventsAtTime(startTime());
        for (const auto& base : states()) {
            auto* state = dynamic_cast<const CompositionTrackState*>(base.get());
            // A keyframe that leaves the switch to its neighbours neither opens nor closes a span.
            if (!state || !state->visualizesMouseEventsNumber()) continue;
            clickSwitch.keyframes.push_back({state->time(), state->visualizesMouseEvents()});
        }
        clickSwitch.duration = duration();
    }
    auto list = makeMetadataSnapshot(clicksToVisualize(*clicks, clickSwitch));
    MutexLock lock(metadataMutex_);
    metadata_.mouseEventsToVisualize = std::move(list);
}

Point Track::mouseLocationAtTime(double time, bool* isValid) const {
    return vtl::mouseLocationAtTime(*mouseLocations(), time, isValid);
}

Point Track::smoothedMouseLocationAtTime(double time, bool* isValid, double windowSeconds,
                                         double smoothingFactor) const {
    return vtl::smoothedMouseLocationAtTime(*mouseLocations(), time, isValid, windowSeconds, smoothingFactor);
}

Rect Track::focusRectAtTime(double time, bool* isValid) const {
    return vtl::focusRectAtTime(*focusedWindowRects(), time, isValid);
}

std::optional<std::vector<FocusRectEntry>> Track::focusEntriesValidAtTime(double time) const {
    return vtl::focusEntriesValidAtTime(*focusedWindowRects(), time);
}

std::optional<std::vector<MouseWheelEntry>> Track::mouseWheelEventsFrom(double from, double to) const {
    return mouseWheelEventsFromTo(*mouseWheelEvents(), from, to);
}

std::optional<std::vector<MouseClickEntry>> Track::mouseEvents(std::int64_t eventTypeMask, double from,
                                                               double to) const {
    return mouseEventsFromTo(*mouseEventsToVisualize(), eventTypeMask, from, to);
}

// --- Triggered states

std::shared_ptr<CompositionBaseTriggeredState> Track::addNewTriggeredStateAtGlobalTimes(double globalStart,
                                                                                        double globalEnd) {
    std::shared_ptr<CompositionBaseTriggeredState> state =
        CompositionRectangularObject::addNewTriggeredStateAtGlobalTimes(globalStart, globalEnd);
    auto* event = dynamic_cast<CompositionEventTriggeredState*>(state.get());
    if (!event) return state;
    if (drawsInPreviewView()) {
        const TrackMetadata lists = metadata();
        event->setMouseEvents(plistArrayOfClicks(*lists.mouseClicks));
        event->setFocusEvents(plistArrayOfFocusRects(*lists.focusedWindowRects));
    }
    if (!hasMouseClicks()) event->setKind(2);
    event->recacheMouseEnterLeaveEvents();
    invalidate();
    return state;
}

bool Track::triggeredStateCanBeDragged(const CompositionBaseTriggeredState& state, double globalStart,
                                       double globalEnd,
                                       std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const {
    if (globalStart < snapStartTime() || globalEnd > snapEndTime()) return false;
    return CompositionRectangularObject::triggeredStateCanBeDragged(state, globalStart, globalEnd, inTheWay);
}

// --- Extraction

std::shared_ptr<CompositionTrackObject> Track::currentlyExtractingTrack() {
    MutexLock lock(extractingMutex());
    return extractingTrack();
}

Track::ExtractionScope::ExtractionScope(std::shared_ptr<CompositionTrackObject> track) {
    MutexLock lock(extractingMutex());
    extractingTrack() = std::move(track);
}

Track::ExtractionScope::~ExtractionScope() {
    MutexLock lock(extractingMutex());
    extractingTrack().reset();
}

void Track::cancelExtraction() {
    extractionOK_ = false;
    while (currentlyExtractingTrack().get() == this)
        runMainLoopOnce(0.1);
}

} // namespace vtl
