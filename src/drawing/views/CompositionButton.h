#pragma once
// A plain image button: the image fitted into its bounds, a blue silhouette of it while on, half
// opacity while disabled (when it also ignores the mouse), and an action sent on a release that
// ends a press inside it. Owned like any view; the action's target is not owned.

#include "platform/graphics/Image.h"
#include "platform/ui/View.h"

#include <cstdint>
#include <functional>

namespace vtl {

enum class ButtonState : std::int64_t { Off = 0, On = 1, Mixed = -1 };

class CompositionButton : public View {
public:
    // The target's action, called with the button; empty when there is none.
    using Action = std::function<void(CompositionButton&)>;

    explicit CompositionButton(const Rect& frame);

    const ImageRef& buttonImage() const { return buttonImage_; }
    // Keeps the image and builds its on image.
    void setImage(ImageRef image);
    const ImageRef& buttonImageOn() const { return buttonImageOn_; }
    ButtonState state() const { return state_; }
    void setState(ButtonState state);
    // Enabled state: QWidget's own (a disabled widget gets no mouse events).
    void setAction(Action action) { action_ = std::move(action); }
    bool mouseDownInside() const { return mouseDownInside_; }
    bool mouseWasDownInside() const { return mouseWasDownInside_; }

    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

protected:
    void changeEvent(QEvent* event) override;

private:
    ImageRef buttonImage_;
    ImageRef buttonImageOn_;
    ButtonState state_ = ButtonState::Off;
    bool mouseDownInside_ = false;
    bool mouseWasDownInside_ = false;
    Action action_;
};

} // namespace vtl
