#include "tracks/CompositionAudioTrackObject.h"

#include "audio/AudioEffectDictionary.h"
#include "audio/AudioTrackPlayer.h"
#include "audio/AudioUnitParameterInfo.h"
#include "audio/MediaPcmSource.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "tracks/AudioWaveform.h"
#include "tracks/CompositionAudioTrackMutePhase.h"

#include <algorithm>
#include <cmath>

namespace vtl {

using Track = CompositionAudioTrackObject;

namespace {

constexpr const char* kEffectAddedOrRemovedNotification = "Vistrel_DidAddOrRemoveAudioEffectNotification";

bool isAudioEffect(const EffectEntry& entry) {
    const PropertyList* audio = entry.find(std::string(audioeffect::audioKey));
    return audio && audio->boolValue().value_or(false);
}

} // namespace

const std::vector<std::string>& Track::defaultPropertyNames() {
    static const std::vector<std::string> names = {"LanguageProperty.nib", "AudioTrackMuteProperty.nib",
                                                   "DependentObjectPropertiesView.nib",
                                                   "AudioTrackVolumeDeltaProperty.nib"};
    return names;
}

const ModelKeyTable<CompositionAudioTrackObject>& Track::keyValueTable() {
    static const auto table =
        ModelKeyTable<Track>()
            .undoable("effectSettings", &Track::effectSettings, &Track::setEffectSettings)
            .undoable("muted", &Track::muted, &Track::setMuted)
            .undoable("volumeDelta", &Track::volumeDelta, &Track::setVolumeDelta);
    return table;
}

void Track::registerClasses(ArchiveClassRegistry& registry) {
    CompositionQTTrack::registerClasses(registry);
    CompositionAudioTrackMutePhase::registerClasses(registry);
    registry.registerClass("CompositionAudioTrackObject", "CompositionQTTrack", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionAudioTrackObject>(nullptr));
    });
}

Track::CompositionAudioTrackObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Track::CompositionAudioTrackObject(CompositionObjectsContainer* container,
                                   std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

Track::~CompositionAudioTrackObject() {
    stopObservingContainer();
    cancelScheduleTimer();
    player_.reset();
}

void Track::didConstruct() {
    CompositionQTTrack::didConstruct();
    propertyNames_ = defaultPropertyNames();
    observeContainer();
}

std::shared_ptr<CompositionBaseTriggeredState> Track::newTriggeredState(double start, double end) const {
    return makeModelObject<CompositionAudioTrackMutePhase>(start, end);
}

std::shared_ptr<CompositionBaseObject>
Track::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionAudioTrackObject>(compositionObjectsContainer(), std::move(baseState));
}

void Track::copyValuesInto(CompositionBaseObject& base) const {
    CompositionQTTrack::copyValuesInto(base);
    auto* target = dynamic_cast<CompositionAudioTrackObject*>(&base);
    if (!target) return;
    // The copy takes the settings the units have now, not the last ones stored.
    std::optional<UnitConfigurations> settings = effectSettings_;
    if (player_) settings = player_->unitConfigurations();
    target->effectSettings_ = settings;
    target->setNumberSamples(waveformExtents_, originalWaveformExtents_, maxWaveExtent_, minWaveExtent_,
                             waveformExtractionDone_);
    target->muted_ = muted_;
    target->channelMapping_ = channelMapping_;
    target->volumeDelta_ = volumeDelta_;
    // A new player of its own, set up with everything above.
    target->setTrackIndex(trackIndex_);
    target->propertyNames_ = defaultPropertyNames();
    target->setMovieStartTimeMovieEndTimeForPlayer(movieStartTime_, movieEndTime_);
}

// --- Archive

void Track::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionQTTrack::encodeWithCoder(coder);
    std::optional<UnitConfigurations> settings = effectSettings_;
    if (player_) settings = player_->unitConfigurations();
    if (settings)
        coder.encodeObject("key_trackAudioUnitConfigurations",
                           ArchivedValue::fromPropertyList(unitconfig::toPropertyList(*settings)));
    coder.encodeBool("key_audioTrackMuted", muted_);
    if (!originalWaveformExtents_.empty()) {
        const PlistBytes extents = waveform::encodeFloats(waveformExtents_);
        const PlistBytes original = waveform::encodeFloats(originalWaveformExtents_);
        coder.encodeBytes("key_trackAudioWaveFormData", extents);
        coder.encodeBytes("key_trackAudioOriginalWaveFormData", original);
    }
    coder.encodeFloat("key_volumeDelta", volumeDelta_);
}

void Track::initWithCoder(KeyedUnarchiver& coder) {
    CompositionQTTrack::initWithCoder(coder);
    if (std::find(propertyNames_.begin(), propertyNames_.end(), "AudioTrackVolumeDeltaProperty.nib") ==
        propertyNames_.end())
        propertyNames_.push_back("AudioTrackVolumeDeltaProperty.nib");
    if (propertyNames_.empty() || propertyNames_.front() != "LanguageProperty.nib") {
        std::erase(propertyNames_, std::string("LanguageProperty.nib"));
        propertyNames_.insert(propertyNames_.begin(), "LanguageProperty.nib");
    }
    effectSettings_.reset();
    if (coder.containsValueForKey("key_trackAudioUnitConfigurations")) {
        const ArchivedValue value = coder.decodeObjectForKey("key_trackAudioUnitConfigurations");
        if (!value.isNil()) effectSettings_ = unitconfig::fromPropertyList(value.toPropertyList());
    }
    muted_ = coder.decodeBoolForKey("key_audioTrackMuted");
    const float delta = coder.decodeFloatForKey("key_volumeDelta");
    volumeDelta_ = std::isfinite(delta) ? delta : 0.0f;
    auto bytes = [&](std::string_view key) -> std::optional<PlistBytes> {
        if (!coder.containsValueForKey(key)) return std::nullopt;
        return coder.decodeBytesForKey(key);
    };
    waveform::Arrays arrays = waveform::decodeArrays(bytes("key_trackAudioWaveFormData"),
                                                     bytes("key_trackAudioOriginalWaveFormData"));
    waveformExtents_ = std::move(arrays.extents);
    originalWaveformExtents_ = std::move(arrays.originalExtents);
    maxWaveExtent_ = minWaveExtent_ = 0;
    waveformExtractionDone_ = true;
    recacheNamesOfAllUsedEffects();
}

// --- Observation

void Track::observeContainer() {
    stopObservingContainer();
    registerForPlayNotifications();
    CompositionObjectsContainer* container = compositionObjectsContainer();
    if (!container) return;
    containerTokens_.push_back(NotificationCenter::defaultCenter().addObserver(
        kWaveformGeneratedNotification, container,
        [this](const Notification& notification) { otherTrackGeneratedWaveform(notification); }));
}

void Track::stopObservingContainer() {
    for (NotificationCenter::Token token : containerTokens_)
        NotificationCenter::defaultCenter().removeObserver(token);
    containerTokens_.clear();
}

void Track::setObjectsContainer(CompositionObjectsContainer* container) {
    stopObservingContainer();
    CompositionQTTrack::setObjectsContainer(container);
    observeContainer();
}

void Track::otherTrackGeneratedWaveform(const Notification& notification) {
    if (waveformExtractionDone_) return;
    const auto* sender = notification.value<std::shared_ptr<CompositionBaseObject>>(kExtractedTrackKey);
    if (!sender || !*sender || sender->get() == this) return;
    auto* other = dynamic_cast<CompositionAudioTrackObject*>(sender->get());
    if (!other || other->uniqueID().empty() || other->uniqueID() != originalObjectUniqueID()) return;
    other->setWaveFormInOtherTrack(*this);
    invalidate();
}

// --- Deletion

void Track::prepareForDeletion() {
    giveUpMediaEntry();
    stopObservingContainer();
    // A deleted track falls silent at once.
    cancelScheduleTimer();
    playerShouldPlay_ = false;
    if (player_) player_->doStopMoviePreview();
    CompositionQTTrack::prepareForDeletion();
}

void Track::awakeAfterUndelete() {
    if (const auto entry = mediaEntry()) entry->addToUsageCounter(1);
    allowExtraction();
    CompositionQTTrack::awakeAfterUndelete();
    observeContainer();
}

// --- Player

void Track::setTrackIndex(std::uint32_t index) {
    CompositionQTTrack::setTrackIndex(index);
    const std::shared_ptr<const MediaAsset> asset = assetMovie();
    if (!asset) {
        logMessage("- [CompositionAudioTrackObject setTrackIndex:] - Underlying movie was nil. Fix me. OK if "
                   "movie was shown in snippets popover.");
        return;
    }
    if (!assetTrack() || trackIndex_ != index) return;
    auto source = MediaPcmSource::open(asset, index);
    if (!source) {
        logMessage("The sound of the track cannot be played: " + source.error());
        return;
    }
    const bool precise = qtMovieWrapper() && qtMovieWrapper()->supportsPreciseTiming();
    player_.reset();
    player_ = std::make_unique<AudioTrackPlayer>(std::move(*source), precise);
    player_->setDuration(asset->duration().seconds());
    player_->setDelegate(this);
    pushTrimToPlayer();
    player_->setEffectDictionaries(effectDictionaries());
    if (effectSettings_) player_->configureUnitsFromDictionary(*effectSettings_);
    effectSettings_ = player_->unitConfigurations();
    player_->setMutePhases(mutePhases());
    player_->setVolumeDelta(volumeDelta_);
    player_->setChannelMapping(channelMapping_);
    numberOfChannels_ = static_cast<std::uint32_t>(std::max(0, assetTrack()->channelCount));
}

bool Track::loadResources() {
    if (!CompositionQTTrack::loadResources()) return false;
    pushTrimToPlayer();
    return true;
}

std::vector<MutePhase> Track::mutePhases() const {
    std::vector<MutePhase> phases;
    for (const auto& state : triggeredStates())
        phases.push_back({state->startTime(), state->endTime()});
    return phases;
}

std::vector<PropertyList> Track::effectDictionaries() const {
    std::vector<PropertyList> dictionaries;
    if (const auto none = noneAnimationState()) {
        for (const EffectEntry& entry : none->effects())
            dictionaries.emplace_back(entry);
    }
    return dictionaries;
}

void Track::pushTrimToPlayer() {
    if (!player_) return;
    player_->setTrackInternalStartTime(movieStartTime_);
    player_->setTrackInternalEndTime(movieEndTime_);
}

void Track::pushStateToPlayer() {
    if (!player_) return;
    pushEffectsToPlayer();
    player_->setMutePhases(mutePhases());
}

// A new chain carries the units' settings over by subtype; what it has then is what the track keeps.
void Track::pushEffectsToPlayer() {
    if (!player_) return;
    player_->setEffectDictionaries(effectDictionaries());
    effectSettings_ = player_->unitConfigurations();
}

void Track::invalidate() {
    if (ignoreInvalidateOnce_)
        ignoreInvalidateOnce_ = false;
    else
        pushStateToPlayer();
    recacheNamesOfAllUsedEffects();
    CompositionQTTrack::invalidate();
}

// --- Playback

bool Track::isPlaying() const {
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    return container && container->document() && container->document()->isPlaying();
}

bool Track::hasScheduledPlay() const {
    return scheduleTimer_ != nullptr;
}

void Track::cancelScheduleTimer() {
    if (scheduleTimer_) scheduleTimer_->cancel();
    scheduleTimer_.reset();
}

void Track::schedulePlayAfter(double seconds) {
    cancelScheduleTimer();
    std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
    scheduleTimer_ = DispatchTimer::scheduleOnce(seconds, [weakSelf] {
        if (auto self = std::dynamic_pointer_cast<CompositionAudioTrackObject>(weakSelf.lock()))
            self->scheduledPlay();
    });
}

void Track::startPlayerAt(double mediaOffset) {
    if (player_) player_->doStartMoviePreview(mediaOffset);
}

void Track::didStartPlay(const Notification& notification) {
    const double* current = notification.value<double>("currentTime");
    if (!current || !std::isfinite(*current)) return;
    notePlayStart(*current);
    const CompositionObjectsContainer* container = compositionObjectsContainer();
    if (muted_ || containerTrackDisabled() || (container && !container->shouldPlay(*this))) return;
    CompositionBaseObject::setCurrentMovieTime(*current);
    cancelScheduleTimer();
    if (*current + kEndMargin >= snapEndTime()) return;
    if (snapStartTime() > *current) {
        schedulePlayAfter(snapStartTime() - *current);
        return;
    }
    verifyPlayerInternalEndTime();
    startPlayerAt(*current - startTime());
    playerShouldPlay_ = true;
}

void Track::scheduledPlay() {
    if (!scheduleTimer_) return;
    cancelScheduleTimer();
    playerShouldPlay_ = true;
    const double now = playheadTime();
    CompositionBaseObject::setCurrentMovieTime(now);
    verifyPlayerInternalEndTime();
    // A timer firing a little early must not sound the part trimmed away.
    startPlayerAt(std::max(movieStartTime_, now - startTime()));
}

void Track::didStopPlay(const Notification&) {
    cancelScheduleTimer();
    playerShouldPlay_ = false;
    if (muted_ || containerTrackDisabled()) return;
    if (player_) player_->doStopMoviePreview();
}

void Track::stopMoviePreview() {
    didStopPlay(Notification{});
}

void Track::setCurrentMovieTime(double time) {
    CompositionBaseObject::setCurrentMovieTime(time);
    if (muted_ || !std::isfinite(time)) return;
    cancelScheduleTimer();
    if (!player_) return;
    if (player_->playerRunning()) player_->doStopMoviePreview();
    // The player counts media time, which starts at startTime(), whatever the trim.
    const double mediaTime = time - startTime();
    player_->setTime(std::max(0.0, mediaTime));
    if (snapStartTime() <= time && time < snapEndTime()) {
        verifyPlayerInternalEndTime();
        startPlayerAt(mediaTime);
        playerShouldPlay_ = true;
    } else if (snapStartTime() - time > 0) {
        schedulePlayAfter(snapStartTime() - time);
    }
}

void Track::verifyPlayerInternalEndTime() {
    if (!player_) return;
    const double difference = std::fabs((endTime() - startTime()) - movieEndTime_);
    // A hair's tolerance, so a trim of exactly 0.1 s counts as one in binary arithmetic too.
    player_->setTrackInternalEndTime(difference >= kInternalEndTolerance - 1e-9 ? movieEndTime_ : 0.0);
}

// --- Settings

void Track::stopPlayIfPlaying(bool& wasPlaying) {
    wasPlaying = isPlaying();
    if (wasPlaying) compositionObjectsContainer()->document()->stopPlay();
}

void Track::restartPlayIf(bool wasPlaying) {
    if (!wasPlaying) return;
    if (CompositionObjectsContainer* container = compositionObjectsContainer()) {
        if (container->document()) container->document()->startPlay();
    }
}

void Track::setMuted(bool muted) {
    bool wasPlaying = false;
    stopPlayIfPlaying(wasPlaying);
    setObservedValue("muted", muted_, muted);
    invalidate();
    restartPlayIf(wasPlaying);
}

void Track::setVolumeDelta(float delta) {
    if (delta == volumeDelta_ || !std::isfinite(delta)) return;
    setObservedValue("volumeDelta", volumeDelta_, delta);
    if (player_) player_->setVolumeDelta(volumeDelta_);
}

void Track::setChannelMapping(std::uint32_t mapping) {
    channelMapping_ = mapping;
    if (player_) player_->setChannelMapping(mapping);
}

void Track::setMovieStartTime(double time) {
    ignoreInvalidateOnce_ = true;
    CompositionQTTrack::setMovieStartTime(time);
    ignoreInvalidateOnce_ = false;
    if (player_) player_->setTrackInternalStartTime(movieStartTime_);
}

void Track::setMovieEndTime(double time) {
    ignoreInvalidateOnce_ = true;
    CompositionQTTrack::setMovieEndTime(time);
    ignoreInvalidateOnce_ = false;
    if (player_) player_->setTrackInternalEndTime(movieEndTime_);
}

void Track::setMovieStartTimeMovieEndTimeForPlayer(double start, double end) {
    setMovieStartTimeMovieEndTime(start, end);
    pushTrimToPlayer();
}

// --- Effects

bool Track::canAddEffectAtTime(const EffectEntry& entry, double compositionTime) const {
    if (!isAudioEffect(entry)) return false;
    const auto state = stateForEffectsAtTime(compositionTime - startTime());
    return state && state->canAddEffect(entry);
}

Track::EffectPlacement Track::canAddEffectAtTime(const EffectEntry& entry, double compositionTime,
                                                 double tolerance) const {
    EffectPlacement placement;
    if (!isAudioEffect(entry)) return placement;
    const double time = compositionTime - startTime();
    std::shared_ptr<CompositionBaseState> state;
    bool isNew = false;
    std::size_t stateIndex = 0;
    if (isAnimationEnabled()) {
        const auto& list = states();
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i]->time() >= time - tolerance && list[i]->time() <= time) {
                state = list[i];
                stateIndex = i;
            }
        }
        if (!state) {
            state = stateForEffectsAtTime(time);
            isNew = true;
        }
    } else {
        state = noneAnimationState();
    }
    placement.state = state;
    if (!state || !state->canAddEffect(entry)) return placement;
    placement.accepted = true;
    placement.fromTime = isNew ? compositionTime : state->time() + startTime();
    if (!isAnimationEnabled() || isNew) {
        placement.toTime = endTime() + startTime();
    } else {
        const auto& list = states();
        placement.toTime = stateIndex + 1 < list.size() ? list[stateIndex + 1]->time() + startTime()
                                                        : endTime() + startTime();
    }
    return placement;
}

void Track::addEffectAtTime(const EffectEntry& entry, double compositionTime) {
    if (!canAddEffectAtTime(entry, compositionTime)) return;
    const auto none = noneAnimationState();
    if (!none) return;
    bool wasPlaying = false;
    stopPlayIfPlaying(wasPlaying);
    none->addEffect(entry);
    pushEffectsToPlayer();
    NotificationCenter::defaultCenter().post(kEffectAddedOrRemovedNotification,
                                             compositionObjectsContainer());
    recacheNamesOfAllUsedEffects();
    restartPlayIf(wasPlaying);
}

void Track::addEffectAtPreciseTime(const EffectEntry& entry, double objectTime, double) {
    addEffectAtTime(entry, objectTime);
}

void Track::removeEffect(const std::string& group) {
    const auto& names = namesOfAllUsedEffects();
    const auto found = std::find(names.begin(), names.end(), group);
    if (found == names.end()) {
        logMessage("effect not found: " + group);
        return;
    }
    removeEffectAtIndex(static_cast<std::size_t>(found - names.begin()));
}

void Track::removeEffectAtIndex(std::size_t index) {
    const auto none = noneAnimationState();
    if (!none || index >= none->countOfEffects()) return;
    bool wasPlaying = false;
    stopPlayIfPlaying(wasPlaying);
    none->removeEffectAtIndex(index);
    pushEffectsToPlayer();
    recacheNamesOfAllUsedEffects();
    restartPlayIf(wasPlaying);
    NotificationCenter::defaultCenter().post(kEffectAddedOrRemovedNotification,
                                             compositionObjectsContainer());
}

void Track::moveEffect(const std::string& group, std::size_t index) {
    const auto none = noneAnimationState();
    if (!none) return;
    bool wasPlaying = false;
    stopPlayIfPlaying(wasPlaying);
    none->moveEffect(group, index);
    moveEffectToIndex(group, static_cast<int>(std::min(index, none->countOfEffects() - 1)));
    pushEffectsToPlayer();
    restartPlayIf(wasPlaying);
}

void Track::setEffects(const std::vector<EffectEntry>& effects) {
    const auto none = noneAnimationState();
    if (!none) return;
    none->setEffects(effects);
    pushEffectsToPlayer();
    recacheNamesOfAllUsedEffects();
    NotificationCenter::defaultCenter().post(kEffectAddedOrRemovedNotification,
                                             compositionObjectsContainer());
}

std::vector<std::string> Track::uncachedNamesOfAllUsedEffects() const {
    const auto none = noneAnimationState();
    return none ? none->allEffectNamesAsArray() : std::vector<std::string>();
}

void Track::recacheNamesOfAllUsedEffects() {
    // Each step below invalidates the object, which recaches: once is enough.
    if (recachingNames_) return;
    const std::vector<std::string> names = uncachedNamesOfAllUsedEffects();
    if (names == namesOfAllUsedEffects()) return;
    recachingNames_ = true;
    while (countOfNamesOfAllUsedEffects() > 0)
        removeObjectFromNamesOfAllUsedEffectsAtIndex(countOfNamesOfAllUsedEffects() - 1);
    for (std::size_t i = 0; i < names.size(); ++i)
        insertObjectInNamesOfAllUsedEffectsAtIndex(names[i], i);
    recachingNames_ = false;
}

void Track::setEffectSettings(const std::optional<UnitConfigurations>& settings) {
    bool wasPlaying = false;
    stopPlayIfPlaying(wasPlaying);
    setObservedValue("effectSettings", effectSettings_, settings);
    if (player_ && effectSettings_) {
        player_->configureUnitsFromDictionary(*effectSettings_);
        effectSettings_ = player_->unitConfigurations();
    }
    invalidate();
    restartPlayIf(wasPlaying);
}

void Track::registerForUndoWithPreviousConfiguration(const UnitConfigurations& previous) {
    CompositionUndoManager* manager = undoManager();
    if (!manager) {
        assertionFailure(__FILE__, __LINE__, "undoManager was nil!");
    } else {
        std::weak_ptr<CompositionUndoObject> weakSelf = weak_from_this();
        manager->customUndoGroupRegisterUndo(this, "setEffectSettings:", [weakSelf, previous] {
            if (auto self = std::dynamic_pointer_cast<CompositionAudioTrackObject>(weakSelf.lock()))
                self->setEffectSettings(previous);
        });
    }
    // Taken as it stands: the change is the player's own, so it registers nothing more.
    if (player_) effectSettings_ = player_->unitConfigurations();
}

void Track::setPresetForUnitAtIndex(std::int32_t presetNumber, std::size_t unitIndex) {
    if (!player_) return;
    willChangeValueForKey("effectSettings");
    player_->setPreset(presetNumber, unitIndex);
    effectSettings_ = player_->unitConfigurations();
    didChangeValueForKey("effectSettings");
}

std::optional<std::vector<AudioUnitPreset>> Track::presetsOfUnitAtIndex(std::size_t index) const {
    return player_ ? player_->presetsOfUnitAtIndex(index) : std::nullopt;
}

int Track::indexOfCurrentlySelectedPresetForUnitAtIndex(std::size_t index) const {
    return player_ ? player_->indexOfCurrentlySelectedPresetForUnitAtIndex(index) : -1;
}

bool Track::unitWithIndexHasPresets(std::size_t index) const {
    const auto presets = presetsOfUnitAtIndex(index);
    return presets && !presets->empty();
}

} // namespace vtl
