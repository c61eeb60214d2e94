#include "drawing/views/CompositionButton.h"

#include "drawing/MRDrawing_GeometryHelper.h"
#include "platform/graphics/GraphicsContext.h"

#include <QEvent>

namespace vtl {

CompositionButton::CompositionButton(const Rect& frame)
    : View(frame) {}

void CompositionButton::setImage(ImageRef image) {
    buttonImage_ = std::move(image);
    buttonImageOn_.reset();
    if (buttonImage_) {
        const Size size = buttonImage_->size();
        if (auto context =
                GraphicsContext::createBitmapContext(pixelCount(size.width), pixelCount(size.height))) {
            buttonImage_->drawInRect(*context, Rect(0, 0, size.width, size.height), Rect(),
                                     BlendMode::SourceOver, 1.0);
            // Source-in keeps the image's coverage and paints it blue: its silhouette.
            context->setBlendMode(BlendMode::SourceIn);
            context->setFillColor(Color::rgb(0, 0, 1));
            context->fillRect(Rect(0, 0, size.width, size.height));
            buttonImageOn_ = Image::withBitmap(context->makeImage());
            buttonImageOn_->setSize(size);
        }
    }
    setNeedsDisplay();
}

void CompositionButton::setState(ButtonState state) {
    state_ = state;
    setNeedsDisplay();
}

void CompositionButton::changeEvent(QEvent* event) {
    View::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) setNeedsDisplay();
}

void CompositionButton::drawRect(GraphicsContext& context, const Rect&) {
    if (!buttonImage_) return;
    const Rect fitted = MRDrawing_GeometryHelper::fittedRectInBounds(bounds(), buttonImage_->size());
    const ImageRef& image = state_ == ButtonState::On && buttonImageOn_ ? buttonImageOn_ : buttonImage_;
    image->drawInRect(context, fitted, Rect(), BlendMode::SourceOver, isEnabled() ? 1.0 : 0.5);
}

void CompositionButton::mouseDown(const MouseEvent&) {
    if (!isEnabled()) return;
    mouseDownInside_ = true;
    mouseWasDownInside_ = false;
    setNeedsDisplay();
}

void CompositionButton::mouseDragged(const MouseEvent& event) {
    if (!isEnabled()) return;
    const bool inside = bounds().containsPoint(event.locationInView);
    if (!inside && mouseDownInside_ && !mouseWasDownInside_) {
        mouseWasDownInside_ = true;
        mouseDownInside_ = false;
    } else if (inside && mouseWasDownInside_ && !mouseDownInside_) {
        mouseWasDownInside_ = false;
        mouseDownInside_ = true;
    }
    setNeedsDisplay();
}

void CompositionButton::mouseUp(const MouseEvent&) {
    if (!isEnabled()) return;
    const bool send = mouseDownInside_;
    mouseDownInside_ = false;
    mouseWasDownInside_ = false;
    setNeedsDisplay();
    if (send && action_) {
        const Action action = action_;
        action(*this);
    }
}

} // namespace vtl
