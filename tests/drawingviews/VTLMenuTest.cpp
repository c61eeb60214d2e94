#include "drawing/views/VTLMenu.h"

#include "drawing/views/VTLMenuDelegate.h"
#include "platform/foundation/Log.h"
#include "ui/WidgetsTestEnvironment.h"

#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace vtl {
namespace {

using test::processEventsUntil;

// Stands in for the timeline's clip views: closing asks the menu to close, as the window's
// hideMenu does; what the menu tells it is logged with the bubble's state at that moment.
struct StandInDelegate : VTLMenuDelegate {
    void closeMenu(VTLMenu& menu) override {
        log.push_back("closeMenu");
        menu.closeMenu();
    }
    void vtlMenuWillClose(VTLMenu& menu) override {
        VTLMenuView* bubble = menu.menuView();
        log.push_back(std::string("willClose fading=") + (bubble->isFadingAlpha() ? "yes" : "no") +
                      " inTree=" + (bubble->superview() ? "yes" : "no"));
    }
    std::vector<std::string> log;
};

// A window with a holding view; the menu is shown in it at (200, 150).
struct ShownMenu {
    explicit ShownMenu(VTLMenuOrigin origin = VTLMenuOrigin::PointerTop, int items = 3) {
        window.show();
        menu = std::make_unique<VTLMenu>(VTLMenuItemSize::Small, origin);
        for (int i = 0; i < items; ++i)
            menu->addItem("Item " + std::to_string(i), nullptr,
                          [this, i](VTLMenuItem&) { chosen.push_back(i); });
        menu->setDelegate(&delegate);
        menu->animatedShowRelativeToPoint(Point{200, 150}, &window, &window);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Let the show animation end so that item views sit where their frames say.
        EXPECT_TRUE(processEventsUntil([&] {
            return !menu->menuView()->isFadingAlpha() &&
                   menu->menuView()->presentationLayerTransform().isIdentity();
        }));
    }
    // The Qt point of the window at the centre of item i.
    QPoint itemCentre(int i) const {
        VTLMenuItemView* view = menu->itemViews()[std::size_t(i)];
        return view->mapTo(&window, view->rect().center());
    }

    View window{Rect(0, 0, 400, 300)};
    std::unique_ptr<VTLMenu> menu;
    StandInDelegate delegate;
    std::vector<int> chosen;
};

TEST(VTLMenuLayout, BubbleItemsAndTitleFollowSizeOriginAndItemCount) {
    struct Case {
        VTLMenuItemSize size;
        VTLMenuOrigin origin;
        int items;
        bool title;
        Size bubble;
        std::vector<double> itemX;
        double itemY;
        Rect titleRect;
    } cases[] = {
        {VTLMenuItemSize::Small, VTLMenuOrigin::PointerTop, 3, false, {224, 110}, {16, 82, 148}, 16, {}},
        {VTLMenuItemSize::Small, VTLMenuOrigin::PointerLeft, 3, false, {238, 96}, {30, 96, 162}, 16, {}},
        {VTLMenuItemSize::Small,
         VTLMenuOrigin::PointerTop,
         3,
         true,
         {224, 134},
         {16, 82, 148},
         16,
         Rect(16, 80, 192, 24)},
        {VTLMenuItemSize::Small,
         VTLMenuOrigin::PointerBottom,
         3,
         true,
         {224, 134},
         {16, 82, 148},
         30,
         Rect(16, 94, 192, 24)},
        {VTLMenuItemSize::Large, VTLMenuOrigin::PointerRight, 2, false, {244, 144}, {16, 118}, 16, {}},
        {VTLMenuItemSize::Medium,
         VTLMenuOrigin::PointerLeft,
         1,
         true,
         {118, 142},
         {30},
         16,
         Rect(30, 96, 72, 30)},
    };
    for (const Case& c : cases) {
        VTLMenu menu(c.size, c.origin);
        if (c.title) menu.setMenuTitle("Title");
        for (int i = 0; i < c.items; ++i)
            menu.addItem("x", nullptr, {});
        const std::string label =
            "size " + std::to_string(int(c.size)) + " origin " + std::to_string(int(c.origin));
        EXPECT_EQ(menu.menuView()->frame().size, c.bubble) << label;
        EXPECT_EQ(menu.requiredHeight(), float(c.bubble.height)) << label;
        const Size item = VTLMenuItemView::requiredDimensionsForSize(c.size);
        for (int i = 0; i < c.items; ++i)
            EXPECT_EQ(menu.itemViews()[std::size_t(i)]->frame(),
                      Rect(c.itemX[std::size_t(i)], c.itemY, item.width, item.height))
                << label << " item " << i;
        if (c.title) {
            EXPECT_EQ(menu.titleRect(), c.titleRect) << label;
        }
    }
}

TEST(VTLMenuLayout, ItemDimensionsImageAndLabelRectangles) {
    struct Case {
        VTLMenuItemSize size;
        Size dimensions;
        Rect image;
        Rect text;
        double fontPoints;
    } cases[] = {
        {VTLMenuItemSize::Small, {60, 64}, Rect(14, 32, 32, 32), Rect(0, 0, 60, 32), 10},
        {VTLMenuItemSize::Medium, {72, 80}, Rect(16, 40, 40, 40), Rect(0, 0, 72, 40), 12},
        {VTLMenuItemSize::Large, {96, 112}, Rect(20, 56, 56, 56), Rect(0, 0, 96, 56), 14},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VTLMenuItemView::requiredDimensionsForSize(c.size), c.dimensions);
        VTLMenuItemView view(std::make_shared<VTLMenuItem>(), c.size);
        EXPECT_EQ(view.imageRect(), c.image);
        EXPECT_EQ(view.textRect(), c.text);
        const TextAttributes attributes = VTLMenuItemView::fontAttributesForSize(c.size);
        EXPECT_EQ(attributes.font->pointSize(), c.fontPoints);
        EXPECT_EQ(attributes.paragraphStyle->alignment, TextAlignment::Center);
    }

    std::vector<std::string> logged;
    LogSink previous = setLogSink([&](std::string_view line) { logged.emplace_back(line); });
    const int failures = assertionFailureCount();
    const Size invalid = VTLMenuItemView::requiredDimensionsForSize(static_cast<VTLMenuItemSize>(3));
    setLogSink(previous);
    EXPECT_EQ(invalid, (Size{0, 0}));
    EXPECT_EQ(assertionFailureCount(), failures + 1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("VTLMenuItemView"), std::string::npos);
    EXPECT_NE(logged[0].find("invalid size"), std::string::npos);
    EXPECT_EQ(VTLMenuItemView::fontAttributesForSize(static_cast<VTLMenuItemSize>(7)).font->pointSize(), 10);
}

TEST(VTLMenuShow, ThePointerTouchesThePointOrTheAnchorsEdge) {
    struct Case {
        VTLMenuOrigin origin;
        Point atPoint; // bubble origin when shown at (200, 150)
        Point atView;  // bubble origin when shown at the view (100, 100, 50, 40)
    } cases[] = {
        // Bubble 224 × 96 (pointer on a side: 238 × 96) for three small items.
        {VTLMenuOrigin::PointerLeft, {192, 102}, {142, 72}},
        {VTLMenuOrigin::PointerRight, {-30, 102}, {-130, 72}},
        {VTLMenuOrigin::PointerTop, {88, 32}, {13, -2}},
        {VTLMenuOrigin::PointerBottom, {88, 158}, {13, 132}},
    };
    for (const Case& c : cases) {
        View window(Rect(0, 0, 400, 300));
        auto* anchor = new View(Rect(100, 100, 50, 40));
        window.addSubview(anchor);
        VTLMenu atPoint(VTLMenuItemSize::Small, c.origin);
        VTLMenu atView(VTLMenuItemSize::Small, c.origin);
        for (int i = 0; i < 3; ++i) {
            atPoint.addItem("x", nullptr, {});
            atView.addItem("x", nullptr, {});
        }
        atPoint.animatedShowRelativeToPoint(Point{200, 150}, &window, &window);
        atView.animatedShowRelativeToView(anchor, &window);
        EXPECT_EQ(atPoint.menuView()->frame().origin, c.atPoint) << int(c.origin);
        EXPECT_EQ(atView.menuView()->frame().origin, c.atView) << int(c.origin);
        EXPECT_EQ(atPoint.menuView()->superview(), &window);
        // Grows into place: transparent and collapsed at first, three or four transform animations.
        const bool extra =
            c.origin == VTLMenuOrigin::PointerRight || c.origin == VTLMenuOrigin::PointerBottom;
        EXPECT_EQ(atPoint.menuView()->animationCount(), extra ? 4u : 3u);
        EXPECT_EQ(atPoint.menuView()->presentationAlphaValue(), 0.0);
        EXPECT_EQ(atPoint.menuView()->presentationLayerTransform().a, 0.0);
    }
}

TEST(VTLMenuShow, TheShowAnimationEndsWithAPlainOpaqueBubble) {
    ShownMenu shown(VTLMenuOrigin::PointerBottom);
    VTLMenuView* bubble = shown.menu->menuView();
    EXPECT_EQ(bubble->alphaValue(), 1.0);
    EXPECT_EQ(bubble->presentationAlphaValue(), 1.0);
    EXPECT_TRUE(bubble->presentationLayerTransform().isIdentity());
}

TEST(VTLMenuChoice, PressDragOutAndReleaseChoosesNothing) {
    ShownMenu shown;
    QTest::mouseMove(&shown.window, shown.itemCentre(0));
    QTest::mousePress(&shown.window, Qt::LeftButton, {}, shown.itemCentre(0));
    EXPECT_TRUE(shown.menu->itemViews()[0]->mouseIsDown());
    QTest::mouseMove(&shown.window, QPoint(5, 5));
    QTest::mouseRelease(&shown.window, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(shown.chosen.empty());
    EXPECT_TRUE(shown.delegate.log.empty());
    EXPECT_FALSE(shown.menu->itemViews()[0]->mouseIsDown());
}

TEST(VTLMenuChoice, AReleaseInsideSendsTheActionAndClosesWhenAsked) {
    for (bool closes : {true, false}) {
        ShownMenu shown;
        shown.menu->setClosesAfterItemWasChosen(closes);
        ASSERT_FALSE(shown.menu->menuItems()[1]->enabled()); // the flag does not stop the action
        QTest::mouseMove(&shown.window, shown.itemCentre(1));
        QTest::mouseClick(&shown.window, Qt::LeftButton, {}, shown.itemCentre(1));
        EXPECT_EQ(shown.chosen, std::vector<int>{1});
        if (closes) {
            EXPECT_EQ(shown.delegate.log,
                      (std::vector<std::string>{"closeMenu", "willClose fading=no inTree=yes"}));
        } else {
            EXPECT_TRUE(shown.delegate.log.empty());
            test::processEventsFor(400);
            EXPECT_EQ(shown.menu->menuView()->superview(), &shown.window);
        }
    }
}

TEST(VTLMenuClose, TheDelegateHearsBeforeTheFadeAndTheBubbleLeavesAfterIt) {
    ShownMenu shown;
    auto area = std::make_shared<TrackingArea>(shown.menu->menuView()->frame(), TrackingMouseEnteredAndExited,
                                               nullptr, std::string("menu"));
    shown.window.addTrackingArea(area);
    shown.menu->setTrackingAreaView(&shown.window);
    shown.menu->setMenuViewTrackingArea(area);

    VTLMenuView* bubble = shown.menu->menuView();
    shown.menu->closeMenu();
    EXPECT_EQ(shown.delegate.log, std::vector<std::string>{"willClose fading=no inTree=yes"});
    EXPECT_TRUE(shown.window.trackingAreas().empty());
    EXPECT_EQ(shown.menu->menuViewTrackingArea(), nullptr);
    EXPECT_TRUE(bubble->isFadingAlpha());
    EXPECT_EQ(bubble->superview(), &shown.window);
    ASSERT_TRUE(processEventsUntil([&] { return bubble->superview() == nullptr; }));
    EXPECT_EQ(bubble->presentationAlphaValue(), 0.0);
}

TEST(VTLMenuClose, AMenuReleasedWithoutClosingTakesItsAreaAndBubbleAlong) {
    ShownMenu shown;
    auto area = std::make_shared<TrackingArea>(Rect(0, 0, 10, 10), TrackingMouseEnteredAndExited, nullptr);
    shown.window.addTrackingArea(area);
    shown.menu->setTrackingAreaView(&shown.window);
    shown.menu->setMenuViewTrackingArea(area);
    QPointer<VTLMenuView> bubble = shown.menu->menuView();
    shown.menu.reset();
    EXPECT_TRUE(shown.window.trackingAreas().empty());
    EXPECT_TRUE(processEventsUntil([&] { return bubble.isNull(); }));
}

TEST(VTLMenuClose, ReleasingTheMenuDuringTheFadeIsSafe) {
    ShownMenu shown;
    QPointer<VTLMenuView> bubble = shown.menu->menuView();
    shown.menu->closeMenu();
    shown.menu.reset(); // the fade's completion holds the bubble only weakly
    EXPECT_TRUE(processEventsUntil([&] { return bubble.isNull(); }));
    test::processEventsFor(400);
}

TEST(VTLMenuClose, AnActionMayReleaseTheMenu) {
    ShownMenu shown;
    shown.menu->menuItems()[0]->setAction([&](VTLMenuItem&) { shown.menu.reset(); });
    QTest::mouseMove(&shown.window, shown.itemCentre(0));
    QTest::mouseClick(&shown.window, Qt::LeftButton, {}, shown.itemCentre(0));
    EXPECT_EQ(shown.menu, nullptr);
    EXPECT_TRUE(shown.delegate.log.empty());
    test::processEventsFor(50);
}

TEST(VTLMenuDrawing, TheBubbleIsFilledInsideItsOutlineWithThePointerOnItsSide) {
    VTLMenu menu(VTLMenuItemSize::Small, VTLMenuOrigin::PointerTop);
    for (int i = 0; i < 3; ++i)
        menu.addItem("", nullptr, {});
    const QImage image = test::renderWidget(*menu.menuView()); // 224 × 110, Qt rows y down
    // The control background, darkened a little near the outline by the stroke's shadow.
    const QColor base = menu.menuView()->palette().color(QPalette::Base);
    auto opaqueBase = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        return qAlpha(p) == 255 && std::abs(qRed(p) - base.red()) <= 8 &&
               std::abs(qBlue(p) - base.blue()) <= 8;
    };
    EXPECT_TRUE(opaqueBase(112, 60)) << "body";
    // The pointer rises from the body's top edge (y up 88) to the inset edge (y up 102).
    EXPECT_TRUE(opaqueBase(112, 110 - 98)) << "pointer, near its tip";
    EXPECT_FALSE(opaqueBase(60, 110 - 98)) << "beside the pointer";
    EXPECT_FALSE(opaqueBase(10, 100)) << "outside a rounded corner";
}

} // namespace
} // namespace vtl
