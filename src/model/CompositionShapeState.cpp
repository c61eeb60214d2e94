#include "model/CompositionShapeState.h"

namespace vtl {

namespace {

using State = CompositionShapeState;

} // namespace

const ModelKeyTable<CompositionShapeState>& CompositionShapeState::keyValueTable() {
    static const auto table =
        ModelKeyTable<State>()
            .undoable("color", &State::color, &State::setColor)
            .undoable("numberOfCorners", &State::numberOfCorners, &State::setNumberOfCorners)
            .undoable("isStar", &State::isStar, &State::setIsStar)
            .undoable("isBubble", &State::isBubble, &State::setIsBubble)
            .undoable("isFilled", &State::isFilled, &State::setFilled)
            .undoable("rayInset", &State::rayInset, &State::setRayInset);
    return table;
}

void State::setColor(const std::optional<RGBAColor>& color) {
    setObservedValue("color", color_, color);
}
void State::setNumberOfCorners(uint32_t corners) {
    setObservedValue("numberOfCorners", numberOfCorners_, corners);
}
void State::setIsStar(bool star) {
    setObservedValue("isStar", isStar_, star);
    if (star) setObservedValue("isBubble", isBubble_, false);
}
void State::setIsBubble(bool bubble) {
    setObservedValue("isBubble", isBubble_, bubble);
    if (bubble) setObservedValue("isStar", isStar_, false);
}
void State::setFilled(bool filled) {
    setObservedValue("isFilled", isFilled_, filled);
}
void State::setRayInset(double inset) {
    setObservedValue("rayInset", rayInset_, inset);
}

std::shared_ptr<CompositionBaseState> State::makeEmptyCopy() const {
    return makeModelObject<State>(baseObject());
}

void State::copyValuesInto(CompositionBaseState& base) const {
    CompositionRectangularState::copyValuesInto(base);
    auto& target = static_cast<State&>(base);
    target.color_ = color_;
    target.numberOfCorners_ = numberOfCorners_;
    target.isStar_ = isStar_;
    target.isBubble_ = isBubble_;
    target.isFilled_ = isFilled_;
    target.rayInset_ = rayInset_;
    target.dashPhaseFactor_ = dashPhaseFactor_;
    target.dentPhaseFactor_ = dentPhaseFactor_;
}

} // namespace vtl
