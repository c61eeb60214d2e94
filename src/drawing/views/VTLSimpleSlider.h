#pragma once
// A small horizontal slider drawn by the system itself: a thin rounded track and a round knob
// that grows while the mouse is held down. Its value and pressed state are observable ("current",
// "mouseIsDown"); dragging sends the action. Owned like any view; the action's target is not owned.

#include "platform/ui/View.h"

#include <cstdint>
#include <functional>

namespace vtl {

class VTLSimpleSlider : public View {
public:
    // Made in code the knob is 14 points; placed from an interface file, 16.
    enum class Creation { InCode, FromInterfaceFile };
    // The target's action, called with the slider; empty when there is none.
    using Action = std::function<void(VTLSimpleSlider&)>;

    explicit VTLSimpleSlider(const Rect& frame, Creation creation = Creation::InCode);

    double minimum() const { return minimum_; }
    void setMinimum(double minimum);
    double maximum() const { return maximum_; }
    void setMaximum(double maximum);
    double current() const { return current_; }
    // Stores the smaller of the value and the maximum (a value below the minimum is kept).
    void setCurrent(double current);
    bool mouseIsDown() const { return mouseIsDown_; }
    // The original's setTarget:action:.
    void setTargetAction(Action action) { action_ = std::move(action); }
    bool interactionDisabled() const { return interactionDisabled_; }
    void setInteractionDisabled(bool disabled) { interactionDisabled_ = disabled; }
    std::int64_t knobSize() const { return knobSize_; }

    // The bounds inset horizontally by the knob size on each side.
    Rect trackRect() const;
    // 0…1 for an x in view coordinates; 0 when the track has no width.
    float pixelPositionToFraction(float x) const;
    float fractionToPixelPosition(float fraction) const;
    // Where the knob is drawn: the pressed size while the mouse is down, 0.6 of it otherwise.
    Rect knobRect() const;

    void setFrame(const Rect& frame) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;
    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;
    std::any valueForKey(const std::string& key) const override;

private:
    double valueAtWindowPoint(Point windowPoint) const;

    double minimum_ = 0.0;
    double maximum_ = 1.0;
    double current_ = 0.0;
    bool mouseIsDown_ = false;
    Action action_;
    std::int64_t knobSize_;
    bool interactionDisabled_ = false;
};

} // namespace vtl
