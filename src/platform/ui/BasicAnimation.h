#pragma once
// An animation of one layer property of a view from one value to another ("opacity",
// "transform.scale.x", "transform.translation.y", …) over a duration with a timing curve. A view
// keeps its own copy (made by copy()) of what is added to it, so subclasses that carry more data
// override copy(). The creator owns the animation it builds.

#include <memory>
#include <string>

namespace vtl {

class AnimationDelegate;

enum class MediaTimingFunction { Linear, EaseIn, EaseOut, EaseInEaseOut, Default };

class BasicAnimation {
public:
    BasicAnimation() = default;
    BasicAnimation(std::string keyPath, double fromValue, double toValue, double durationSeconds,
                   MediaTimingFunction timing = MediaTimingFunction::Default)
        : keyPath_(std::move(keyPath))
        , fromValue_(fromValue)
        , toValue_(toValue)
        , durationSeconds_(durationSeconds)
        , timing_(timing) {}
    virtual ~BasicAnimation() = default;

    virtual std::unique_ptr<BasicAnimation> copy() const { return std::make_unique<BasicAnimation>(*this); }

    const std::string& keyPath() const { return keyPath_; }
    void setKeyPath(std::string keyPath) { keyPath_ = std::move(keyPath); }
    double fromValue() const { return fromValue_; }
    void setFromValue(double value) { fromValue_ = value; }
    double toValue() const { return toValue_; }
    void setToValue(double value) { toValue_ = value; }
    double durationSeconds() const { return durationSeconds_; }
    void setDurationSeconds(double seconds) { durationSeconds_ = seconds; }
    MediaTimingFunction timingFunction() const { return timing_; }
    void setTimingFunction(MediaTimingFunction timing) { timing_ = timing; }
    // When false the finished animation keeps showing its end value.
    bool isRemovedOnCompletion() const { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool removed) { removedOnCompletion_ = removed; }
    AnimationDelegate* delegate() const { return delegate_; }
    void setDelegate(AnimationDelegate* delegate) { delegate_ = delegate; }

    // The timing curve's progress for a linear progress t in 0...1.
    static double timingProgress(MediaTimingFunction timing, double t);

private:
    std::string keyPath_;
    double fromValue_ = 0;
    double toValue_ = 0;
    double durationSeconds_ = 0.25;
    MediaTimingFunction timing_ = MediaTimingFunction::Default;
    bool removedOnCompletion_ = true;
    AnimationDelegate* delegate_ = nullptr;
};

} // namespace vtl
