#pragma once
// The keyframe of objects with a frame on the canvas: rectangle, opacity, rotation, frame line,
// corner radius (each an optional group a keyframe may leave to its neighbours), scaling, shadow,
// background and the timing curve towards the next keyframe. Owned like every keyframe.

#include "model/CompositionBaseState.h"
#include "model/ModelKeyCoding.h"
#include "model/RGBAColor.h"
#include "platform/foundation/Geometry.h"

#include <optional>

namespace vtl {

// Attribute group names a rectangular keyframe answers.
inline constexpr const char* kGroupRectOrScaling = "hasRectOrScaling";
inline constexpr const char* kGroupOpacity = "hasOpacity";
inline constexpr const char* kGroupRotation = "hasRotation";
inline constexpr const char* kGroupFrame = "hasFrame";
inline constexpr const char* kEffectEndMarkerKey = "key_effect_endMarker";

class CompositionRectangularState : public ModelKeyCoding<CompositionRectangularState, CompositionBaseState> {
public:
    explicit CompositionRectangularState(CompositionBaseObject* owner);

    std::string className() const override { return "CompositionRectangularState"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    AnimationTimingKind animationTimingKind() const { return timingKind_; }
    AnimationTimingKind effectTimingKind() const override { return timingKind_; }
    void setAnimationTimingKind(AnimationTimingKind kind);

    // Rectangle group. setRect ignores a rectangle without width or height.
    const std::optional<Rect>& rectObject() const { return rectValue_; }
    void setRectObject(const std::optional<Rect>& rect);
    Rect rect() const { return rectValue_.value_or(Rect()); }
    void setRect(const Rect& rect);
    Rect scaledRect() const;
    float xPosition() const { return static_cast<float>(rect().origin.x); }
    float yPosition() const { return static_cast<float>(rect().origin.y); }
    void setXPosition(float x);
    void setYPosition(float y);
    void moveByPointValue(Point delta);

    const std::optional<float>& opacityNumber() const { return opacityNumber_; }
    void setOpacityNumber(const std::optional<float>& value);
    float opacity() const { return opacityNumber_.value_or(0.0f); }
    void setOpacity(float value) { setOpacityNumber(value); }
    const std::optional<float>& rotationNumber() const { return rotationNumber_; }
    void setRotationNumber(const std::optional<float>& value);
    float rotation() const { return rotationNumber_.value_or(0.0f); }
    void setRotation(float value) { setRotationNumber(value); }
    const std::optional<float>& frameThicknessNumber() const { return frameThicknessNumber_; }
    void setFrameThicknessNumber(const std::optional<float>& value);
    float frameThickness() const { return frameThicknessNumber_.value_or(0.0f); }
    void setFrameThickness(float value) { setFrameThicknessNumber(value); }
    const std::optional<float>& cornerRadiusNumber() const { return cornerRadiusNumber_; }
    void setCornerRadiusNumber(const std::optional<float>& value);
    float cornerRadius() const { return cornerRadiusNumber_.value_or(0.0f); }
    void setCornerRadius(float value) { setCornerRadiusNumber(value); }

    double xScalingFactor() const { return xScalingFactor_; }
    void setXScalingFactor(double factor);
    double yScalingFactor() const { return yScalingFactor_; }
    void setYScalingFactor(double factor);

    const std::optional<RGBAColor>& frameColor() const { return frameColor_; }
    void setFrameColor(const std::optional<RGBAColor>& color);
    const std::optional<RGBAColor>& shadowColor() const { return shadowColor_; }
    void setShadowColor(const std::optional<RGBAColor>& color);
    const std::optional<RGBAColor>& backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const std::optional<RGBAColor>& color);
    float shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(float value);
    float shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(float value);
    float shadowAngle() const { return shadowAngle_; }
    void setShadowAngle(float value);
    float shadowDistance() const { return shadowDistance_; }
    void setShadowDistance(float value);
    bool drawsFrame() const { return drawsFrame_; }
    void setDrawsFrame(bool value);
    bool drawsShadow() const { return drawsShadow_; }
    void setDrawsShadow(bool value);
    bool drawsBackground() const { return drawsBackground_; }
    void setDrawsBackground(bool value);

    // Attribute groups.
    bool hasRectOrScaling() const { return rectValue_.has_value(); }
    bool hasOpacity() const { return opacityNumber_.has_value(); }
    bool hasRotation() const { return rotationNumber_.has_value(); }
    virtual bool hasFrame() const { return frameThicknessNumber_.has_value(); }
    bool hasShadow() const { return shadowColor_.has_value(); }
    bool carriesAttributeGroup(const std::string& group) const override;

    // Removes the four optional groups (all, or all but one named group).
    void disableAllAnimationProperties() override;
    void disableAllAnimationPropertiesExcept(const std::string& group);
    // Carries the group from now on, with the value the object shows at this keyframe's time.
    void enableAnimationsForAnimationProperty(const std::string& group);
    // Scales rectangle, scaling factors and shadow when the object is scaled over its whole life.
    virtual void scaleStateByFactor(double factor);
    bool isDuringATransition() const;

    // Effect segments: a segment runs from a start keyframe to the next keyframe with an end marker.
    bool endMarkerForAttributeGroupNamed(const std::string& effectName) const;
    void setEndMarker(bool flag, const std::string& effectName);
    bool endMarkerForAnyEffect() const;
    bool startMarkerForAttributeGroupNamed(const std::string& effectName) const;
    bool startMarkerForAnyEffect() const;

    void updateAfterUndo() override;

    static const ModelKeyTable<CompositionRectangularState>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseState> makeEmptyCopy() const override;
    void copyValuesInto(CompositionBaseState& target) const override;
    std::string descriptionDetails() const override;

    // Fields the decoder fills directly.
    AnimationTimingKind timingKind_ = AnimationTimingKind::Linear;
    std::optional<Rect> rectValue_;
    std::optional<float> opacityNumber_;
    std::optional<float> rotationNumber_;
    std::optional<float> frameThicknessNumber_;
    std::optional<float> cornerRadiusNumber_;
    double xScalingFactor_ = 1.0;
    double yScalingFactor_ = 1.0;
    std::optional<RGBAColor> frameColor_;
    std::optional<RGBAColor> shadowColor_;
    float shadowOpacity_ = 0;
    float shadowRadius_ = 0;
    float shadowAngle_ = 0;
    float shadowDistance_ = 0;
    bool drawsFrame_ = false;
    bool drawsShadow_ = false;
    bool drawsBackground_ = false;
    std::optional<RGBAColor> backgroundColor_;
};

} // namespace vtl
