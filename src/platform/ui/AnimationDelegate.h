#pragma once
// Told when a layer animation added to a view starts and stops; receives the view's own copy of
// the animation. Not owned by the animation.

namespace vtl {

class BasicAnimation;

class AnimationDelegate {
public:
    virtual void animationDidStart(const BasicAnimation&) {}
    // finished: the animation ran its full duration (false when it was removed early).
    virtual void animationDidStop(const BasicAnimation&, bool /*finished*/) {}

protected:
    ~AnimationDelegate() = default;
};

} // namespace vtl
