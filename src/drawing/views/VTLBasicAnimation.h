#pragma once
// A basic layer animation that carries a view and an untyped context to its delegate (the
// timeline uses it to know which clip an animation belongs to). Copies keep both; neither is owned.

#include "platform/ui/BasicAnimation.h"

namespace vtl {

class View;

class VTLBasicAnimation : public BasicAnimation {
public:
    using BasicAnimation::BasicAnimation;

    std::unique_ptr<BasicAnimation> copy() const override {
        return std::make_unique<VTLBasicAnimation>(*this);
    }

    View* view() const { return view_; }
    void setView(View* view) { view_ = view; }
    void* context() const { return context_; }
    void setContext(void* context) { context_ = context; }

private:
    View* view_ = nullptr;
    void* context_ = nullptr;
};

} // namespace vtl
