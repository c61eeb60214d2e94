#include "model/CompositionShapeState.h"

#include "platform/foundation/KeyValueCodingTable.h"

namespace vtl {

namespace {

using State = CompositionShapeState;

const KeyValueCodingTable<State>& table() {
    static const auto t =
        KeyValueCodingTable<State>()
            .property("color", &State::color, &State::setColor)
            .property("numberOfCorners", &State::numberOfCorners, &State::setNumberOfCorners)
            .property("isStar", &State::isStar, &State::setIsStar)
            .property("isBubble", &State::isBubble, &State::setIsBubble)
            .property("isFilled", &State::isFilled, &State::setFilled)
            .property("rayInset", &State::rayInset, &State::setRayInset);
    return t;
}

} // namespace

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

std::vector<std::string> State::undoKeyPaths() const {
    std::vector<std::string> keys = CompositionRectangularState::undoKeyPaths();
    keys.insert(keys.end(), {"color", "numberOfCorners", "isStar", "isBubble", "isFilled", "rayInset"});
    return keys;
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

std::any State::valueForKey(const std::string& key) const {
    if (auto* entry = table().find(key)) return entry->get(*this);
    return CompositionRectangularState::valueForKey(key);
}

bool State::setValueForKey(const std::string& key, const std::any& value) {
    if (auto* entry = table().find(key)) return entry->set(*this, value);
    return CompositionRectangularState::setValueForKey(key, value);
}

} // namespace vtl
