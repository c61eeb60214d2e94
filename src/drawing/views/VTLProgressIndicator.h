#pragma once
// A flat progress bar drawn by the system itself: a determinate fill, or moving stripes while
// indeterminate. The stripes move on a timer of the main thread that runs only while the bar is
// indeterminate and shown (Qt timers keep firing in modal loops and during mouse tracking).
// Owned like any view.

#include "platform/ui/View.h"

#include <QTimer>
#include <cstdint>

namespace vtl {

class VTLProgressIndicator : public View {
public:
    static constexpr std::int32_t stripePhases = 15;

    explicit VTLProgressIndicator(const Rect& frame);

    bool indeterminate() const { return indeterminate_; }
    void setIndeterminate(bool indeterminate);
    double minimum() const { return min_; }
    void setMinimum(double minimum);
    double maximum() const { return max_; }
    void setMaximum(double maximum);
    double current() const { return current_; }
    void setCurrent(double current);
    std::int32_t indeterminateProgress() const { return indeterminateProgress_; }
    bool isAnimating() const { return indeterminateTimer_.isActive(); }

    // The timer's step: the next stripe phase, drawn at once.
    void advanceIndeterminateAnimation();
    // Hiding stops the timer; showing an indeterminate bar starts it.
    void setVisible(bool visible) override;
    void drawRect(GraphicsContext& context, const Rect& dirtyRect) override;

private:
    void startTimer();
    void stopTimer();

    bool indeterminate_ = false;
    double min_ = 0;
    double max_ = 0;
    double current_ = 0;
    std::int32_t indeterminateProgress_ = 0;
    QTimer indeterminateTimer_;
};

} // namespace vtl
