#pragma once
// The platform's spinning progress indicator: twelve spokes, one of them brightest, turning while
// animated. Drawn by our own drawing code on a timer of the main thread. Owned like any view.

#include "platform/ui/View.h"

#include <QTimer>

namespace vtl {

class SpinningProgressIndicator : public View {
public:
    static constexpr int spokeCount = 12;

    explicit SpinningProgressIndicator(const Rect& frame = Rect(0, 0, 32, 32));

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return timer_.isActive(); }
    // Which spoke is brightest; moves by one each step.
    int phase() const { return phase_; }
    void advance();
    // Accepted for the original's callers; the spokes always turn on the main thread here.
    void setUsesThreadedAnimation(bool) {}

    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;

private:
    QTimer timer_;
    int phase_ = 0;
};

} // namespace vtl
