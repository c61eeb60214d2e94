#include "platform/ui/View.h"

#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"
#include "platform/ui/AnimationDelegate.h"

#include <QApplication>
#include <QGraphicsEffect>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QVariantAnimation>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

// Draws a view and its subviews with the layer's alpha and transform when either is not plain.
class LayerEffect : public QGraphicsEffect {
public:
    explicit LayerEffect(View* view)
        : QGraphicsEffect(view)
        , view_(view) {}

protected:
    void draw(QPainter* painter) override {
        const double alpha = std::clamp(view_->presentationAlphaValue(), 0.0, 1.0);
        const AffineTransform layer = view_->presentationLayerTransform();
        if (alpha >= 1.0 && layer.isIdentity()) {
            drawSource(painter);
            return;
        }
        if (alpha <= 0.0) return;
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::NoPad);
        // The layer transform is about the view's bottom-left corner with y up; the painter is y down.
        const double h = view_->height();
        const AffineTransform flip{1, 0, 0, -1, 0, h};
        const AffineTransform qtTransform = flip.concatenated(layer).concatenated(flip);
        painter->save();
        painter->setOpacity(painter->opacity() * alpha);
        painter->setWorldTransform(qt::toQTransform(qtTransform), true);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    View* view_;
};

// Watches every window's pointer events and judges the tracking areas of the views in it, so an
// area fires whichever widget is under the pointer (areas belong to the window, not to the widget).
class TrackingMonitor : public QObject {
public:
    static TrackingMonitor& instance() {
        static auto* monitor = new TrackingMonitor; // lives as long as the application object
        return *monitor;
    }

    void add(View* view) {
        if (std::find(views_.begin(), views_.end(), view) == views_.end()) views_.push_back(view);
        if (!installed_ && qApp) {
            qApp->installEventFilter(this);
            installed_ = true;
        }
    }
    void remove(View* view) { views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end()); }

    // Judges the areas of every view in the window for a pointer at a y-down window point, or
    // for a pointer outside the window when there is none.
    void judge(const QWidget* window, std::optional<QPointF> windowPoint, unsigned modifiers) {
        if (!window) return;
        std::vector<QPointer<View>> targets;
        for (View* view : views_)
            if (view->window() == window) targets.emplace_back(view);
        for (const QPointer<View>& view : targets) {
            if (!view) continue;
            std::optional<Point> local;
            if (windowPoint && view->isVisible()) {
                const QPointF q = view->mapFrom(window, *windowPoint);
                local = View::pointFromQt(q, view->height(), view->isFlipped());
            }
            judgeView(view, local, windowPoint, window, modifiers);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWindowType() || views_.empty()) return false;
        auto* qwindow = static_cast<QWindow*>(watched);
        const QWidget* window = nullptr;
        for (View* view : views_) {
            QWidget* top = view->window();
            if (top->windowHandle() == qwindow) {
                window = top;
                break;
            }
        }
        if (!window) return false;
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            judge(window, mouse->position(), 0);
            break;
        }
        case QEvent::Leave:
            judge(window, std::nullopt, 0);
            break;
        default:
            break;
        }
        return false;
    }

private:
    static void judgeView(const QPointer<View>& view, std::optional<Point> local,
                          std::optional<QPointF> qtPoint, const QWidget* window, unsigned modifiers) {
        const std::vector<std::shared_ptr<TrackingArea>> areas = view->trackingAreas();
        for (const std::shared_ptr<TrackingArea>& area : areas) {
            if (!view) return;
            const auto& current = view->trackingAreas();
            if (std::find(current.begin(), current.end(), area) == current.end()) continue;
            const Rect rect = (area->options() & TrackingInVisibleRect) ? view->bounds() : area->rect();
            const bool inside = local && rect.containsPoint(*local);
            MouseEvent event;
            event.locationInView = local.value_or(Point{});
            if (qtPoint) event.locationInWindow = Point{qtPoint->x(), window->height() - qtPoint->y()};
            event.modifierFlags = modifiers;
            event.trackingArea = area;
            TrackingAreaOwner* owner = area->owner();
            if (inside != area->mouseInside()) {
                area->setMouseInside(inside);
                if (owner && (area->options() & TrackingMouseEnteredAndExited)) {
                    event.type = inside ? MouseEventType::MouseEntered : MouseEventType::MouseExited;
                    if (inside)
                        owner->mouseEntered(event);
                    else
                        owner->mouseExited(event);
                }
            } else if (inside && owner && (area->options() & TrackingMouseMoved)) {
                event.type = MouseEventType::MouseMoved;
                owner->mouseMoved(event);
            }
        }
    }

    std::vector<View*> views_;
    bool installed_ = false;
};

unsigned modifierFlagsFrom(Qt::KeyboardModifiers modifiers) {
    unsigned flags = ModifierNone;
    if (modifiers & Qt::ShiftModifier) flags |= ModifierShift;
    if (modifiers & Qt::ControlModifier) flags |= ModifierControl;
    if (modifiers & Qt::AltModifier) flags |= ModifierOption;
    if (modifiers & Qt::MetaModifier) flags |= ModifierCommand;
    return flags;
}

} // namespace

struct View::Animations {
    struct Running {
        std::unique_ptr<BasicAnimation> animation;
        QVariantAnimation* driver = nullptr;
        double value = 0;
        bool finished = false;
    };
    std::vector<Running> layer;

    QVariantAnimation* fade = nullptr;
    double fadeFrom = 1;
    double fadeValue = 1;
    std::function<void()> fadeCompletion;

    LayerEffect* effect = nullptr;
};

View::View(const Rect& frame)
    : animations_(std::make_unique<Animations>()) {
    setFrame(frame);
}

View::~View() {
    TrackingMonitor::instance().remove(this);
    if (watchedParent_) watchedParent_->removeEventFilter(this);
    // Drivers are children of this object; stop them before the containers they report into go.
    if (animations_->fade) animations_->fade->stop();
    for (auto& running : animations_->layer)
        if (running.driver) running.driver->stop();
}

// Geometry -----------------------------------------------------------------------------------

QRect View::qtRectFromRect(const Rect& r, double containerHeight, bool containerFlipped) {
    const double top = containerFlipped ? r.minY() : containerHeight - r.maxY();
    const double bottom = containerFlipped ? r.maxY() : containerHeight - r.minY();
    const auto left = static_cast<int>(std::lround(r.minX()));
    const auto right = static_cast<int>(std::lround(r.maxX()));
    const auto t = static_cast<int>(std::lround(top));
    const auto b = static_cast<int>(std::lround(bottom));
    return QRect(left, t, std::max(0, right - left), std::max(0, b - t));
}

Point View::pointFromQt(const QPointF& p, double height, bool flipped) {
    return flipped ? Point{p.x(), p.y()} : Point{p.x(), height - p.y()};
}

double View::containerHeight() const {
    if (View* super = superview()) return super->frame_.size.height;
    if (QWidget* parent = parentWidget()) return parent->height();
    return 0;
}

bool View::containerIsFlipped() const {
    View* super = superview();
    return super && super->isFlipped();
}

void View::applyGeometry() {
    applyingGeometry_ = true;
    if (parentWidget()) {
        setGeometry(qtRectFromRect(frame_, containerHeight(), containerIsFlipped()));
    } else {
        // A window of its own: the frame's size is the window's; where it goes is the window system's.
        const QRect r =
            qtRectFromRect(Rect(0, 0, frame_.size.width, frame_.size.height), frame_.size.height, true);
        if (r.size() != size()) resize(r.size());
    }
    applyingGeometry_ = false;
}

void View::setFrame(const Rect& frame) {
    const Size oldSize = frame_.size;
    frame_ = frame;
    applyGeometry();
    if (oldSize != frame_.size) {
        resizeSubviewsWithOldSize(oldSize);
        update();
    }
}

void View::resizeSubviewsWithOldSize(Size oldSize) {
    for (View* subview : subviews())
        subview->resizeWithOldSuperviewSize(oldSize);
}

void View::resizeWithOldSuperviewSize(Size oldSize) {
    QWidget* parent = parentWidget();
    if (!parent) return;
    const Size newSize =
        superview() ? superview()->frame_.size : Size{double(parent->width()), double(parent->height())};
    // Spreads a change of the container's length over the flexible parts in proportion to them.
    auto spread = [](double delta, double& before, double& length, double& after, bool flexBefore,
                     bool flexLength, bool flexAfter) {
        double total = 0;
        int count = 0;
        if (flexBefore) total += std::max(before, 0.0), ++count;
        if (flexLength) total += std::max(length, 0.0), ++count;
        if (flexAfter) total += std::max(after, 0.0), ++count;
        if (count == 0) return;
        auto share = [&](double part) {
            return total > 0 ? delta * std::max(part, 0.0) / total : delta / count;
        };
        const double dBefore = flexBefore ? share(before) : 0;
        const double dLength = flexLength ? share(length) : 0;
        before += dBefore;
        length += dLength;
    };
    Rect f = frame_;
    double left = f.minX(), width = f.width(), right = oldSize.width - f.maxX();
    spread(newSize.width - oldSize.width, left, width, right, autoresizingMask_ & ViewMinXMargin,
           autoresizingMask_ & ViewWidthSizable, autoresizingMask_ & ViewMaxXMargin);
    double bottom = f.minY(), height = f.height(), top = oldSize.height - f.maxY();
    spread(newSize.height - oldSize.height, bottom, height, top, autoresizingMask_ & ViewMinYMargin,
           autoresizingMask_ & ViewHeightSizable, autoresizingMask_ & ViewMaxYMargin);
    const Rect resized(left, bottom, std::max(0.0, width), std::max(0.0, height));
    if (resized != frame_)
        setFrame(resized);
    else
        applyGeometry(); // a y-up frame keeps its distance from the bottom: its Qt position moves
}

void View::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (applyingGeometry_) return;
    // Resized from outside (a window manager, a layout): take the new size as the frame's.
    const Size qtSize{double(width()), double(height())};
    if (qtSize != frame_.size) {
        const Size oldSize = frame_.size;
        frame_.size = qtSize;
        resizeSubviewsWithOldSize(oldSize);
        setFrame(frame_); // lets subclasses that follow setFrame see the change
    }
}

// View tree ----------------------------------------------------------------------------------

View* View::superview() const {
    return dynamic_cast<View*>(parentWidget());
}

void View::addSubview(View* view) {
    if (!view || view == this) return;
    const bool explicitlyHidden =
        view->testAttribute(Qt::WA_WState_ExplicitShowHide) && view->testAttribute(Qt::WA_WState_Hidden);
    view->setParent(this);
    view->applyGeometry();
    if (!explicitlyHidden) view->show();
}

void View::removeFromSuperview() {
    if (parentWidget()) setParent(nullptr);
}

std::vector<View*> View::subviews() const {
    std::vector<View*> result;
    for (QObject* child : children())
        if (auto* view = dynamic_cast<View*>(child)) result.push_back(view);
    return result;
}

QWidget* View::hostWindow() const {
    QWidget* top = window();
    if (top != this) return top;
    return isVisible() ? top : nullptr;
}

void View::setWindowAcceptsMouseMovedEvents() {
    if (QWidget* w = hostWindow()) w->setMouseTracking(true);
}

void View::checkWindowChange() {
    QWidget* now = hostWindow();
    if (now != lastWindow_) {
        lastWindow_ = now;
        viewDidMoveToWindow();
    }
    for (View* subview : subviews())
        subview->checkWindowChange();
}

bool View::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::ParentChange: {
        if (watchedParent_) watchedParent_->removeEventFilter(this);
        watchedParent_ = nullptr;
        QWidget* parent = parentWidget();
        if (parent && !dynamic_cast<View*>(parent)) {
            parent->installEventFilter(this);
            watchedParent_ = parent;
        }
        applyGeometry();
        viewDidMoveToSuperview();
        checkWindowChange();
        break;
    }
    case QEvent::Show:
    case QEvent::Hide:
        if (isWindow()) checkWindowChange();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool View::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedParent_ && event->type() == QEvent::Resize) {
        const QSize old = static_cast<QResizeEvent*>(event)->oldSize();
        if (old.isValid())
            resizeWithOldSuperviewSize(Size{double(old.width()), double(old.height())});
        else
            applyGeometry();
    }
    return QWidget::eventFilter(watched, event);
}

// Coordinates --------------------------------------------------------------------------------

Point View::convertPointToWindow(Point p) const {
    const QWidget* top = window();
    const QPointF q = flippedOrUp(p);
    const QPointF inWindow = top == this ? q : mapTo(top, q);
    return Point{inWindow.x(), top->height() - inWindow.y()};
}

Point View::convertPointFromWindow(Point p) const {
    const QWidget* top = window();
    const QPointF q(p.x, top->height() - p.y);
    const QPointF local = top == this ? q : mapFrom(top, q);
    return pointFromQt(local, height(), isFlipped());
}

Point View::convertPointFromView(Point p, const View* from) const {
    if (!from) return convertPointFromWindow(p);
    if (from->window() == window()) return convertPointFromWindow(from->convertPointToWindow(p));
    // Different windows: through the screen.
    const QPointF global = from->mapToGlobal(from->flippedOrUp(p));
    return pointFromQt(mapFromGlobal(global), height(), isFlipped());
}

Point View::convertPointToView(Point p, const View* to) const {
    if (!to) return convertPointToWindow(p);
    return to->convertPointFromView(p, this);
}

Rect View::convertRectFromView(const Rect& r, const View* from) const {
    const Point a = convertPointFromView(r.origin, from);
    const Point b = convertPointFromView(Point{r.maxX(), r.maxY()}, from);
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
}

QPointF View::flippedOrUp(Point p) const {
    return isFlipped() ? QPointF(p.x, p.y) : QPointF(p.x, height() - p.y);
}

// Drawing ------------------------------------------------------------------------------------

void View::setNeedsDisplayInRect(const Rect& r) {
    update(qtRectFromRect(r, height(), isFlipped()));
}

void View::drawRect(GraphicsContext&, const Rect&) {}

void View::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const auto context = GraphicsContext::createOverPainter(&painter, width(), height(), isFlipped());
    if (!context) return;
    const QRect dirty = event->rect();
    const Rect dirtyRect =
        isFlipped() ? Rect(dirty.x(), dirty.y(), dirty.width(), dirty.height())
                    : Rect(dirty.x(), height() - dirty.y() - dirty.height(), dirty.width(), dirty.height());
    const auto previous = GraphicsContext::currentShared();
    GraphicsContext::setCurrent(context);
    drawRect(*context, dirtyRect);
    GraphicsContext::setCurrent(previous);
}

// Tracking areas -----------------------------------------------------------------------------

void View::addTrackingArea(std::shared_ptr<TrackingArea> area) {
    if (!area) return;
    trackingAreas_.push_back(std::move(area));
    TrackingMonitor::instance().add(this);
}

void View::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) {
    trackingAreas_.erase(std::remove(trackingAreas_.begin(), trackingAreas_.end(), area),
                         trackingAreas_.end());
    if (trackingAreas_.empty()) TrackingMonitor::instance().remove(this);
}

void View::updateTrackingAreasForWindowPoint(Point windowPoint) {
    const QWidget* top = window();
    TrackingMonitor::instance().judge(top, QPointF(windowPoint.x, top->height() - windowPoint.y), 0);
}

// Mouse --------------------------------------------------------------------------------------

MouseEvent View::makeMouseEvent(MouseEventType type, const QMouseEvent& qtEvent) const {
    MouseEvent event;
    event.type = type;
    const QWidget* top = window();
    const QPointF inWindow = top == this ? qtEvent.position() : mapTo(top, qtEvent.position());
    event.locationInWindow = Point{inWindow.x(), top->height() - inWindow.y()};
    event.locationInView = pointFromQt(qtEvent.position(), height(), isFlipped());
    event.clickCount = qtEvent.type() == QEvent::MouseButtonDblClick ? 2 : 1;
    event.modifierFlags = modifierFlagsFrom(qtEvent.modifiers());
    return event;
}

void View::mouseDown(const MouseEvent&) {
    passMouseToSuperview_ = true;
}
void View::mouseDragged(const MouseEvent&) {
    passMouseToSuperview_ = true;
}
void View::mouseUp(const MouseEvent&) {
    passMouseToSuperview_ = true;
}
void View::rightMouseDown(const MouseEvent&) {
    passMouseToSuperview_ = true;
}

void View::mousePressEvent(QMouseEvent* event) {
    passMouseToSuperview_ = false;
    QPointer<View> guard(this);
    if (event->button() == Qt::LeftButton) {
        MouseEvent e = makeMouseEvent(MouseEventType::LeftMouseDown, *event);
        updateTrackingAreasForWindowPoint(e.locationInWindow);
        if (!guard) return;
        mouseDown(e);
    } else if (event->button() == Qt::RightButton) {
        rightMouseDown(makeMouseEvent(MouseEventType::RightMouseDown, *event));
    } else {
        passMouseToSuperview_ = true;
    }
    if (!guard) return;
    event->setAccepted(!passMouseToSuperview_);
}

void View::mouseMoveEvent(QMouseEvent* event) {
    passMouseToSuperview_ = false;
    QPointer<View> guard(this);
    MouseEvent e = makeMouseEvent(MouseEventType::LeftMouseDragged, *event);
    updateTrackingAreasForWindowPoint(e.locationInWindow);
    if (!guard) return;
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(e);
    else
        passMouseToSuperview_ = true;
    if (!guard) return;
    event->setAccepted(!passMouseToSuperview_);
}

void View::mouseReleaseEvent(QMouseEvent* event) {
    passMouseToSuperview_ = false;
    QPointer<View> guard(this);
    if (event->button() == Qt::LeftButton) {
        MouseEvent e = makeMouseEvent(MouseEventType::LeftMouseUp, *event);
        updateTrackingAreasForWindowPoint(e.locationInWindow);
        if (!guard) return;
        mouseUp(e);
    } else {
        passMouseToSuperview_ = true;
    }
    if (!guard) return;
    event->setAccepted(!passMouseToSuperview_);
}

// Layer alpha and animations -----------------------------------------------------------------

void View::updateLayerEffect() {
    const bool plain = presentationAlphaValue() >= 1.0 && presentationLayerTransform().isIdentity();
    if (!animations_->effect) {
        if (plain) return;
        animations_->effect = new LayerEffect(this);
        setGraphicsEffect(animations_->effect); // the widget owns the effect
    }
    animations_->effect->setEnabled(!plain);
    update();
}

void View::setAlphaValue(double alpha) {
    if (animations_->fade) {
        QVariantAnimation* fade = animations_->fade;
        animations_->fade = nullptr;
        animations_->fadeCompletion = nullptr;
        fade->stop();
        fade->deleteLater();
    }
    alpha_ = alpha;
    updateLayerEffect();
}

double View::presentationAlphaValue() const {
    double alpha = animations_->fade ? animations_->fadeValue : alpha_;
    for (const auto& running : animations_->layer)
        if (running.animation->keyPath() == "opacity") alpha = running.value;
    return alpha;
}

bool View::isFadingAlpha() const {
    return animations_->fade != nullptr;
}

void View::animateAlphaValue(double alpha, double durationSeconds, std::function<void()> completion) {
    QPointer<View> guard(this);
    const double from = presentationAlphaValue();
    // A fade that is replaced ends its transaction now.
    if (animations_->fade) {
        QVariantAnimation* old = animations_->fade;
        std::function<void()> oldCompletion = std::move(animations_->fadeCompletion);
        animations_->fade = nullptr;
        old->stop();
        old->deleteLater();
        if (oldCompletion) oldCompletion();
        if (!guard) return;
    }
    alpha_ = alpha;
    if (!(durationSeconds > 0)) {
        updateLayerEffect();
        if (completion) completion();
        return;
    }
    auto* fade = new QVariantAnimation(this);
    animations_->fade = fade;
    animations_->fadeFrom = from;
    animations_->fadeValue = from;
    animations_->fadeCompletion = std::move(completion);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->setDuration(static_cast<int>(std::lround(durationSeconds * 1000)));
    QObject::connect(
        fade, &QVariantAnimation::valueChanged, this, [this, fade, alpha](const QVariant& value) {
            if (animations_->fade != fade) return;
            const double t =
                BasicAnimation::timingProgress(MediaTimingFunction::EaseInEaseOut, value.toDouble());
            animations_->fadeValue = animations_->fadeFrom + (alpha - animations_->fadeFrom) * t;
            updateLayerEffect();
        });
    QObject::connect(fade, &QVariantAnimation::finished, this, [this, fade] {
        if (animations_->fade != fade) return;
        animations_->fade = nullptr;
        std::function<void()> done = std::move(animations_->fadeCompletion);
        fade->deleteLater();
        updateLayerEffect();
        if (done) done();
    });
    fade->start();
    updateLayerEffect();
}

void View::addAnimation(const BasicAnimation& animation) {
    QPointer<View> guard(this);
    Animations::Running running;
    running.animation = animation.copy();
    running.value = animation.fromValue();
    BasicAnimation* copy = running.animation.get();
    const double seconds = animation.durationSeconds();
    if (!(seconds > 0)) {
        // Over before it starts: only its end value can remain.
        running.finished = true;
        running.value = animation.toValue();
        if (!animation.isRemovedOnCompletion()) animations_->layer.push_back(std::move(running));
        updateLayerEffect();
        if (AnimationDelegate* delegate = copy->delegate()) {
            delegate->animationDidStart(*copy);
            if (guard) delegate->animationDidStop(*copy, true);
        }
        return;
    }
    auto* driver = new QVariantAnimation(this);
    running.driver = driver;
    driver->setStartValue(0.0);
    driver->setEndValue(1.0);
    driver->setDuration(static_cast<int>(std::lround(seconds * 1000)));
    QObject::connect(driver, &QVariantAnimation::valueChanged, this, [this, copy](const QVariant& value) {
        for (auto& r : animations_->layer) {
            if (r.animation.get() != copy) continue;
            const double t = BasicAnimation::timingProgress(copy->timingFunction(), value.toDouble());
            r.value = copy->fromValue() + (copy->toValue() - copy->fromValue()) * t;
        }
        updateLayerEffect();
    });
    QObject::connect(driver, &QVariantAnimation::finished, this, [this, copy, driver] {
        auto it = std::find_if(animations_->layer.begin(), animations_->layer.end(),
                               [&](const Animations::Running& r) { return r.animation.get() == copy; });
        if (it == animations_->layer.end()) return;
        it->finished = true;
        it->value = copy->toValue();
        it->driver = nullptr;
        driver->deleteLater();
        // The delegate sees the animation before it is dropped.
        std::unique_ptr<BasicAnimation> keep;
        if (copy->isRemovedOnCompletion()) {
            keep = std::move(it->animation);
            animations_->layer.erase(it);
        }
        updateLayerEffect();
        if (AnimationDelegate* delegate = copy->delegate()) delegate->animationDidStop(*copy, true);
    });
    animations_->layer.push_back(std::move(running));
    driver->start();
    updateLayerEffect();
    if (AnimationDelegate* delegate = copy->delegate()) delegate->animationDidStart(*copy);
}

void View::removeAllAnimations() {
    std::vector<Animations::Running> removed = std::move(animations_->layer);
    animations_->layer.clear();
    for (auto& running : removed) {
        if (running.driver) {
            running.driver->stop();
            running.driver->deleteLater();
        }
    }
    updateLayerEffect();
    for (auto& running : removed) {
        if (!running.finished)
            if (AnimationDelegate* delegate = running.animation->delegate())
                delegate->animationDidStop(*running.animation, false);
    }
}

std::size_t View::animationCount() const {
    return animations_->layer.size();
}

AffineTransform View::presentationLayerTransform() const {
    double sx = 1, sy = 1, tx = 0, ty = 0, rz = 0;
    for (const auto& running : animations_->layer) {
        const std::string& key = running.animation->keyPath();
        const double v = running.value;
        if (key == "transform.scale")
            sx = sy = v;
        else if (key == "transform.scale.x")
            sx = v;
        else if (key == "transform.scale.y")
            sy = v;
        else if (key == "transform.translation.x")
            tx = v;
        else if (key == "transform.translation.y")
            ty = v;
        else if (key == "transform.rotation.z" || key == "transform.rotation")
            rz = v;
    }
    return AffineTransform::scale(sx, sy)
        .concatenated(AffineTransform::rotationRadians(rz))
        .concatenated(AffineTransform::translation(tx, ty));
}

} // namespace vtl
