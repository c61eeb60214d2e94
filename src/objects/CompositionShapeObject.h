#pragma once
// A vector shape on the canvas: an arrow, an oval, a regular polygon, a star, a cloud-like bubble
// or a rectangle, with keyframed fill colour, corner count, star and bubble form and ray inset; an
// outline that can be stroked and dashed with a moving dash phase; and a fill that can go around
// the shape (everything on the canvas but the shape). Drawn in canvas space with its rotation
// applied, then moved into object space for the per-object pipeline. Held by std::shared_ptr like
// every timeline object (the container owns it).
//
// Threads: setters run on the main thread. The drawing operations run on the render thread and
// only read the model (the one-shot invalidation flag is cleared atomically).

#include "model/CompositionShapeState.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/ObjectThumbnail.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/graphics/BezierPath.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

// Stored shape kinds.
enum class ShapeKind : int32_t {
    Arrow = 0,
    Circle = 1,
    Polygon = 2,
    Square = 3,
    // Carries the circle's name and panels; drawn as the circle's oval.
    LegacyCircle = 4,
    Rectangle = 5,
};

// Stored line-join numbers (0 miter, 1 round, 2 bevel).
enum class ShapeLineJoin : uint64_t { Miter = 0, Round = 1, Bevel = 2 };

class CompositionShapeObject : public ModelKeyCoding<CompositionShapeObject, CompositionRectangularObject> {
public:
    // Corner and dent counts from documents are drawn with at most this many (a star twice as many
    // vertices), so a damaged count cannot stall drawing.
    static constexpr uint32_t maximumDrawnCorners = 1000;

    explicit CompositionShapeObject(CompositionObjectsContainer* container, int32_t shapeKind = 1);
    CompositionShapeObject(CompositionObjectsContainer* container,
                           std::shared_ptr<CompositionBaseState> baseState, int32_t shapeKind);

    void didConstruct() override;
    std::string className() const override { return "CompositionShapeObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;
    static std::string localizedNameForShapeKind(int32_t kind);

    // --- Plain fields
    int32_t shapeKind() const { return thisShapeKind_; }
    void setShapeKind(int32_t kind) { thisShapeKind_ = kind; }
    bool fillsAround() const { return fillsAround_; }
    void setFillsAround(bool fills);
    uint64_t lineJoinStyle() const { return lineJoinStyle_; }
    void setLineJoinStyle(uint64_t style);
    bool isDashed() const { return isDashed_; }
    void setIsDashed(bool dashed);
    float dashSize() const { return dashSize_; }
    void setDashSize(float size);
    bool usesSpecialAlphaGradient() const { return usesSpecialAlphaGradient_; }
    void setUsesSpecialAlphaGradient(bool uses) { usesSpecialAlphaGradient_ = uses; }

    // --- Keyframed attributes (composition times, from the keyframes of the "hasFrame" group)
    RGBAColor colorForTime(double compositionTime) const;
    void setColor(const RGBAColor& color, double compositionTime);
    float numberOfCornersAtTime(double compositionTime) const;
    void setNumberOfCorners(uint32_t corners, double compositionTime);
    double rayInsetAtTime(double compositionTime) const;
    void setRayInset(double inset, double compositionTime);
    bool isFilledForTime(double compositionTime) const;
    void setFilled(bool filled, double compositionTime);
    bool isStarAtTime(double compositionTime) const;
    void setIsStar(bool star, double compositionTime);
    bool isBubbleAtTime(double compositionTime) const;
    void setIsBubble(bool bubble, double compositionTime);
    // Run from the first to the last keyframe of the object; 0 with fewer than two.
    double dashPhaseFactorForTime(double compositionTime) const;
    double dentPhaseFactorForTime(double compositionTime) const;
    // The look of another shape, into this one's none-animation state.
    void takeAttributesFromShape(const CompositionShapeObject& other);

    // --- What the kind answers
    double xScalingFactorForTime(double) const override { return 1.0; }
    double yScalingFactorForTime(double) const override { return 1.0; }
    bool hasOriginalSize() const override { return false; }
    bool wantsImageRotated() const override { return !fillsAround_; }
    std::optional<AffineTransform> compositingTransformWithRect(const Rect&, double) const override {
        return std::nullopt;
    }
    void fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime) override;
    bool wantsRectSetInsteadOfScaling() const override { return true; }
    bool wantsNonProportionalResizingByDefault() const override { return true; }
    bool alsoWantsEndSetWhenMovingInTime() const override { return true; }
    bool imageIsRelevantForShadowCacheHash() const override { return true; }

    // --- Timeline thumbnail: every change rebuilds it a moment later.
    void invalidate() override;
    void tearDown() override;
    void regenerateThumb() { thumbnail_.regenerateThumb(); }
    ObjectThumbnail& thumbnail() { return thumbnail_; }

    // --- Drawing (render thread)
    // The outline in canvas space, y up; empty for a kind without one.
    BezierPath pathInRect(const Rect& rect, double compositionTime) const;
    // The shape over the whole canvas; none without a container, an outline or a usable canvas.
    CIImage ciImageAtTime(double compositionTime, const ColorSpaceRef& colorSpace) const;
    struct Pass {
        bool fillsAround = false;
        bool fills = false;
        RGBAColor color;
        RGBAColor frameColor;
        float frameThickness = 0;
        bool drawsFrame = false;
        bool dashed = false;
        float dashSize = 0;
    };
    CIImage ciImageAtTime(double compositionTime, const Pass& pass, const ColorSpaceRef& colorSpace) const;
    // The picture for the pipeline, in object space, from the renderer's cache while the key holds.
    CIImage createImageAtTime(const ObjectImageRequest& request) override;
    uint64_t shapeImageCacheHashForTime(double compositionTime) const;
    // The shape strokes its own outline: the pipeline draws no frame image over it.
    std::vector<CIImage> additionalImagesInObjectSpaceToDrawAboveImage(const ObjectImageRequest&,
                                                                       const CIImage&) override {
        return {};
    }
    // What the pipeline's shadow key takes in place of the picture's identity.
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest& request) const override {
        return shapeImageCacheHashForTime(request.compositionTime);
    }
    // Counts rasterisations (for tests and benchmarks of the cache).
    uint64_t rasterisationCount() const { return rasterisations_.load(std::memory_order_relaxed); }

    static const ModelKeyTable<CompositionShapeObject>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    ObjectThumbnail thumbnail_{*this};
    struct ShapeBracket {
        const CompositionShapeState* from = nullptr;
        const CompositionShapeState* to = nullptr;
        double progress = 0;
    };
    // Read while the caller holds the keyframe-list lock.
    ShapeBracket shapeBracketAt(double compositionTime) const;
    template <typename Write>
    void writeShapeAttribute(double compositionTime, bool alsoNoneState, Write&& write);
    double phaseFactorAtTime(double compositionTime, double (CompositionShapeState::*value)() const) const;
    void applyShapeDefaults();

    int32_t thisShapeKind_ = 1;
    bool fillsAround_ = false;
    uint64_t lineJoinStyle_ = 0;
    bool isDashed_ = false;
    float dashSize_ = 0;
    bool usesSpecialAlphaGradient_ = false;
    mutable std::atomic<uint64_t> rasterisations_{0};
};

} // namespace vtl
