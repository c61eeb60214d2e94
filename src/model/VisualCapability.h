#pragma once
// What the container, the keyframes and the renderer ask of a timeline object with a frame on the
// canvas: its interpolated values, how it draws, how it is aligned, masks, the presets it draws
// with and its animation groups. Rectangular objects and every kind derived from them implement
// it; an object hands it out through CompositionBaseObject::asVisual(), and kinds without a frame
// answer null. The answers below are those of a plain rectangular object.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class CompositionBaseState;
class BaseVisualization;

// Alignment criteria of CompositionObjectsContainer::arrangeObjects (stored numbers).
enum class ArrangeCriterion : int32_t {
    LeftEdges = 0,
    HorizontalCentres = 1,
    RightEdges = 2,
    TopEdges = 3,
    VerticalCentres = 4,
    BottomEdges = 5,
    DistributeVertically = 6,
    DistributeHorizontally = 7,
};

// Whether a rectangle enclosing an object follows the object's rotation.
enum class RotationHandling { Ignore, Respect };

class VisualCapability {
public:
    virtual ~VisualCapability() = default;

    // --- Values at a composition time, from the keyframes that carry each group.
    virtual Rect rectForTime(double compositionTime) const = 0;
    virtual float opacityForTime(double compositionTime) const = 0;
    virtual float rotationForTime(double compositionTime) const = 0;
    virtual float frameThicknessForTime(double compositionTime) const = 0;
    virtual bool stateIsDuringTransition(const CompositionBaseState& state) const = 0;

    // --- Drawing
    // Audio tracks are rectangular objects that never show on the canvas.
    virtual bool drawsInPreviewView() const { return true; }
    virtual bool needsToDrawAtTime(double) const { return false; }
    virtual bool usesGlobalShadow() const { return false; }
    virtual void invalidateCachedImage() {}

    // --- Arranging on the canvas
    virtual Rect enclosingRectAtTime(double, RotationHandling) const { return {}; }
    virtual void alignWithValueAtTime(ArrangeCriterion, double, double) {}

    // --- Masks: an object has at most one mask and masks at most one object (not owned either way).
    virtual bool canBeUsedAsMask() const { return false; }
    virtual bool hasFromTransition() const { return false; }
    virtual bool hasToTransition() const { return false; }
    virtual std::shared_ptr<CompositionBaseObject> maskObject() const = 0;
    virtual std::shared_ptr<CompositionBaseObject> maskForObject() const = 0;
    virtual void setMaskObject(const std::shared_ptr<CompositionBaseObject>& mask) = 0;
    virtual void setMaskForObject(const std::shared_ptr<CompositionBaseObject>& masked) = 0;
    bool hasMask() const { return maskObject() != nullptr; }
    bool isAMask() const { return maskForObject() != nullptr; }

    // --- The visualization presets the object draws with (text objects, recording tracks).
    virtual std::shared_ptr<BaseVisualization> textVisualization() const { return nullptr; }
    virtual std::shared_ptr<BaseVisualization> mouseVisualization() const { return nullptr; }
    virtual bool hasOwnVisualization() const { return false; }

    // --- Animation groups
    virtual bool acceptsAnimationGroups() const { return true; }
    virtual void addAnimationGroupFromDictionary(const PlistDictionary& group) = 0;
    // At a composition time (the group's "InsertionTime" 2 counts from it).
    virtual void addAnimationGroupFromDictionary(const PlistDictionary& group, double compositionTime) = 0;
    virtual std::vector<std::string> namesOfGroupedAnimationAttributes() const { return {}; }
    virtual std::vector<std::string> additionalInvalidateKeys() const { return {}; }
};

} // namespace vtl
