#include "WidgetsTestEnvironment.h"
#include "platform/ui/Popover.h"
#include "platform/ui/PopoverDelegate.h"
#include "platform/ui/Responder.h"
#include "platform/ui/Sheet.h"
#include "platform/ui/SpinningProgressIndicator.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/ToolbarItem.h"
#include "platform/ui/View.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace vtl {
namespace {

struct ClosingLog : PopoverDelegate {
    void popoverWillClose(Popover&) override { log.push_back("will"); }
    void popoverDidClose(Popover&) override { log.push_back("did"); }
    std::vector<std::string> log;
};

TEST(Popover, ShowsBesideItsRectangleAndKeepsItselfAliveWhileShown) {
    View anchor(Rect(0, 0, 300, 200));
    anchor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&anchor));
    struct Case {
        RectEdge edge;
        bool flipped;
        QPoint expectedOffset; // of the popup's top-left from the anchor rectangle's Qt top-left
    };
    // A 40 × 20 content beside the rectangle (100, 100, 10, 10): Qt top-left (100, 90).
    const Case cases[] = {
        {RectEdge::MinY, false, QPoint(-15, 10)},  // below
        {RectEdge::MaxY, false, QPoint(-15, -20)}, // above
        {RectEdge::MinX, false, QPoint(-40, -5)},
        {RectEdge::MaxX, false, QPoint(10, -5)},
    };
    for (const Case& c : cases) {
        std::weak_ptr<Popover> weak;
        ClosingLog delegate;
        {
            auto popover = Popover::create();
            weak = popover;
            auto* content = new QWidget;
            content->resize(40, 20);
            popover->setContentView(content);
            popover->setDelegate(&delegate);
            popover->showRelativeToRect(Rect(100, 100, 10, 10), &anchor, c.edge);
            ASSERT_TRUE(popover->isShown());
            const QPoint anchorTopLeft = anchor.mapToGlobal(QPoint(100, 90));
            EXPECT_EQ(popover->window()->pos() - anchorTopLeft, c.expectedOffset) << int(c.edge);
        }
        ASSERT_FALSE(weak.expired()) << "a shown popover keeps itself";
        weak.lock()->close();
        EXPECT_TRUE(test::processEventsUntil([&] { return weak.expired(); }));
        EXPECT_EQ(delegate.log, (std::vector<std::string>{"will", "did"}));
    }
}

TEST(Sheet, IsModalToItsParentWindowUntilEnded) {
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    QWidget sheet;
    sheet.resize(100, 50);
    beginSheet(&sheet, &parent);
    EXPECT_TRUE(isSheet(&sheet));
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.parentWidget(), &parent);
    endSheet(&sheet);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(isSheet(&sheet));
    sheet.setParent(nullptr);
}

struct ActionTarget : Responder {
    bool respondsToAction(const std::string& action) const override { return actions.count(action) > 0; }
    void performAction(const std::string& action, const std::any&) override { performed.push_back(action); }
    std::set<std::string> actions;
    std::vector<std::string> performed;
};

TEST(Toolbar, AnImageItemIsEnabledWhenItsReceiverAnswersItsAction) {
    QWidget window;
    auto* toolbar = new Toolbar(&window);
    ActionTarget target;
    target.actions = {"play:"};
    auto owned = std::make_unique<ToolbarItem>("play");
    ToolbarItem* item = toolbar->insertItem(std::move(owned));
    item->setAction("play:");
    item->setTarget(&target);
    toolbar->validateVisibleItems();
    EXPECT_TRUE(item->isEnabled());
    item->performAction();
    EXPECT_EQ(target.performed, (std::vector<std::string>{"play:"}));

    item->setAction("stop:");
    toolbar->validateVisibleItems();
    EXPECT_FALSE(item->isEnabled());
    EXPECT_FALSE(toolbar->actions().front()->isEnabled());
}

TEST(SpinningProgressIndicator, TurnsOnlyWhileAnimated) {
    SpinningProgressIndicator spinner;
    EXPECT_FALSE(spinner.isAnimating());
    spinner.startAnimation();
    const int start = spinner.phase();
    ASSERT_TRUE(test::processEventsUntil([&] { return spinner.phase() != start; }));
    spinner.stopAnimation();
    EXPECT_FALSE(spinner.isAnimating());
    // Drawn spokes: some pixel is inked.
    const QImage image = test::renderWidget(spinner);
    bool inked = false;
    for (int y = 0; y < image.height() && !inked; ++y)
        for (int x = 0; x < image.width() && !inked; ++x)
            inked = qAlpha(image.pixel(x, y)) > 0;
    EXPECT_TRUE(inked);
}

} // namespace
} // namespace vtl
