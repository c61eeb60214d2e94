#pragma once
// The keyframe of shape objects: fill colour, corners, star or bubble form, fill flag and ray inset
// on top of the rectangular values. Owned like every keyframe.

#include "model/CompositionRectangularState.h"
#include "model/ModelKeyCoding.h"

namespace vtl {

class CompositionShapeState : public ModelKeyCoding<CompositionShapeState, CompositionRectangularState> {
public:
    explicit CompositionShapeState(CompositionBaseObject* owner)
        : ModelKeyCoding(owner) {}

    std::string className() const override { return "CompositionShapeState"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    const std::optional<RGBAColor>& color() const { return color_; }
    void setColor(const std::optional<RGBAColor>& color);
    uint32_t numberOfCorners() const { return numberOfCorners_; }
    void setNumberOfCorners(uint32_t corners);
    // A shape is a star or a bubble, never both: setting one clears the other.
    bool isStar() const { return isStar_; }
    void setIsStar(bool star);
    bool isBubble() const { return isBubble_; }
    void setIsBubble(bool bubble);
    bool isFilled() const { return isFilled_; }
    void setFilled(bool filled);
    double rayInset() const { return rayInset_; }
    void setRayInset(double inset);
    double dashPhaseFactor() const { return dashPhaseFactor_; }
    void setDashPhaseFactor(double factor) { dashPhaseFactor_ = factor; }
    double dentPhaseFactor() const { return dentPhaseFactor_; }
    void setDentPhaseFactor(double factor) { dentPhaseFactor_ = factor; }

    static const ModelKeyTable<CompositionShapeState>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseState> makeEmptyCopy() const override;
    void copyValuesInto(CompositionBaseState& target) const override;

    std::optional<RGBAColor> color_ =
        RGBAColor::device(0.047058823529411764, 0.26666666666666666, 0.5372549019607843, 1.0);
    uint32_t numberOfCorners_ = 0;
    bool isStar_ = false;
    bool isBubble_ = false;
    bool isFilled_ = true;
    double rayInset_ = 0;
    double dashPhaseFactor_ = 0;
    double dentPhaseFactor_ = 0;
};

} // namespace vtl
