#include "drawing/views/VTLDialog.h"
#include "drawing/views/VTLGeneralMessagePopover.h"
#include "platform/ui/Popover.h"
#include "platform/ui/Sheet.h"
#include "platform/ui/SpinningProgressIndicator.h"
#include "platform/ui/View.h"
#include "ui/WidgetsTestEnvironment.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

namespace vtl {
namespace {

using test::processEventsFor;
using test::processEventsUntil;

TEST(VTLDialog, ShowsTitleMessageAndSpinnerOnItsOwnOrAsASheet) {
    auto dialog = VTLDialog::dialogWithTitle("Converting", "Old movies are converted.");
    ASSERT_NE(dialog->panel(), nullptr);
    EXPECT_EQ(dialog->titleField()->text(), "Converting");
    EXPECT_EQ(dialog->messageField()->text(), "Old movies are converted.");
    dialog->startAnimatingProgressIndicator();
    EXPECT_TRUE(dialog->progressIndicator()->isAnimating());

    dialog->showPanel();
    EXPECT_TRUE(dialog->panel()->isVisible());
    EXPECT_FALSE(dialog->isRunningAsSheet());
    dialog->hidePanel();
    EXPECT_FALSE(dialog->panel()->isVisible());

    QWidget window;
    window.resize(500, 400);
    window.show();
    dialog->showAsSheetInParentWindow(&window);
    EXPECT_TRUE(dialog->isRunningAsSheet());
    EXPECT_TRUE(isSheet(dialog->panel()));
    EXPECT_EQ(dialog->panel()->windowModality(), Qt::WindowModal);
    dialog->hidePanel();
    EXPECT_FALSE(dialog->isRunningAsSheet());
    EXPECT_FALSE(isSheet(dialog->panel()));
    EXPECT_FALSE(dialog->panel()->isVisible());
}

TEST(VTLGeneralMessagePopover, TheViewIsTheFittedFieldWithTenPointsAround) {
    for (const char* message : {"Saved.", "A longer message that takes more room than the first one"}) {
        VTLGeneralMessagePopover controller;
        controller.setMessage(message);
        QLabel* field = controller.messageTextField();
        const QSize fitted = field->sizeHint();
        EXPECT_EQ(field->geometry(), QRect(QPoint(10, 10), fitted)) << message;
        EXPECT_EQ(controller.view()->size(), fitted + QSize(20, 20)) << message;
    }
    EXPECT_EQ(VTLGeneralMessagePopover::nibName(), "GeneralMessagePopover");
}

struct Anchor {
    Anchor() {
        view.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    View view{Rect(0, 0, 300, 200)};
};

TEST(VTLGeneralMessagePopover, OpensBelowItsPointAndClosesAfterTheDelay) {
    Anchor anchor;
    QElapsedTimer clock;
    clock.start();
    std::weak_ptr<Popover> popover =
        VTLGeneralMessagePopover::showMessage("Done", Point{150, 100}, &anchor.view, 0.3);
    ASSERT_FALSE(popover.expired());
    ASSERT_TRUE(popover.lock()->isShown());
    EXPECT_EQ(popover.lock()->behavior(), PopoverBehavior::Transient);
    // The point (150, 100) is the Qt point (150, 100) of the 200-point-high view; the rectangle
    // around it ends 2 points lower.
    EXPECT_EQ(popover.lock()->window()->y(), anchor.view.mapToGlobal(QPoint(150, 102)).y());
    const int width = popover.lock()->window()->width();
    EXPECT_EQ(popover.lock()->window()->x(), anchor.view.mapToGlobal(QPoint(148, 0)).x() + (4 - width) / 2);

    ASSERT_TRUE(processEventsUntil([&] { return popover.expired(); }));
    EXPECT_GE(clock.elapsed(), 280);
}

TEST(VTLGeneralMessagePopover, WithoutADelayItStaysUntilDismissed) {
    Anchor anchor;
    std::weak_ptr<Popover> popover =
        VTLGeneralMessagePopover::showMessage("Stay", Point{10, 10}, &anchor.view, 0);
    processEventsFor(400);
    ASSERT_FALSE(popover.expired());
    EXPECT_TRUE(popover.lock()->isShown());
    popover.lock()->close();
    EXPECT_TRUE(processEventsUntil([&] { return popover.expired(); }));
}

TEST(VTLGeneralMessagePopover, ClosingEarlyStopsTheTimer) {
    Anchor anchor;
    std::weak_ptr<Popover> popover =
        VTLGeneralMessagePopover::showMessage("Soon", Point{10, 10}, &anchor.view, 0.2);
    auto* controller = static_cast<VTLGeneralMessagePopover*>(popover.lock()->delegate());
    EXPECT_TRUE(controller->closeTimerIsRunning());
    popover.lock()->close();
    EXPECT_FALSE(controller->closeTimerIsRunning());
    EXPECT_TRUE(processEventsUntil([&] { return popover.expired(); }));
    processEventsFor(300); // the timer must not fire into the released controller
}

} // namespace
} // namespace vtl
