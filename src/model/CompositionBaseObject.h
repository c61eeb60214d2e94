#pragma once
// Base of every object on a composition's timeline: its place in time, name and inspector panes,
// keyframe states with the animation switch, triggered states, dependent tracks, metadata and
// identity, and the lookups of keyframes by time. Held by std::shared_ptr (the container's list);
// the back-pointer to the container is not owned, the owning object is a weak reference.
//
// Threads: everything runs on the main thread, except that rendering threads read the keyframe
// list. The list is guarded by a recursive lock per object that the mutators and every lookup
// take; other threads read it only through the lookups or the snapshot that states() returns.

#include "model/CompositionBaseState.h"
#include "model/CompositionBaseTriggeredState.h"
#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/RecursiveMutex.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vtl {

class AudioCapability;
class CompositionObjectsContainer;
class CompositionObjectsContainerTrack;
class MediaTrackCapability;
class TransitionCapability;
class VisualCapability;
class VistrelLanguage;
struct FilterAttributeDescription;
struct FilterDescription;

using StateList = std::vector<std::shared_ptr<CompositionBaseState>>;

// How keyframe times follow changes of start and end time; archives store the number.
enum class StretchMode : int32_t {
    Keep = 0,
    Scale = 1,
    ShiftSecondHalf = 2,
};
// The mode of a stored number. Numbers that name no mode keep keyframes in place, as such objects
// always did.
StretchMode stretchModeFromNumber(int32_t number);

// What the archive of an object holds: everything, or, for copies (the document archives copied
// objects this way), nothing that lies outside the object.
enum class SerializationMode : int32_t {
    Full = 0,
    Copy = 2,
};

// Keyframe matching tolerances in seconds: loose (user clicks) and exact.
inline constexpr double kStateTimeTolerance = 0.1;
inline constexpr double kStateExactTimeTolerance = 0.01;
enum class TimeTolerance { Loose, Exact };

// Whether a list of the keyframes carrying an effect starts with the none-animation state.
enum class NoneAnimationState { Include, Exclude };
// Whether a new keyframe gets the values the object shows at its time.
enum class NewStateValues { Interpolated, Empty };
// Filter attributes listed by key, or by display name where the filter gives one.
enum class AttributeNaming { Keys, PreferLocalized };

class CompositionBaseObject : public ModelKeyCoding<CompositionBaseObject, CompositionUndoObject> {
public:
    explicit CompositionBaseObject(CompositionObjectsContainer* container);
    // The given state becomes the none-animation state (used by copying).
    CompositionBaseObject(CompositionObjectsContainer* container,
                          std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionBaseObject() override;

    // Creates the none-animation state (when none was given) once the object is whole.
    void didConstruct() override;

    std::string className() const override { return "CompositionBaseObject"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // --- Container, teardown, deletion
    // Null once a container held by std::shared_ptr has gone.
    CompositionObjectsContainer* compositionObjectsContainer() const;
    virtual void setObjectsContainer(CompositionObjectsContainer* container);
    virtual void tearDown();
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;

    SerializationMode serializationMode() const { return serializationMode_; }
    void setSerializationMode(SerializationMode mode) { serializationMode_ = mode; }

    // --- Time (composition seconds)
    double startTime() const { return startTime_; }
    double endTime() const { return endTime_; }
    virtual double duration() const { return endTime_ - startTime_; }
    virtual double snapStartTime() const { return startTime_; }
    virtual double snapEndTime() const { return endTime_; }
    double snapDuration() const { return snapEndTime() - snapStartTime(); }
    virtual void setStartTime(double startTime);
    virtual void setEndTime(double endTime);
    // Both at once, without moving keyframes.
    virtual void setStartTimeEndTime(double startTime, double endTime);
    void moveSnapStartTimeByTimeValue(double delta);
    void moveSnapStartTimeTo(double time);
    void setSnapStartTime(double time) { moveSnapStartTimeTo(time); }
    bool timeOverlapsObject(const CompositionBaseObject& other) const;
    virtual bool alsoWantsEndSetWhenMovingInTime() const { return false; }
    double currentMovieTime() const { return currentMovieTime_; }
    virtual void setCurrentMovieTime(double time) { currentMovieTime_ = time; }

    // --- Name and inspector panes
    const std::string& name() const { return name_; }
    void setName(const std::string& name);
    const std::vector<std::string>& propertyNames() const { return propertyNames_; }
    virtual void setPropertyNames(const std::vector<std::string>& names);
    void addPropertyName(const std::string& name);

    // --- Keyframe list (ascending by time, times relative to the start)
    std::shared_ptr<CompositionBaseState> noneAnimationState() const { return noneAnimationState_; }
    void setNoneAnimationState(std::shared_ptr<CompositionBaseState> state);
    // The none-animation state while animation is off, else the first keyframe (none without keyframes).
    std::shared_ptr<CompositionBaseState> noneAnimationStateOrFirstAnimationState() const;
    // A snapshot of the list, safe to read on any thread.
    StateList states() const;
    std::size_t countOfStates() const;
    std::shared_ptr<CompositionBaseState> objectInStatesAtIndex(std::size_t index) const;
    void insertObjectInStatesAtIndex(const std::shared_ptr<CompositionBaseState>& state, std::size_t index);
    void removeObjectFromStatesAtIndex(std::size_t index);
    // Replaces the whole list (an undoable setting).
    void setStates(const StateList& states);
    virtual void addNewState(const std::shared_ptr<CompositionBaseState>& state);
    void removeState(const std::shared_ptr<CompositionBaseState>& state);
    void removeAllStates();
    void removeAllStatesExcept(const std::set<std::size_t>& keptIndexes);
    // Puts a keyframe whose time was changed back in order (registers no undo).
    void removeAndReinsertState(const std::shared_ptr<CompositionBaseState>& state);
    void shiftAllStatesBy(double delta);
    bool canMoveState(const std::shared_ptr<CompositionBaseState>& state) const;
    // Whether the keyframe is this object's none-animation state or in its list.
    bool listsState(const CompositionBaseState& state) const;
    // The lock of the keyframe list; recursive.
    RecursiveMutex& statesLock() const { return statesMutex_; }
    // The keyframe class of this kind of object, new and empty, for this object.
    virtual std::shared_ptr<CompositionBaseState> newStateOfStateClass();

    // --- Animation switch and stretching
    bool isAnimationEnabled() const { return animationEnabled_; }
    virtual void setAnimationEnabled(bool enabled);
    void enableAnimations();
    void disableAnimations();
    virtual void toggleAnimationEnabled();
    virtual bool canEnableAnimations() const { return true; }
    StretchMode stretchMode() const { return stretchMode_; }
    void setStretchMode(StretchMode mode) { stretchMode_ = mode; }

    // --- Triggered states (kept ascending by start time, free of overlaps)
    const TriggeredStateList& triggeredStates() const { return triggeredStates_; }
    bool hasTriggeredStates() const { return !triggeredStates_.empty(); }
    std::size_t countOfTriggeredStates() const { return triggeredStates_.size(); }
    bool listsTriggeredState(const CompositionBaseTriggeredState& state) const;
    std::shared_ptr<CompositionBaseTriggeredState> objectInTriggeredStatesAtIndex(std::size_t index) const;
    void insertObjectInTriggeredStatesAtIndex(const std::shared_ptr<CompositionBaseTriggeredState>& state,
                                              std::size_t index);
    void removeObjectFromTriggeredStatesAtIndex(std::size_t index);
    // A new, empty triggered state of this kind of object.
    virtual std::shared_ptr<CompositionBaseTriggeredState> newTriggeredState(double start, double end) const;
    // After the states with the same start.
    std::size_t indexForTriggeredState(const CompositionBaseTriggeredState& state) const;
    void addTriggeredState(const std::shared_ptr<CompositionBaseTriggeredState>& state);
    void removeTriggeredState(const CompositionBaseTriggeredState* state);
    // Null unless the object allows triggered states; global (composition) times.
    virtual std::shared_ptr<CompositionBaseTriggeredState>
    addNewTriggeredStateAtGlobalTimes(double globalStart, double globalEnd);
    std::shared_ptr<CompositionBaseTriggeredState> triggeredStateAtObjectTime(double time) const;
    // States from 1 s after the time back to 3 s before it (lead-in and lead-out).
    TriggeredStateList triggeredStatesAtObjectTime(double time) const;
    // No state touches [time, time + duration] (inclusive bounds).
    bool wouldFitTriggeredStateAtObjectTime(double time, double duration) const;
    // Global times; only strict overlaps with other states block the drag.
    virtual bool triggeredStateCanBeDragged(const CompositionBaseTriggeredState& state, double globalStart,
                                            double globalEnd,
                                            std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const;
    void sortTriggeredStates();

    // --- Track and language
    const std::shared_ptr<CompositionObjectsContainerTrack>& containerTrack() const {
        return containerTrack_;
    }
    // Leaves the old track's clips and joins the new one's; posts the track-changed notification.
    virtual void setContainerTrack(const std::shared_ptr<CompositionObjectsContainerTrack>& track);
    // Leaves the track's clips but keeps the field.
    void removeFromContainerTrack();
    // Never null: the language of code −1 when none was set.
    const std::shared_ptr<VistrelLanguage>& vistrelLanguage() const { return language_; }
    void setVistrelLanguage(const std::shared_ptr<VistrelLanguage>& language);
    int32_t languageScriptCode() const;
    // The languages the object has content in: its own, or one per text of a speech object.
    virtual std::vector<std::shared_ptr<VistrelLanguage>> contentLanguages() const { return {language_}; }
    std::string languageName() const;

    // --- Dependent tracks (one level of dependency)
    std::shared_ptr<CompositionBaseObject> owningTrack() const { return owningTrack_.lock(); }
    void setOwningTrack(const std::shared_ptr<CompositionBaseObject>& owner);
    bool isSubtrack() const { return owningTrack() != nullptr; }
    const std::vector<std::shared_ptr<CompositionBaseObject>>& dependentTracks() const {
        return dependentTracks_;
    }
    std::size_t countOfDependentTracks() const { return dependentTracks_.size(); }
    std::size_t numberOfDependentTracks() const { return dependentTracks_.size(); }
    bool hasDependentTracks() const { return !dependentTracks_.empty(); }
    bool isDependentTrack(const CompositionBaseObject* object) const;
    std::shared_ptr<CompositionBaseObject> objectInDependentTracksAtIndex(std::size_t index) const;
    void insertObjectInDependentTracksAtIndex(const std::shared_ptr<CompositionBaseObject>& object,
                                              std::size_t index);
    void removeObjectFromDependentTracksAtIndex(std::size_t index);
    void addDependentTrack(const std::shared_ptr<CompositionBaseObject>& object);
    void removeSubtrack(const CompositionBaseObject* object);
    void removeAllDependentTracks();
    bool canBecomeOwnerOfObject(const CompositionBaseObject& object) const;

    // --- Metadata and identity
    void setMetaDataObject(const PropertyList& value, const std::string& key);
    const PropertyList* metaDataObjectForKey(const std::string& key) const;
    const std::optional<PlistDictionary>& metaData() const { return metaData_; }
    const std::string& uniqueID() const { return uniqueID_; }
    const std::string& originalObjectUniqueID() const { return originalObjectUniqueID_; }
    void setOriginalObjectUniqueID(const std::string& identifier);
    void regenerateIDAndSetOld(const std::string& oldIdentifier);

    // --- Effects (object times are relative to the start, composition times absolute)
    // Group names ("effect_" + name) of every effect any keyframe uses.
    const std::vector<std::string>& namesOfAllUsedEffects() const { return namesOfAllUsedEffects_; }
    std::size_t countOfNamesOfAllUsedEffects() const { return namesOfAllUsedEffects_.size(); }
    std::string objectInNamesOfAllUsedEffectsAtIndex(std::size_t index) const;
    void insertObjectInNamesOfAllUsedEffectsAtIndex(const std::string& group, std::size_t index);
    void removeObjectFromNamesOfAllUsedEffectsAtIndex(std::size_t index);
    virtual void recacheNamesOfAllUsedEffects() {}
    virtual bool hasEffectsAtTime(double) const { return false; }
    std::shared_ptr<CompositionBaseState> stateForEffectsAtTime(double objectTime) const;
    std::shared_ptr<CompositionBaseState> stateForEffectsAtTimeForInspector(double objectTime) const;
    std::shared_ptr<CompositionBaseState> nextStateAfterState(const CompositionBaseState* state) const;
    void setEffectsAtTime(const std::vector<EffectEntry>& effects, double objectTime);
    bool canAddEffectNamedAtTime(const std::string& effectName, double compositionTime) const;
    // An effect is used at most once per object; audio effects are refused.
    virtual bool canAddEffectAtTime(const EffectEntry& entry, double compositionTime) const;
    virtual void addEffectAtTime(const EffectEntry& entry, double compositionTime);
    // The window for an existing keyframe follows the given tolerance (seconds, either side).
    virtual void addEffectAtPreciseTime(const EffectEntry& entry, double objectTime, double tolerance);
    virtual void removeEffect(const std::string&) {}
    virtual std::string localizedNameForEffect(const std::string&) const { return "Not localized"; }
    virtual void setDefaultValuesForEffectInState(const EffectEntry&, CompositionBaseState&) {}
    void setFloatForEffectNamed(float value, const std::string& effectName, const std::string& attribute,
                                double compositionTime);
    void setColorForEffectNamed(const RGBAColor& color, const std::string& effectName,
                                const std::string& attribute, double compositionTime);
    void setCenterForEffectNamed(Point center, const std::string& effectName, double compositionTime);
    void setMaskForEffectNamed(const Rect& mask, const std::string& effectName, double compositionTime);
    float floatForEffectNamed(const std::string& effectName, const std::string& attribute,
                              double compositionTime) const;
    RGBAColor colorForEffectNamed(const std::string& effectName, const std::string& attribute,
                                  double compositionTime) const;
    Rect maskForEffectAtTime(const std::string& effectName, double compositionTime,
                             bool* isValid = nullptr) const;
    Point centerForEffectAtTime(const std::string& effectName, double compositionTime) const;
    // Filters by name (the catalog installed by the rendering layer); null, logged once, when unknown.
    static const FilterDescription* filterWithName(const std::string& effectName);
    static bool filterHasAttribute(const std::string& effectName, const std::string& attribute);
    static std::vector<std::string>
    attributeNamesOfClassNamed(const std::string& attributeClass, const std::string& effectName,
                               AttributeNaming naming = AttributeNaming::Keys);
    static std::vector<std::string>
    floatAttributeNamesForFilterWithName(const std::string& effectName,
                                         AttributeNaming naming = AttributeNaming::Keys);
    static const FilterAttributeDescription* attributeDescriptionForAttribute(const std::string& attribute,
                                                                              const std::string& effectName);
    // The inspector pane of an effect.
    static std::string nibNameForEffectNamed(const std::string& effectName);
    static std::string classNameForPropertyInspectorForEffectNamed(const std::string& effectName);
    // Pre-fills a new keyframe with one effect's entry and its interpolated values.
    void fillStateWithValuesForEffectNamed(CompositionBaseState& state, const std::string& effectName);
    // Called when a keyframe joined the list.
    virtual void stateAdded(const std::shared_ptr<CompositionBaseState>&) {}

    // --- Change reporting and undo
    bool postsChangeNotifications() const { return compositionObjectsContainer() != nullptr; }
    // Posts "objectChanged" (user info "changedObject").
    virtual void invalidate();
    CompositionUndoManager* undoManager() const override;
    // Whether changes of the object and its keyframes register undo (not in offscreen containers).
    bool registersUndoForChanges() const { return acceptsUndoRegistration(); }
    void updateAfterUndo() override;

    virtual std::string startEndTimeDescriptionString() const;
    virtual std::string description() const;

    // --- Hooks every kind may answer, with the base answers
    virtual bool allowsTimeCropping() const { return true; }
    virtual void propagateDocument() {}
    virtual bool allowsAddingTriggeredStates() const { return false; }
    virtual bool loadResources() { return true; }
    virtual void prepareForPlayBackAtTime(double) {}
    virtual void donePlayBackAtTime(double) {}
    virtual void revertAtTime(double) {}
    virtual void noteTrackEnabledChanged() {}
    virtual bool allowsSettingVistrelLanguage() const { return false; }
    virtual void releaseAllCachedResources() {}
    virtual bool canBeSplitAtGlobalTime(double time) const {
        return time > snapStartTime() && time < snapEndTime();
    }

    // --- Capabilities of the object kinds. Each query costs one virtual call and answers null
    // for the kinds without the capability.
    VisualCapability* asVisual() { return visualCapability(); }
    const VisualCapability* asVisual() const { return mutableSelf().visualCapability(); }
    MediaTrackCapability* asMediaTrack() { return mediaTrackCapability(); }
    const MediaTrackCapability* asMediaTrack() const { return mutableSelf().mediaTrackCapability(); }
    AudioCapability* asAudio() { return audioCapability(); }
    const AudioCapability* asAudio() const { return mutableSelf().audioCapability(); }
    TransitionCapability* asTransition() { return transitionCapability(); }
    const TransitionCapability* asTransition() const { return mutableSelf().transitionCapability(); }
    bool isTransition() const { return asTransition() != nullptr; }
    bool isAudioObject() const { return asAudio() != nullptr; }

    // --- Keyframe lookup (object times, relative to the start)
    StateList statesForEffectNamed(const std::string& effectName,
                                   NoneAnimationState noneAnimationState = NoneAnimationState::Include) const;
    StateList statesForAttributeGroupNamed(const std::string& group) const;
    StateList statesForTime(double time, TimeTolerance tolerance) const;
    std::shared_ptr<CompositionBaseState> stateForTime(double time, TimeTolerance tolerance) const;
    std::shared_ptr<CompositionBaseState> stateForTimeForEffectNamed(double time, TimeTolerance tolerance,
                                                                     const std::string& effectName) const;
    std::shared_ptr<CompositionBaseState>
    stateForTimeForAttributeGroupNamed(double time, TimeTolerance tolerance, const std::string& group) const;
    // The one or two keyframes whose values hold or are interpolated at the time; empty for none.
    StateList findStatesToInterpolateForTime(double time) const;
    StateList findStatesToInterpolateForTimeForAttributeGroupNamed(double time,
                                                                   const std::string& group) const;
    // What findStatesToInterpolateForTimeForAttributeGroupNamed answers, found by a search over
    // the time-ordered list instead of a copy of the group's keyframes, so the per-frame reads of
    // the renderer allocate nothing. The pointers stay valid while the caller holds statesLock().
    struct GroupBracket {
        // NoKeyframes: the object has none (from is null); otherwise from (and to when the time
        // lies between two keyframes) are the states to read.
        enum class Source { NoKeyframes, NoneAnimationState, Keyframes } source = Source::NoKeyframes;
        const CompositionBaseState* from = nullptr;
        const CompositionBaseState* to = nullptr;
        // Their places in the list (none for the none-animation state).
        static constexpr std::size_t none = static_cast<std::size_t>(-1);
        std::size_t fromIndex = none;
        std::size_t toIndex = none;
    };
    GroupBracket bracketForAttributeGroup(double time, const std::string& group) const;
    virtual StateList findStatesToInterpolateForTimeForEffectNamed(double time,
                                                                   const std::string& effectName) const;
    // The bracketing rule over one list ascending by time, once an exact match was ruled out:
    // the first keyframe before 0, the last after the duration, else the last enabled keyframe
    // before the time and the first enabled one after it (either may be missing).
    StateList bracketStatesInList(const StateList& list, double time) const;
    // Where the keyframe goes in the list: before every keyframe at or after its time.
    std::size_t indexForState(const CompositionBaseState& state) const;
    virtual bool canCreateStateAtTime(double time) const;
    // A new keyframe (not yet in the list) at the time clamped to 0 … duration.
    std::shared_ptr<CompositionBaseState>
    createNewStateForTime(double time, NewStateValues values = NewStateValues::Interpolated);
    // Fills the keyframe with the values the object shows at a composition time.
    virtual void fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime);
    // The index of the first keyframe whose time lies after the time (binary search).
    std::size_t firstIndexAfter(double time) const;
    // The keyframe in effect at the time in a list ascending by time (binary search).
    static std::shared_ptr<CompositionBaseState> stateAtTime(double time, const StateList& states,
                                                             std::size_t* index = nullptr);

    // --- Copying: a new object of the same kind with copies of the keyframes and a new identity.
    std::shared_ptr<CompositionBaseObject> copy() const;

    // --- The keys of the class: key-value coding and the undoable key paths
    static const ModelKeyTable<CompositionBaseObject>& keyValueTable();

protected:
    // Overridden by the kinds that have the capability, answering themselves.
    virtual VisualCapability* visualCapability() { return nullptr; }
    virtual MediaTrackCapability* mediaTrackCapability() { return nullptr; }
    virtual AudioCapability* audioCapability() { return nullptr; }
    virtual TransitionCapability* transitionCapability() { return nullptr; }

    bool acceptsUndoRegistration() const override;
    // A new object of the same class for the same container around the given none-animation state.
    virtual std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const;
    // Copies this object's values into `target`, as copy() describes.
    virtual void copyValuesInto(CompositionBaseObject& target) const;
    // Installs both lists without change notifications (copies, decoding).
    void setStatesTriggeredStates(StateList states, TriggeredStateList triggered);
    enum class MovedTime { Start, End };
    void stretchStates(double oldSnapDuration, double delta, MovedTime moved);
    void postObjectNotification(const std::string& name, const CompositionBaseObject* subject) const;

    // Fields that decoding fills directly.
    double startTime_ = 0;
    double endTime_ = 0;
    std::string name_;
    std::vector<std::string> propertyNames_;
    bool animationEnabled_ = false;
    StretchMode stretchMode_ = StretchMode::ShiftSecondHalf;
    std::string uniqueID_;
    std::string originalObjectUniqueID_;
    std::optional<PlistDictionary> metaData_;
    std::vector<std::string> namesOfAllUsedEffects_;

private:
    // The capability queries hand out the interface the object itself implements.
    CompositionBaseObject& mutableSelf() const { return const_cast<CompositionBaseObject&>(*this); }

    CompositionObjectsContainer* container_ = nullptr;
    // Set when the container is held by std::shared_ptr, so a decoded object whose container went
    // away sees none instead of a dangling pointer.
    std::weak_ptr<CompositionUndoObject> containerRef_;
    bool containerTracked_ = false;
    SerializationMode serializationMode_ = SerializationMode::Full;
    double currentMovieTime_ = 0;
    std::shared_ptr<CompositionBaseState> noneAnimationState_;
    std::weak_ptr<CompositionBaseObject> owningTrack_;
    std::vector<std::shared_ptr<CompositionBaseObject>> dependentTracks_;
    mutable RecursiveMutex statesMutex_;
    StateList states_ VTL_GUARDED_BY(statesMutex_);
    TriggeredStateList triggeredStates_;
    std::shared_ptr<CompositionObjectsContainerTrack> containerTrack_;
    // The track left by tearDown, so an undone deletion finds it again.
    std::weak_ptr<CompositionObjectsContainerTrack> rememberedTrack_;
    std::shared_ptr<VistrelLanguage> language_;
    mutable std::string cachedLanguageName_;
};

// A process-wide unique identifier string.
std::string makeGloballyUniqueString();

} // namespace vtl
