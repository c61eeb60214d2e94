#pragma once
// Base of every timeline object with a frame on the canvas (tracks, images, shapes, texts,
// transitions): a rectangle and the animated attributes drawn with it (scaling, rotation,
// opacity, frame, shadow, corner radius), read at any time by blending the keyframes that carry
// each attribute group and written at a time into a keyframe or the none-animation state; masks,
// snapping guides and canvas geometry; ready-made animation groups; the time rules of editing and
// the links to the transitions into and out of it. It is the object's visual capability; the kinds
// derived from it refine that. Held by std::shared_ptr like every timeline object (the container
// owns it); its mask, the object it masks and its transitions are not owned.
//
// Threads: setters run on the main thread. Getters are read by the preview and by export threads
// (from a frozen model): they take only the keyframe-list lock and write nothing.

#include "model/CompositionBaseObject.h"
#include "model/CompositionRectangularState.h"
#include "model/VisualCapability.h"
#include "objects/ObjectImageRequest.h"
#include "objects/SnappingGuide.h"
#include "platform/foundation/AffineTransform.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace vtl {

class CIFilter;
class CIImage;
class CompositionMediaEntry;
class TransitionCapability;

// Notifications of the object's time rules.
// Object: the container; user info kCompositionObjectKey → this object.
inline constexpr const char* kObjectChangedTimesExplicitlyWithoutKVCNotification =
    "VistrelObjectChangedTimesExplicitlyWithoutKVC";
// Object: this object.
inline constexpr const char* kObjectTransitionTimesChangedNotification =
    "VistrelObjectTransitionTimesChanged";

// Whether inspector listings of a keyframe's effects leave out those switched off at its time.
enum class EffectVisibility { Respect, Ignore };

// Whether a resize by handle keeps the object's proportions.
enum class ResizeProportion { Free, Proportional };

class CompositionRectangularObject
    : public ModelKeyCoding<CompositionRectangularObject, CompositionBaseObject>,
      public VisualCapability {
public:
    // The shortest an object may be, in seconds.
    static constexpr double minimumDurationSeconds = 0.25;
    // Scaling factors are never set below this.
    static constexpr double minimumScalingFactor = 0.1;

    explicit CompositionRectangularObject(CompositionObjectsContainer* container);
    CompositionRectangularObject(CompositionObjectsContainer* container,
                                 std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionRectangularObject() override;

    // Gives a new object its default attributes (in the none-animation state).
    void didConstruct() override;

    std::string className() const override { return "CompositionRectangularObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;
    static RGBAColor defaultShadowColor() { return RGBAColor::device(0.1, 0.1, 0.1, 1.0); }
    static RGBAColor defaultFrameColor() { return RGBAColor::device(1.0, 0.1, 0.1, 1.0); }

    // --- Animated attributes at a composition time. Setters refuse values that are not finite.
    Rect rectForTime(double compositionTime) const override;
    virtual void setRect(const Rect& rect, double compositionTime);
    float xPositionForTime(double compositionTime) const;
    float yPositionForTime(double compositionTime) const;
    void setXPosition(float x, double compositionTime);
    void setYPosition(float y, double compositionTime);
    float opacityForTime(double compositionTime) const override;
    void setOpacity(float opacity, double compositionTime);
    // Edits only a keyframe within 0.01 s (instead of 0.1 s) of the time.
    void setOpacityForExactTime(float opacity, double compositionTime);
    float rotationForTime(double compositionTime) const override;
    void setRotation(float degrees, double compositionTime);
    float frameThicknessForTime(double compositionTime) const override;
    void setFrameThickness(float thickness, double compositionTime);
    virtual RGBAColor frameColorForTime(double compositionTime) const;
    void setFrameColor(const RGBAColor& color, double compositionTime);
    virtual bool drawsFrameAtTime(double compositionTime) const;
    void setDrawsFrame(bool draws, double compositionTime);
    // The shadow values follow the container's global shadow while usesGlobalShadow is set.
    RGBAColor shadowColorForTime(double compositionTime) const;
    void setShadowColor(const RGBAColor& color, double compositionTime);
    float shadowOpacityForTime(double compositionTime) const;
    void setShadowOpacity(float opacity, double compositionTime);
    float shadowRadiusForTime(double compositionTime) const;
    void setShadowRadius(float radius, double compositionTime);
    float shadowDistanceForTime(double compositionTime) const;
    void setShadowDistance(float distance, double compositionTime);
    float shadowAngleForTime(double compositionTime) const;
    void setShadowAngle(float degrees, double compositionTime);
    // Never global.
    bool drawsShadowAtTime(double compositionTime) const;
    void setDrawsShadow(bool draws, double compositionTime);
    // Never more than half the scaled width or height.
    virtual float cornerRadiusForTime(double compositionTime) const;
    void setCornerRadius(float radius, double compositionTime);

    // --- Scaling, derived from the rectangle and the natural size (1.0 where that is zero).
    virtual double xScalingFactorForTime(double compositionTime) const;
    virtual double yScalingFactorForTime(double compositionTime) const;
    virtual double scalingFactorForTime(double compositionTime) const {
        return xScalingFactorForTime(compositionTime);
    }
    // y scaling ÷ x scaling.
    virtual double ratioForTime(double compositionTime) const;
    // Resizes the rectangle about its centre; factors below 0.1 become 0.1. Nothing happens for
    // an object without a natural size on that axis.
    virtual void setXScalingFactor(double factor, double compositionTime);
    virtual void setYScalingFactor(double factor, double compositionTime);
    // Both factors, keeping the ratio.
    void setScalingFactor(double factor, double compositionTime);
    void setRatio(double ratio, double compositionTime);
    void increaseXBy(float delta, double compositionTime);
    void increaseYBy(float delta, double compositionTime);

    bool usesGlobalShadow() const override { return usesGlobalShadow_; }
    void setUsesGlobalShadow(bool uses);

    // --- Keyframes
    // A new keyframe (not yet in the list) carrying only the group, eased in and out.
    std::shared_ptr<CompositionBaseState>
    createNewStateForTime(double objectTime, const std::string& group,
                          NewStateValues values = NewStateValues::Empty);
    using CompositionBaseObject::createNewStateForTime;
    void fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime) override;
    // The bracketing keyframes of an effect; a keyframe that ends the effect's segment does not
    // interpolate into the next one.
    StateList findStatesToInterpolateForTimeForEffectNamed(double time,
                                                           const std::string& effectName) const override;
    // The attributes the keyframes around the time store for the effect.
    std::vector<std::string> configuredAttributesForFilterWithName(const std::string& effectName,
                                                                   double compositionTime) const;
    std::vector<std::string> namesOfGroupedAnimationAttributes() const override;
    bool hasEffectsAtTime(double) const override { return !namesOfAllUsedEffects().empty(); }

    // --- Transforms (none stands for the identity)
    // Rotation about the rectangle's centre (positive degrees turn clockwise).
    virtual std::optional<AffineTransform> compositingTransformWithRect(const Rect& rect,
                                                                        double compositionTime) const;
    // Scaling about the origin, then the rotation about the scaled centre.
    std::optional<AffineTransform> rotateAndScaleAtTime(double compositionTime, const Rect& rect,
                                                        double xScaling, double yScaling) const;
    std::optional<AffineTransform> rotateAndScaleAtTime(double compositionTime, const Rect& rect) const {
        return rotateAndScaleAtTime(compositionTime, rect, 1, 1);
    }
    std::optional<AffineTransform> handleTransformAtTime(double compositionTime, const Rect& rect) const;

    // --- What the kinds answer (the base answers of a plain rectangular object)
    virtual bool wantsImageRotated() const { return true; }
    virtual bool hasOriginalSize() const { return true; }
    // The natural size of the content; zero for the base.
    virtual Size originalSize() const { return {}; }
    virtual bool requiresScalingToBeRespectedForHandleInteraction() const { return false; }
    virtual bool wantsRectSetInsteadOfScaling() const { return false; }
    virtual bool wantsRectSetInsteadOfScalingForAnimationGroup() const {
        return wantsRectSetInsteadOfScaling();
    }
    virtual bool wantsNonProportionalResizingByDefault() const { return false; }
    virtual bool isAlwaysCompletelyOpaque() const { return false; }
    virtual void reinitializeAfterPathChanged() {}
    virtual void beginExport() {}
    virtual void endExport() {}
    virtual bool createsNewShadowImageEveryTime() const { return false; }
    virtual bool imageIsRelevantForShadowCacheHash() const { return false; }
    virtual std::shared_ptr<CompositionMediaEntry> mediaEntry() const { return mediaEntry_; }
    virtual void setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) { mediaEntry_ = entry; }

    // --- Cached image: the next image made ignores the cache once.
    void invalidateCachedImage() override { invalidateCachedVersionNextRun_.store(true); }
    // Whether the cache is to be bypassed this time; clears the request.
    bool takeInvalidateCachedVersionNextRun() { return invalidateCachedVersionNextRun_.exchange(false); }
    bool invalidateCachedVersionNextRun() const { return invalidateCachedVersionNextRun_.load(); }

    // --- Image pipeline. At a time the object hands its renderer what lies under it (its shadow),
    // its own picture (with rounded corners) and what lies above it (its frame), in object space
    // (origin at the object's lower-left corner); or, under effects or a partial opacity, one image
    // combining them. Runs on the rendering thread and reads the model without a lock.
    //
    // Kinds override these three: their own picture at natural size × the request's factors (none
    // when there is nothing to show), the stamp that picture is cached under (it keys the shadow,
    // so a kind without one gets its shadow rebuilt on every call), and the frame's size. A kind
    // keeps its picture in the request's renderer under kCachePathImage (kCachePathExportImage for
    // export) with that stamp, and rebuilds it once when takeInvalidateCachedVersionNextRun says so.
    virtual CIImage createImageAtTime(const ObjectImageRequest& request);
    virtual std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest& request) const;
    virtual Size frameImageSizeAtTime(double compositionTime, double xFactor, float yFactor) const;
    // Shadow, picture, frame in that order, or one combined image; empty without a picture.
    std::vector<CIImage> createScaledImagesForTime(const ObjectImageRequest& request,
                                                   BackAndFrontImages backAndFront);
    // The shadow when one is drawn.
    virtual std::vector<CIImage>
    additionalImagesInObjectSpaceToDrawUnderImage(const ObjectImageRequest& request,
                                                  const CIImage& baseImage);
    // The frame when one is drawn, at natural size (the list scales it by the factors).
    virtual std::vector<CIImage>
    additionalImagesInObjectSpaceToDrawAboveImage(const ObjectImageRequest& request,
                                                  const CIImage& baseImage);
    CIImage imageWithRoundedCornersFromImage(const CIImage& image, const ObjectImageRequest& request);
    // None without corner radius.
    CIImage cornersMaskForTime(const ObjectImageRequest& request);
    CIImage shadowImageAtTime(const ObjectImageRequest& request, const CIImage& image);
    // Built afresh: a silhouette of the picture in the shadow colour, blurred, moved and faded.
    CIImage shadowImageForTime(double compositionTime, const CIImage& image) const;
    CIImage frameImageForTime(const ObjectImageRequest& request);
    // Stamps over the exact value of every input the cached image depends on.
    std::uint64_t cornerMaskImageCacheHashForTime(double compositionTime, double xFactor,
                                                  float yFactor) const;
    // None when the picture has no stamp (and is not always opaque): such a shadow is not cached.
    std::optional<std::uint64_t> shadowImageCacheHashForTime(const ObjectImageRequest& request,
                                                             const CIImage& image) const;
    std::uint64_t frameImageCacheHashForTime(double compositionTime, double xFactor, float yFactor) const;
    // The image scaled about the origin; none for none.
    static CIImage imageScaledBy(const CIImage& image, double x, float y);
    // Whether the renderer has more to do than place the picture: effects, position, scaling,
    // rotation or opacity.
    bool needsToRenderAdditionalImageIntoImageAtTime(double compositionTime) const;

    // --- Effects on the combined picture, in the order of namesOfAllUsedEffects.
    void recacheNamesOfAllUsedEffects() override;
    // The none-animation state's effects, then each keyframe's in keyframe order, each once.
    std::vector<std::string> uncachedNamesOfAllUsedEffects() const;
    // Effect (filter) names in list order.
    std::vector<std::string> namesOfActiveEffectsAtTime(double compositionTime) const;
    std::string localizedNameForEffect(const std::string& effectName) const override;
    void setDefaultValuesForEffectInState(const EffectEntry& effect, CompositionBaseState& state) override;
    // A new filter of that name configured with the effect's values at the time (numbers clamped
    // to their range, NaN to the default, by the filter); null for a name the registry lacks.
    std::unique_ptr<CIFilter> filterWithNameForTime(const std::string& effectName,
                                                    double compositionTime) const;
    static bool effectWithNameHasCenter(const std::string& effectName);
    // Every active effect applied in turn; an unknown filter is skipped with one log line.
    CIImage imageWithFiltersAppliedAtTime(double compositionTime, const CIImage& image) const;
    // One effect, confined to its mask (the rest stays unfiltered).
    CIImage imageFromFilterNamedAtTime(const std::string& effectName, double compositionTime,
                                       const CIImage& image) const;
    // Centres and masks between the stored form (normalized to the rect size) and object space. A
    // zero rect size or scaling cannot be converted back: the setters refuse it (false, a log line).
    Point normalizedCenterForEffect(const std::string& effectName, double compositionTime) const;
    bool setNormalizedEffectCenter(Point center, const std::string& effectName, double compositionTime);
    Rect normalizedMaskEffect(const std::string& effectName, double compositionTime, bool* isValid = nullptr,
                              bool* coversEntireImage = nullptr) const;
    Rect normalizedMaskEffectFromRect(const std::string& effectName, const Rect& rect,
                                      double compositionTime) const;
    bool setNormalizedMask(const Rect& mask, const std::string& effectName, double compositionTime);
    bool hasMaskForEffectNamed(const std::string& effectName, double compositionTime) const;
    // End markers switch an effect off from a keyframe on, until a later keyframe carries it again.
    bool endMarkerForEffectNamed(const std::string& effectName, double compositionTime) const;
    void setEndMarker(bool marker, const std::string& effectName, double compositionTime);
    // Inspector listings: {"name": name} and bare names.
    std::vector<PlistDictionary> effectConfigurationsForState(const CompositionBaseState& state,
                                                              EffectVisibility visibility) const;
    std::vector<std::string> effectNamesForState(const CompositionBaseState& state,
                                                 EffectVisibility visibility) const;
    // The keyframe in effect at an object time (binary search); none without keyframes.
    std::shared_ptr<CompositionBaseState> stateAtTime(double objectTime) const;
    // Moves outside the list and unknown keys are logged and ignored.
    void moveEffectBy(const std::string& group, int delta);
    void moveEffectToIndex(const std::string& group, int index);
    // Removes the effect's data from every keyframe; a keyframe left with no attribute group and
    // no effect goes too. One undo step.
    void removeEffect(const std::string& group) override;

    // --- Masks (not owned either way)
    std::shared_ptr<CompositionBaseObject> maskObject() const override { return maskObject_.lock(); }
    std::shared_ptr<CompositionBaseObject> maskForObject() const override { return maskForObject_.lock(); }
    void setMaskObject(const std::shared_ptr<CompositionBaseObject>& mask) override;
    void setMaskForObject(const std::shared_ptr<CompositionBaseObject>& masked) override;
    // The archived form of the relations: the one object, or none.
    std::vector<std::shared_ptr<CompositionBaseObject>> maskObjects() const;
    std::vector<std::shared_ptr<CompositionBaseObject>> maskForObjects() const;
    virtual bool canHaveMask() const { return !isAudioObject(); }
    bool canBeUsedAsMask() const override { return !isAudioObject(); }
    // The name of the filter that applies the mask once set up (filters are made per render);
    // empty before.
    const std::string& maskFilter() const { return maskFilter_; }
    void setupMaskFilter();
    virtual bool transitionsToOtherObjects() const { return !isAMask(); }

    // --- Canvas geometry
    Rect enclosingRectAtTime(double compositionTime) const {
        return enclosingRectAtTime(compositionTime, RotationHandling::Ignore);
    }
    Rect enclosingRectAtTime(double compositionTime, RotationHandling rotation) const override;
    // The rectangle's corners (min x, min y), (max x, min y), (min x, max y), (max x, max y),
    // turned with the object.
    std::array<Point, 4> rotatedHandlePositionsAtTime(double compositionTime) const;
    std::vector<SnappingGuide> horizontalSnappingGuidesAtTime(double compositionTime) const;
    std::vector<SnappingGuide> verticalSnappingGuidesAtTime(double compositionTime) const;
    void alignWithValueAtTime(ArrangeCriterion criterion, double value, double compositionTime) override;
    // Handle −1 moves; 0, 1, 2 and 3 drag the lower left, lower right, upper right and upper left
    // corner. Proportional resizing follows the natural proportions (the rectangle's own without a
    // natural size) for kinds that resize their rectangle, and keeps the height on the lower
    // handles for kinds that scale.
    Rect rectForResizeWithHandle(int32_t handle, Size delta, ResizeProportion proportion,
                                 const Rect& rect) const;

    // --- Animation groups
    void addAnimationGroupFromDictionary(const PlistDictionary& group) override;
    void addAnimationGroupFromDictionary(const PlistDictionary& group, double compositionTime) override;
    // The composition time of a step by the group's "InsertionTime".
    double timeForAnimationGroup(const PlistDictionary& group, const PlistDictionary& step,
                                 double compositionTime) const;

    // --- Time rules
    bool timeCantManuallyBeSet() const { return timeCantManuallyBeSet_; }
    void setTimeCantManuallyBeSet(bool locked);
    bool needsToDrawAtTime(double compositionTime) const override;
    bool canBeSplitAtGlobalTime(double compositionTime) const override;
    bool shouldSetStartTime(double compositionTime) const;
    bool shouldSetEndTime(double compositionTime) const;
    // Sets the end without stretching keyframes or a change notification (one undo step).
    void animationStretchModeIgnoringSetEndTime(double compositionTime);
    void setStartTime(double startTime) override;
    void setEndTime(double endTime) override;
    bool stateIsDuringTransition(const CompositionBaseState& state) const override;

    // --- Whole-lifetime edits
    void scaleObjectOverLifeTimeByFactor(double factor);
    void moveObjectOverEntireLifeTimeByPointValue(Point delta);
    void shiftToCenter();
    void scaleToFitInCanvas();
    // Back to the natural size, unrotated and opaque at the time (one undo step).
    void revertAtTime(double compositionTime) override;

    // --- Transitions into and out of the object (not owned: the container owns them)
    bool hasFromTransition() const override { return fromTransition() != nullptr; }
    bool hasToTransition() const override { return toTransition() != nullptr; }
    std::shared_ptr<CompositionBaseObject> fromTransition() const { return fromObjectTransition_.lock(); }
    std::shared_ptr<CompositionBaseObject> toTransition() const { return toObjectTransition_.lock(); }
    // An object that is no transition is refused with a log.
    void setFromTransition(const std::shared_ptr<CompositionBaseObject>& transition);
    void setToTransition(const std::shared_ptr<CompositionBaseObject>& transition);
    void setCompositionFromTransition(const std::shared_ptr<CompositionBaseObject>& transition) {
        setFromTransition(transition);
    }
    void setCompositionToTransition(const std::shared_ptr<CompositionBaseObject>& transition) {
        setToTransition(transition);
    }
    virtual void removeAllTransitions() {}

    // --- Lifecycle
    void setContainerTrack(const std::shared_ptr<CompositionObjectsContainerTrack>& track) override;
    void prepareForDeletion() override;
    void tearDown() override;
    void setUndoDisabled(bool disabled) override;
    virtual void performPostLoadSetup();
    std::string description() const override;

    static const ModelKeyTable<CompositionRectangularObject>& keyValueTable();

protected:
    VisualCapability* visualCapability() override { return this; }
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    // The keyframes a group's value comes from at a composition time, with the progress between
    // them (0 with one). Read while the caller holds the keyframe-list lock.
    struct Bracket {
        const CompositionRectangularState* from = nullptr;
        const CompositionRectangularState* to = nullptr;
        double progress = 0;
    };
    Bracket bracketAt(double compositionTime, const std::string& group) const;
    template <typename Value>
    float blendedFloat(double compositionTime, const std::string& group, Value value, float fallback) const;
    RGBAColor blendedColor(double compositionTime, const std::string& group,
                           const std::optional<RGBAColor>& (CompositionRectangularState::*value)() const,
                           const RGBAColor& fallback) const;
    bool firstFoundFlag(double compositionTime, const std::string& group,
                        bool (CompositionRectangularState::*value)() const) const;

    // How a setter finds and makes its keyframe.
    enum class Lookup { Loose, Exact };
    enum class NewKeyframe { Interpolated, Empty, EmptyThenFilled };
    template <typename Write>
    void writeAttribute(double compositionTime, const std::string& group, Lookup lookup, NewKeyframe fill,
                        Write&& write);
    void applyDefaults();
    // Replaces the list of used effects as one undoable change.
    void replaceNamesOfAllUsedEffects(const std::vector<std::string>& names);
    // The effects in `names` ordered as the user last ordered them; effects the user never placed
    // keep their order after those.
    std::vector<std::string> inUserEffectOrder(std::vector<std::string> names) const;
    std::vector<SnappingGuide> snappingGuidesAtTime(double compositionTime, double Point::*axis) const;
    void transitionTimesChanged();
    // Every model operation that moves the object in time reports it by key; the transitions on
    // either side follow from here, whichever operation it was.
    void ownTimesChanged();
    void observeTransition(const std::shared_ptr<CompositionBaseObject>& transition, const std::string& key,
                           ObservableObject::Token& token);
    void unanchor();
    const TransitionCapability* transitionOf(const std::shared_ptr<CompositionBaseObject>& object) const;

    std::weak_ptr<CompositionBaseObject> fromObjectTransition_;
    std::weak_ptr<CompositionBaseObject> toObjectTransition_;
    ObservableObject::Token fromTransitionObservation_ = 0;
    ObservableObject::Token toTransitionObservation_ = 0;
    std::weak_ptr<ObservableObject> observedFromTransition_;
    std::weak_ptr<ObservableObject> observedToTransition_;
    bool timeCantManuallyBeSet_ = false;
    std::shared_ptr<CompositionMediaEntry> mediaEntry_;
    std::weak_ptr<CompositionBaseObject> maskObject_;
    std::weak_ptr<CompositionBaseObject> maskForObject_;
    std::string maskFilter_;
    bool usesGlobalShadow_ = false;
    // The effect order the user set (archived); empty until the user moves an effect. Rebuilding
    // the list from the keyframes keeps it.
    std::vector<std::string> userEffectOrder_;
    std::atomic<bool> invalidateCachedVersionNextRun_{false};
};

} // namespace vtl
