#pragma once
// A view with the original platform's rules, standing on a QWidget:
// - its frame is in its superview's coordinates, y up from the superview's bottom edge unless the
//   superview is flipped; bounds start at (0, 0); subviews follow size changes of their superview
//   by their autoresizing mask;
// - drawing happens in drawRect on a graphics context over the widget (y up unless isFlipped);
// - tracking areas report the pointer entering and leaving them, judged for the whole window
//   whichever widget is under the pointer;
// - mouse down, dragged and up arrive in view coordinates; a view that does not handle one passes
//   it to its superview;
// - the layer's alpha and transform (scale, translation, rotation about the bottom-left corner) can
//   be animated; they are applied at paint time to the view and its subviews;
// - properties can be observed by key (ObservableObject).
// A view added to a superview is owned by it (Qt parenthood); a view without one by whoever made it.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/ui/BasicAnimation.h"
#include "platform/ui/MouseEvent.h"
#include "platform/ui/TrackingArea.h"
#include "platform/ui/TrackingAreaOwner.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace vtl {

class GraphicsContext;

// How a view follows size changes of its superview (the original's bits).
enum AutoresizingMask : unsigned {
    ViewNotSizable = 0,
    ViewMinXMargin = 1,
    ViewWidthSizable = 2,
    ViewMaxXMargin = 4,
    ViewMinYMargin = 8,
    ViewHeightSizable = 16,
    ViewMaxYMargin = 32,
};

class View : public QWidget, public ObservableObject, public TrackingAreaOwner {
public:
    // The platform's current animation duration, used by fades that name none.
    static constexpr double defaultAnimationDurationSeconds = 0.25;

    explicit View(const Rect& frame = Rect());
    ~View() override;

    // Geometry.
    Rect frame() const { return frame_; }
    virtual void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin) { setFrame(Rect(origin, frame_.size)); }
    void setFrameSize(Size size) { setFrame(Rect(frame_.origin, size)); }
    Rect bounds() const { return Rect(0, 0, frame_.size.width, frame_.size.height); }
    virtual bool isFlipped() const { return false; }
    unsigned autoresizingMask() const { return autoresizingMask_; }
    void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }

    // The view tree. superview() is null when the parent widget is not a View (or there is none).
    View* superview() const;
    void addSubview(View* view);
    void removeFromSuperview();
    std::vector<View*> subviews() const;
    // The window the view is in: the top-level widget above it, or the view itself when it is a
    // visible window of its own; null otherwise.
    QWidget* hostWindow() const;
    // Asks the window to report pointer moves (the original's accepts-mouse-moved-events switch).
    void setWindowAcceptsMouseMovedEvents();

    // Coordinates. A null view means the window's coordinates (y up from its bottom-left).
    Point convertPointFromView(Point p, const View* from) const;
    Point convertPointToView(Point p, const View* to) const;
    Rect convertRectFromView(const Rect& r, const View* from) const;
    Point convertPointFromWindow(Point p) const;
    Point convertPointToWindow(Point p) const;
    // The one place that turns a y-up rectangle of a container of the given height into Qt's
    // y-down pixel rectangle (edges rounded to whole pixels), and a y-down point back.
    static QRect qtRectFromRect(const Rect& r, double containerHeight, bool containerFlipped);
    static Point pointFromQt(const QPointF& p, double height, bool flipped);

    // Drawing.
    void setNeedsDisplay() { update(); }
    void setNeedsDisplayInRect(const Rect& r);
    virtual void drawRect(GraphicsContext& context, const Rect& dirtyRect);

    // Tracking areas.
    void addTrackingArea(std::shared_ptr<TrackingArea> area);
    void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
    const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return trackingAreas_; }
    // Re-judges every area of this view's window for a pointer at that window point (y up).
    void updateTrackingAreasForWindowPoint(Point windowPoint);

    // Mouse handling, in view coordinates. The base versions pass the event to the superview.
    virtual void mouseDown(const MouseEvent& event);
    virtual void mouseDragged(const MouseEvent& event);
    virtual void mouseUp(const MouseEvent& event);
    virtual void rightMouseDown(const MouseEvent& event);

    // Layer alpha. setAlphaValue stops a running fade (without calling its completion).
    double alphaValue() const { return alpha_; }
    void setAlphaValue(double alpha);
    // Fades the alpha to a value (the original's animator); the completion runs once the fade has
    // ended or was replaced by another. A fade of 0 s (or less) ends at once.
    void animateAlphaValue(double alpha, double durationSeconds = defaultAnimationDurationSeconds,
                           std::function<void()> completion = {});
    // The alpha shown at this moment.
    double presentationAlphaValue() const;
    bool isFadingAlpha() const;

    // Layer animations: a copy of the animation is kept and run at once. Supported key paths:
    // "opacity", "transform.scale", "transform.scale.x", "transform.scale.y",
    // "transform.translation.x", "transform.translation.y", "transform.rotation.z" (radians).
    void addAnimation(const BasicAnimation& animation);
    void removeAllAnimations();
    std::size_t animationCount() const;
    // The layer transform shown at this moment, in the view's y-up coordinates about its bottom-left.
    AffineTransform presentationLayerTransform() const;

    // Hooks of the original's view life.
    virtual void viewDidMoveToSuperview() {}
    virtual void viewDidMoveToWindow() {}

    struct Animations;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MouseEvent makeMouseEvent(MouseEventType type, const QMouseEvent& qtEvent) const;
    void applyGeometry();
    void resizeSubviewsWithOldSize(Size oldSize);
    void resizeWithOldSuperviewSize(Size oldSize);
    double containerHeight() const;
    // A point of this view as Qt's y-down widget point.
    QPointF flippedOrUp(Point p) const;
    bool containerIsFlipped() const;
    void checkWindowChange();
    void updateLayerEffect();

    Rect frame_;
    unsigned autoresizingMask_ = ViewNotSizable;
    double alpha_ = 1.0;
    bool passMouseToSuperview_ = false;
    bool applyingGeometry_ = false;
    QWidget* watchedParent_ = nullptr;
    QWidget* lastWindow_ = nullptr;
    std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
    std::unique_ptr<Animations> animations_;
};

} // namespace vtl
