#pragma once
// The clip that blends one visual object into the next on a track while the two overlap: for that
// stretch it draws both through a transition filter chosen by its type, with the parameter values
// the user set, instead of the two objects drawing themselves. It covers the whole canvas and has
// no rectangle of its own. The container owns it like every timeline object; the links between it
// and its two objects own in neither direction (the container owns those too), and undo steps
// hold what they restore.
//
// Threads: the model (type, values, times, links) changes on the main thread. createImageAtTime
// runs on the thread that draws and only reads: it builds its own filters from the type and the
// value maps on every frame, under the lock that guards the maps.

#include "model/TransitionCapability.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CIFilter;

// Transition types as stored documents number them.
enum class TransitionType : int32_t {
    Dissolve = 0,
    CopyMachine = 1,
    PageCurl = 2,
    Ripple = 3,
    Color = 4,
    BarsSwipe = 5,
    BlurDissolve = 6,
    PageCurlWithShadow = 7,
};

// What one type draws with: its filters and inspector panes. Unknown types have none.
struct TransitionTypeDescription {
    std::string renderFilter;
    // Empty without a helper.
    std::string helperFilter;
    std::vector<std::string> propertyNames;
};

class CompositionTransition : public ModelKeyCoding<CompositionTransition, CompositionRectangularObject>,
                              public TransitionCapability {
public:
    // Time differences below this are not worth following.
    static constexpr double timeToleranceSeconds = 0.01;

    explicit CompositionTransition(CompositionObjectsContainer* container);
    CompositionTransition(CompositionObjectsContainer* container,
                          std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionTransition() override;

    // A dissolve from `from` to `to`, both linked to it, spanning their overlap.
    static std::shared_ptr<CompositionTransition>
    transitionWithObjects(const std::shared_ptr<CompositionBaseObject>& from,
                          const std::shared_ptr<CompositionBaseObject>& to,
                          CompositionObjectsContainer* container);

    void didConstruct() override;
    std::string className() const override { return "CompositionTransition"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // The filters and panes of a type; null for an unknown type.
    static const TransitionTypeDescription* descriptionOfType(int32_t type);

    // --- The two objects (rectangular objects that are no transitions; others are refused)
    std::shared_ptr<CompositionBaseObject> fromObject() const { return fromObject_.lock(); }
    std::shared_ptr<CompositionBaseObject> toObject() const { return toObject_.lock(); }
    // Replaces the object, points its link here when it does not already, then setupTimes.
    void setFromObject(const std::shared_ptr<CompositionBaseObject>& object);
    void setToObject(const std::shared_ptr<CompositionBaseObject>& object);
    // Nothing when the current object's link already points here; otherwise that link is cleared,
    // and the new object is set and linked.
    void changeFromObjectTo(const std::shared_ptr<CompositionBaseObject>& object);
    void changeToObjectTo(const std::shared_ptr<CompositionBaseObject>& object);

    // --- Times (TransitionCapability). Setters refuse values that are not finite.
    double transitionStartTime() const override { return transitionStartTime_; }
    double transitionEndTime() const override { return transitionEndTime_; }
    void setTransitionStartTime(double seconds);
    void setTransitionEndTime(double seconds);
    double transitionStartTimeInGlobalTime() const override;
    double transitionEndTimeInGlobalTime() const override;
    double transitionDuration() const {
        return transitionEndTimeInGlobalTime() - transitionStartTimeInGlobalTime();
    }
    // Ignored outside startTime … transitionEndTimeInGlobalTime (start), or
    // transitionStartTimeInGlobalTime … endTime (end).
    void setTransitionStartTimeInGlobalTime(double compositionTime);
    void setTransitionEndTimeInGlobalTime(double compositionTime);
    double latestGlobalStartTime() const override;
    double earliestGlobalEndTime() const override;
    // Start within the from-object's snapped length, end within the to-object's, then the end
    // raised so that the transition does not end before it starts.
    void validateTransitionStartEnd(double& start, double& end) const;
    void setupTimes() override;
    // 0 … 1 at a composition time; 1 for a transition without length.
    double progressAtTime(double compositionTime) const;

    // --- Type and filter values
    int32_t transitionType() const { return transitionType_.load(); }
    void setTransitionType(int32_t type);
    // The render filter's current value in stored form (number, "r g b a", "[x y]"); none for a
    // key the filter lacks or an image.
    PropertyList filterValueForKey(const std::string& key) const;
    // Stored whatever the current filter is (a later type may use it); applied when the filter
    // has the key. A value that is not finite, or not of the key's kind, is refused with a log.
    void setFilterValue(const PropertyList& value, const std::string& key);
    PropertyList helperFilterValueForKey(const std::string& key) const;
    void setHelperFilterValue(const PropertyList& value, const std::string& key);
    PlistDictionary filterValues() const;
    PlistDictionary helperFilterValues() const;
    // {"transitionType", "filterValues", "helperFilterValues"}, and back as one undo step.
    PlistDictionary serializedSettings() const;
    void configureFromSerializedSettings(const PlistDictionary& settings);

    // --- Placement: the whole canvas
    Rect rectForTime(double compositionTime) const override;
    Size originalSize() const override;
    bool needsToDrawAtTime(double compositionTime) const override;

    // --- Drawing: the transition frame (none for an unknown type or without both objects).
    CIImage createImageAtTime(const ObjectImageRequest& request) override;
    // The filters a frame is drawn with, made afresh and configured from the type and the stored
    // values (images and time not yet set); none for an unknown type.
    struct Filters {
        std::unique_ptr<CIFilter> render;
        std::unique_ptr<CIFilter> helper;
    };
    Filters filtersForRendering() const;

    // --- Fixed answers
    bool canHaveMask() const override { return false; }
    bool canBeUsedAsMask() const override { return false; }
    bool canAddEffectAtTime(const EffectEntry&, double) const override { return false; }
    void addAnimationGroupFromDictionary(const PlistDictionary&) override {}
    void addAnimationGroupFromDictionary(const PlistDictionary&, double) override {}
    void performPostLoadSetup() override {}
    std::vector<std::string> undoKeyPaths() const override;
    std::vector<std::string> additionalInvalidateKeys() const override;
    std::string description() const override;

    // --- Removal and lifecycle
    void remove();
    // Removes the transition when its objects no longer overlap.
    void removeIfNecessary();
    // The same on the main queue once the current change is over (a container may be walking its
    // objects while it moves them); nothing while undo or redo replays a step.
    void removeLaterIfApart();
    bool objectsAreApart() const;
    void invalidateTransitionAndRemoveFromObjects();
    bool isInvalidated() const { return invalidated_; }
    void invalidate() override;
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;
    void tearDown() override;
    // After a document is decoded: false (with one log line, and every link to it cleared) for a
    // transition that misses an object, joins an object to itself or to a transition, or names an
    // object outside the list; otherwise its objects' links point back at it.
    bool
    repairLinksAfterDecoding(const std::vector<std::shared_ptr<CompositionBaseObject>>& objects) override;

    static const ModelKeyTable<CompositionTransition>& keyValueTable();

protected:
    TransitionCapability* transitionCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    enum class Registration { Undoable, Silent };
    void applyType(int32_t type, Registration registration);
    void storeFilterValue(const PropertyList& value, const std::string& key, Registration registration);
    void restoreFilterValue(const std::string& key, const PropertyList* previous);
    void storeHelperValue(const PropertyList& value, const std::string& key, Registration registration);
    void restoreHelperValue(const std::string& key, const PropertyList* previous);
    void rebuildInspectedFilter();
    void setObjectLink(const std::shared_ptr<CompositionBaseObject>& object, bool outgoing);
    void clearLinksToThis();
    CIImage placedImageOfObject(CompositionRectangularObject& object, const ObjectImageRequest& request);
    CompositionRectangularObject* from() const;
    CompositionRectangularObject* to() const;

    std::weak_ptr<CompositionBaseObject> fromObject_;
    std::weak_ptr<CompositionBaseObject> toObject_;
    double transitionStartTime_ = 0;
    double transitionEndTime_ = 0;
    std::atomic<int32_t> transitionType_{0};
    mutable Mutex valuesMutex_;
    PlistDictionary filterValues_ VTL_GUARDED_BY(valuesMutex_);
    PlistDictionary helperFilterValues_ VTL_GUARDED_BY(valuesMutex_);
    // The main thread's instance of the render filter, which filterValueForKey reads.
    std::unique_ptr<CIFilter> inspectedFilter_;
    bool invalidated_ = false;
    bool removalPending_ = false;
};

} // namespace vtl
