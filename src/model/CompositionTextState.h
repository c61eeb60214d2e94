#pragma once
// The keyframe of text objects: rectangular values whose scaling changes only the rectangle.

#include "model/CompositionRectangularState.h"

namespace vtl {

class CompositionTextState : public CompositionRectangularState {
public:
    explicit CompositionTextState(CompositionBaseObject* owner)
        : CompositionRectangularState(owner) {}

    std::string className() const override { return "CompositionTextState"; }

    // Text scales through its font: only the rectangle changes.
    void scaleStateByFactor(double factor) override {
        if (!rectObject()) return;
        const Rect r = *rectObject();
        setRectObject(
            Rect(r.origin.x * factor, r.origin.y * factor, r.size.width * factor, r.size.height * factor));
    }

protected:
    std::shared_ptr<CompositionBaseState> makeEmptyCopy() const override {
        return makeModelObject<CompositionTextState>(baseObject());
    }
};

} // namespace vtl
