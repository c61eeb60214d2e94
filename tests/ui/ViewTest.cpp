#include "platform/ui/View.h"

#include "WidgetsTestEnvironment.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/ui/AnimationDelegate.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtl {
namespace {

using test::processEventsFor;
using test::processEventsUntil;
using test::renderWidget;

// A view that fills part of itself and records what happens to it.
class ProbeView : public View {
public:
    explicit ProbeView(const Rect& frame, bool flipped = false)
        : View(frame)
        , flipped_(flipped) {}
    bool isFlipped() const override { return flipped_; }

    void drawRect(GraphicsContext& context, const Rect&) override {
        if (fill.isEmpty()) return;
        context.setFillColor(Color::rgb(1, 0, 0));
        context.fillRect(fill);
    }
    void mouseDown(const MouseEvent& e) override {
        if (!handlesMouse) return View::mouseDown(e);
        events.push_back("down " + describe(e.locationInView));
    }
    void mouseDragged(const MouseEvent& e) override {
        if (!handlesMouse) return View::mouseDragged(e);
        events.push_back("dragged " + describe(e.locationInView));
    }
    void mouseUp(const MouseEvent& e) override {
        if (!handlesMouse) return View::mouseUp(e);
        events.push_back("up " + describe(e.locationInView));
    }
    void viewDidMoveToSuperview() override { ++superviewMoves; }
    void viewDidMoveToWindow() override { windows.push_back(hostWindow()); }

    static std::string describe(Point p) {
        return std::to_string(static_cast<int>(p.x)) + "," + std::to_string(static_cast<int>(p.y));
    }

    Rect fill;
    bool handlesMouse = true;
    std::vector<std::string> events;
    int superviewMoves = 0;
    std::vector<QWidget*> windows;

private:
    bool flipped_;
};

struct TrackingRecorder : TrackingAreaOwner {
    void mouseEntered(const MouseEvent& e) override { log.push_back("entered " + name(e)); }
    void mouseExited(const MouseEvent& e) override {
        log.push_back("exited " + name(e));
        if (onExit) onExit(e);
    }
    static std::string name(const MouseEvent& e) {
        return std::any_cast<std::string>(e.trackingArea->userInfo());
    }
    std::vector<std::string> log;
    std::function<void(const MouseEvent&)> onExit;
};

struct RecordingAnimationDelegate : AnimationDelegate {
    void animationDidStart(const BasicAnimation& a) override { log.push_back("start " + a.keyPath()); }
    void animationDidStop(const BasicAnimation& a, bool finished) override {
        log.push_back(std::string(finished ? "finished " : "stopped ") + a.keyPath());
    }
    std::vector<std::string> log;
};

TEST(ViewGeometry, YUpRectanglesBecomeQtRectanglesWithRoundedEdges) {
    struct Case {
        Rect rect;
        double containerHeight;
        bool flipped;
        QRect expected;
    } cases[] = {
        {Rect(10, 20, 30, 40), 100, false, QRect(10, 40, 30, 40)},
        {Rect(10, 20, 30, 40), 100, true, QRect(10, 20, 30, 40)},
        // Edges round separately, so adjacent views share their edge.
        {Rect(0.4, 0.6, 10, 10), 50, false, QRect(0, 39, 10, 10)},
        {Rect(5, 5, -3, 2), 50, true, QRect(5, 5, 0, 2)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(View::qtRectFromRect(c.rect, c.containerHeight, c.flipped), c.expected)
            << stringFromRect(c.rect) << " flipped " << c.flipped;
    EXPECT_EQ(View::pointFromQt(QPointF(3, 10), 50, false), (Point{3, 40}));
    EXPECT_EQ(View::pointFromQt(QPointF(3, 10), 50, true), (Point{3, 10}));
}

TEST(ViewGeometry, SubviewFramesAreInTheSuperviewsCoordinates) {
    for (bool flipped : {false, true}) {
        ProbeView parent(Rect(0, 0, 200, 100), flipped);
        auto* child = new ProbeView(Rect(10, 20, 50, 30));
        parent.addSubview(child);
        EXPECT_EQ(child->superview(), &parent);
        EXPECT_EQ(child->geometry(), flipped ? QRect(10, 20, 50, 30) : QRect(10, 50, 50, 30));
        // The child's own origin is its bottom-left corner (it is not flipped).
        const Point inParent = child->convertPointToView(Point{0, 0}, &parent);
        EXPECT_EQ(inParent, flipped ? (Point{10, 50}) : (Point{10, 20}));
        EXPECT_EQ(child->convertPointFromView(inParent, &parent), (Point{0, 0}));

        // A taller unflipped superview keeps the child at its distance from the bottom.
        parent.setFrameSize(Size{200, 150});
        EXPECT_EQ(child->frame(), Rect(10, 20, 50, 30));
        EXPECT_EQ(child->geometry(), flipped ? QRect(10, 20, 50, 30) : QRect(10, 100, 50, 30));
    }
}

TEST(ViewGeometry, AutoresizingSpreadsTheChangeOverFlexibleParts) {
    struct Case {
        unsigned mask;
        Size newSize;
        Rect expected;
    } cases[] = {
        {ViewNotSizable, Size{200, 80}, Rect(10, 10, 80, 20)},
        {ViewWidthSizable, Size{200, 40}, Rect(10, 10, 180, 20)},
        {ViewMinXMargin, Size{200, 40}, Rect(110, 10, 80, 20)},
        {ViewMinXMargin | ViewMaxXMargin, Size{200, 40}, Rect(60, 10, 80, 20)},
        {ViewWidthSizable | ViewHeightSizable, Size{50, 20}, Rect(10, 10, 30, 0)},
        {ViewHeightSizable | ViewMaxYMargin, Size{100, 70}, Rect(10, 10, 80, 40)},
    };
    for (const Case& c : cases) {
        View parent(Rect(0, 0, 100, 40));
        auto* child = new View(Rect(10, 10, 80, 20));
        child->setAutoresizingMask(c.mask);
        parent.addSubview(child);
        parent.setFrameSize(c.newSize);
        EXPECT_EQ(child->frame(), c.expected) << "mask " << c.mask;
    }
}

TEST(ViewDrawing, DrawRectIsYUpUnlessFlipped) {
    for (bool flipped : {false, true}) {
        ProbeView view(Rect(0, 0, 20, 20), flipped);
        view.fill = Rect(0, 0, 20, 5);
        const QImage image = renderWidget(view);
        const int filledRow = flipped ? 0 : 19;
        const int emptyRow = flipped ? 19 : 0;
        EXPECT_EQ(QColor(image.pixel(10, filledRow)), QColor(Qt::red)) << "flipped " << flipped;
        EXPECT_EQ(qAlpha(image.pixel(10, emptyRow)), 0) << "flipped " << flipped;
    }
}

TEST(ViewMouse, EventsArriveInViewCoordinatesAndUnhandledOnesGoToTheSuperview) {
    ProbeView window(Rect(0, 0, 200, 100));
    auto* child = new ProbeView(Rect(100, 0, 100, 50));
    child->handlesMouse = false;
    window.addSubview(child);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // Qt (10, 90) is 10 points above the window's bottom edge.
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(10, 90));
    QTest::mouseMove(&window, QPoint(20, 80));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(20, 80));
    EXPECT_EQ(window.events, (std::vector<std::string>{"down 10,10", "dragged 20,20", "up 20,20"}));

    // The child does not handle the press: the window view gets it in its own coordinates.
    window.events.clear();
    QTest::mousePress(child, Qt::LeftButton, {}, QPoint(5, 45));
    QTest::mouseRelease(child, Qt::LeftButton, {}, QPoint(5, 45));
    EXPECT_EQ(window.events, (std::vector<std::string>{"down 105,5", "up 105,5"}));
}

TEST(ViewTracking, AreasFireForTheWindowWhicheverWidgetIsUnderThePointer) {
    ProbeView window(Rect(0, 0, 200, 100));
    auto* cover = new ProbeView(Rect(50, 0, 100, 100)); // lies over the area
    window.addSubview(cover);
    TrackingRecorder owner;
    auto area = std::make_shared<TrackingArea>(Rect(60, 10, 40, 40),
                                               TrackingMouseEnteredAndExited | TrackingActiveAlways, &owner,
                                               std::string("menu"));
    window.addTrackingArea(area);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseMove(&window, QPoint(10, 10));
    QTest::mouseMove(&window, QPoint(70, 70)); // y up: (70, 30), inside
    QTest::mouseMove(&window, QPoint(80, 60));
    QTest::mouseMove(&window, QPoint(120, 70)); // outside to the right
    EXPECT_EQ(owner.log, (std::vector<std::string>{"entered menu", "exited menu"}));

    // An owner may remove the area from inside its exit callback.
    owner.onExit = [&](const MouseEvent& e) { window.removeTrackingArea(e.trackingArea); };
    QTest::mouseMove(&window, QPoint(70, 70));
    QTest::mouseMove(&window, QPoint(190, 5));
    QTest::mouseMove(&window, QPoint(70, 70));
    EXPECT_EQ(owner.log.size(), 4u);
    EXPECT_TRUE(window.trackingAreas().empty());
}

TEST(ViewTracking, PressingThenDraggingOutExitsBeforeTheRelease) {
    ProbeView window(Rect(0, 0, 200, 100));
    TrackingRecorder owner;
    auto area = std::make_shared<TrackingArea>(window.bounds().insetBy(50, 0), TrackingMouseEnteredAndExited,
                                               &owner, std::string("item"));
    window.addTrackingArea(area);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(&window, QPoint(100, 50));
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(100, 50));
    QTest::mouseMove(&window, QPoint(190, 50));
    EXPECT_EQ(owner.log, (std::vector<std::string>{"entered item", "exited item"}));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(190, 50));
    EXPECT_FALSE(area->mouseInside());
}

TEST(ViewLifecycle, HooksReportTheSuperviewAndTheWindow) {
    QWidget host;
    auto* outer = new ProbeView(Rect(0, 0, 50, 50));
    auto* inner = new ProbeView(Rect(0, 0, 10, 10));
    outer->addSubview(inner);
    EXPECT_EQ(inner->superviewMoves, 1);
    // A view tree without a window: no window yet for the inner view.
    EXPECT_TRUE(inner->windows.empty() || inner->windows.back() == outer);

    outer->setParent(&host);
    ASSERT_FALSE(inner->windows.empty());
    EXPECT_EQ(inner->windows.back(), &host);

    inner->removeFromSuperview();
    EXPECT_EQ(inner->superviewMoves, 2);
    EXPECT_EQ(inner->superview(), nullptr);
    EXPECT_EQ(inner->windows.back(), nullptr);
    delete inner;
}

TEST(ViewAnimation, TimingCurvesKeepTheirEndsAndShape) {
    for (auto timing :
         {MediaTimingFunction::Linear, MediaTimingFunction::EaseIn, MediaTimingFunction::EaseOut,
          MediaTimingFunction::EaseInEaseOut, MediaTimingFunction::Default}) {
        EXPECT_EQ(BasicAnimation::timingProgress(timing, 0), 0);
        EXPECT_EQ(BasicAnimation::timingProgress(timing, 1), 1);
        EXPECT_EQ(BasicAnimation::timingProgress(timing, -1), 0);
    }
    EXPECT_NEAR(BasicAnimation::timingProgress(MediaTimingFunction::Linear, 0.3), 0.3, 1e-9);
    EXPECT_GT(BasicAnimation::timingProgress(MediaTimingFunction::EaseOut, 0.5), 0.6);
    EXPECT_LT(BasicAnimation::timingProgress(MediaTimingFunction::EaseIn, 0.5), 0.4);
}

TEST(ViewAnimation, AFadeSetsTheValueAtOnceAndCompletesAfterItsDuration) {
    View view(Rect(0, 0, 10, 10));
    int completions = 0;
    view.animateAlphaValue(0.0, 0.15, [&] { ++completions; });
    EXPECT_EQ(view.alphaValue(), 0.0);
    EXPECT_TRUE(view.isFadingAlpha());
    EXPECT_GT(view.presentationAlphaValue(), 0.5);
    processEventsFor(50);
    EXPECT_EQ(completions, 0);
    ASSERT_TRUE(processEventsUntil([&] { return completions == 1; }));
    EXPECT_EQ(view.presentationAlphaValue(), 0.0);

    // A fade replaced by another ends its transaction at once.
    int first = 0, second = 0;
    view.animateAlphaValue(1.0, 0.5, [&] { ++first; });
    view.animateAlphaValue(0.5, 0.05, [&] { ++second; });
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(processEventsUntil([&] { return second == 1; }));
    EXPECT_EQ(view.presentationAlphaValue(), 0.5);
}

TEST(ViewAnimation, LayerAnimationsTellTheirDelegateAndMayKeepTheirEndValue) {
    View view(Rect(0, 0, 10, 10));
    RecordingAnimationDelegate delegate;
    BasicAnimation kept("transform.scale.x", 0, 1, 0.1, MediaTimingFunction::EaseOut);
    kept.setRemovedOnCompletion(false);
    kept.setDelegate(&delegate);
    BasicAnimation dropped("transform.translation.y", 20, 0, 0.1, MediaTimingFunction::EaseOut);
    dropped.setDelegate(&delegate);
    view.addAnimation(kept);
    view.addAnimation(dropped);
    EXPECT_EQ(view.animationCount(), 2u);
    EXPECT_EQ(view.presentationLayerTransform().a, 0.0);
    EXPECT_EQ(view.presentationLayerTransform().ty, 20.0);
    ASSERT_TRUE(processEventsUntil([&] { return delegate.log.size() == 4; }));
    EXPECT_EQ(view.animationCount(), 1u);
    EXPECT_TRUE(view.presentationLayerTransform().isIdentity());

    delegate.log.clear();
    BasicAnimation long_("transform.scale.y", 0, 1, 10, MediaTimingFunction::EaseOut);
    long_.setDelegate(&delegate);
    view.addAnimation(long_);
    view.removeAllAnimations();
    EXPECT_EQ(delegate.log,
              (std::vector<std::string>{"start transform.scale.y", "stopped transform.scale.y"}));
    EXPECT_EQ(view.animationCount(), 0u);
}

TEST(ViewAnimation, LayerAlphaAndTransformApplyToThePaintedViewAndItsSubviews) {
    struct Case {
        const char* keyPath;
        double value;
        QPoint painted; // Qt pixel of the 100 × 100 window
        QPoint uncovered;
    } cases[] = {
        // Scaling is about the bottom-left corner.
        {"transform.scale", 0.5, QPoint(25, 75), QPoint(75, 25)},
        {"transform.scale.x", 0.5, QPoint(25, 25), QPoint(75, 25)},
        {"transform.scale.y", 0.5, QPoint(75, 75), QPoint(75, 25)},
        // Translation is y up.
        {"transform.translation.y", 60, QPoint(50, 5), QPoint(50, 95)},
        {"transform.translation.x", 60, QPoint(95, 50), QPoint(5, 50)},
    };
    for (const Case& c : cases) {
        View window(Rect(0, 0, 100, 100));
        auto* layer = new View(Rect(0, 0, 100, 100));
        auto* content = new ProbeView(Rect(0, 0, 100, 100));
        content->fill = content->bounds();
        layer->addSubview(content);
        window.addSubview(layer);
        BasicAnimation hold(c.keyPath, c.value, c.value, 60);
        layer->addAnimation(hold);
        const QImage image = renderWidget(window);
        EXPECT_EQ(QColor(image.pixel(c.painted)), QColor(Qt::red)) << c.keyPath;
        EXPECT_EQ(qAlpha(image.pixel(c.uncovered)), 0) << c.keyPath;
    }

    View window(Rect(0, 0, 20, 20));
    auto* faded = new ProbeView(Rect(0, 0, 20, 20));
    faded->fill = faded->bounds();
    window.addSubview(faded);
    faded->setAlphaValue(0.5);
    EXPECT_NEAR(qAlpha(renderWidget(window).pixel(10, 10)), 128, 2);
    faded->setAlphaValue(0.0);
    EXPECT_EQ(qAlpha(renderWidget(window).pixel(10, 10)), 0);
}

} // namespace
} // namespace vtl
