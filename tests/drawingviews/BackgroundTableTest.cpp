#include "drawing/views/ActivatablePanel.h"
#include "drawing/views/AquaSelectionTableView.h"
#include "drawing/views/AquaSelectionTableViewDelegate.h"
#include "drawing/views/LightGradientBackgroundView.h"
#include "drawing/views/OneColorBackgroundView.h"
#include "drawing/views/VTLBasicAnimation.h"
#include "platform/ui/AnimationDelegate.h"
#include "ui/WidgetsTestEnvironment.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <vector>

namespace vtl {
namespace {

using test::renderWidget;

TEST(OneColorBackgroundView, RoundedCornersStayTransparent) {
    struct Case {
        float radius;
        bool cornerFilled;
    } cases[] = {{0, true}, {8, false}};
    for (const Case& c : cases) {
        OneColorBackgroundView view(Rect(0, 0, 40, 30));
        EXPECT_EQ(view.backgroundColor(), Color::white(2.0 / 3.0));
        view.setBackgroundColor(Color::rgb(0, 1, 0));
        view.setCornerRadius(c.radius);
        const QImage image = renderWidget(view);
        EXPECT_EQ(QColor(image.pixel(20, 15)), QColor(0, 255, 0));
        EXPECT_EQ(qAlpha(image.pixel(0, 0)) == 255, c.cornerFilled) << c.radius;
        EXPECT_EQ(qAlpha(image.pixel(39, 29)) == 255, c.cornerFilled) << c.radius;
    }
}

TEST(LightGradientBackgroundView, FillsWithTheDarkGreyUnderTwoHairlines) {
    LightGradientBackgroundView view(Rect(0, 0, 40, 20));
    const QImage image = renderWidget(view);
    // The two-colour fill of the path additions shows its first colour throughout.
    EXPECT_NEAR(qRed(image.pixel(20, 10)), 218, 1);
    // Light grey at 0.3 along the bottom edge, dark grey at 0.3 along the top edge.
    EXPECT_NEAR(qRed(image.pixel(20, 19)), 218 * 0.7 + 170 * 0.3, 2);
    EXPECT_NEAR(qRed(image.pixel(20, 0)), 218 * 0.7 + 85 * 0.3, 2);
}

struct CountingTableDelegate : AquaSelectionTableViewDelegate {
    std::optional<QMenu*> menuForRow(int row) override {
        rows.push_back(row);
        return nullptr;
    }
    void tableViewDelete(AquaSelectionTableView&) override { ++deletes; }
    std::vector<int> rows;
    int deletes = 0;
};

// A window with a three-row table and a field to take the focus away from it.
struct ChapterTable {
    ChapterTable() {
        for (int row = 0; row < 3; ++row)
            model.appendRow({new QStandardItem(QString("Chapter %1").arg(row)), new QStandardItem("0:00")});
        auto* layout = new QVBoxLayout(&window);
        table = new AquaSelectionTableView;
        table->setModel(&model);
        table->verticalHeader()->hide();
        field = new QLineEdit;
        layout->addWidget(table);
        layout->addWidget(field);
        window.resize(300, 240);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        table->selectRow(1);
    }
    // A point of row 1 far right of its text.
    QRgb bandPixel() {
        const QImage image = table->viewport()->grab().toImage();
        return image.pixel(table->viewport()->width() - 4,
                           table->rowViewportPosition(1) + table->rowHeight(1) / 2);
    }
    QStandardItemModel model;
    QWidget window;
    AquaSelectionTableView* table;
    QLineEdit* field;
};

TEST(AquaSelectionTableView, TheBandIsGreyWithoutFocusAndBlueWithIt) {
    ChapterTable t;
    t.field->setFocus();
    ASSERT_FALSE(t.table->isFirstResponder());
    EXPECT_EQ(QColor(t.bandPixel()).rgb(), QColor(204, 204, 204).rgb());
    EXPECT_EQ(t.table->textColorForCell(1, 0), t.table->palette().color(QPalette::Text));

    t.table->setFocus();
    ASSERT_TRUE(t.table->isFirstResponder());
    EXPECT_EQ(QColor(t.bandPixel()).rgb(), QColor(117, 170, 235).rgb());
    EXPECT_EQ(t.table->textColorForCell(1, 0), t.table->palette().color(QPalette::HighlightedText));
    EXPECT_EQ(t.table->textColorForCell(0, 0), t.table->palette().color(QPalette::Text));

    // Without the alternate colour the band stays blue when the focus leaves.
    t.table->setUseAlternateColorIfNotFirstResponder(false);
    t.field->setFocus();
    EXPECT_EQ(QColor(t.bandPixel()).rgb(), QColor(117, 170, 235).rgb());
}

TEST(AquaSelectionTableView, WithoutSelectionDrawingNoBandAndNoToolkitHighlight) {
    ChapterTable t;
    t.table->setFocus();
    t.table->setDrawsSelection(false);
    EXPECT_EQ(QColor(t.bandPixel()), t.table->viewport()->palette().color(QPalette::Base));
    t.table->setDrawsSelection(true);
    t.table->setDoesCustomDrawing(false);
    EXPECT_EQ(QColor(t.bandPixel()), t.table->viewport()->palette().color(QPalette::Base));
}

TEST(AquaSelectionTableView, DeleteKeysGoToTheDelegateOrAreSwallowed) {
    for (bool withDelegate : {true, false}) {
        ChapterTable t;
        CountingTableDelegate delegate;
        if (withDelegate) t.table->setDelegate(&delegate);
        t.table->setFocus();
        const QModelIndex current = t.table->currentIndex();
        QTest::keyClick(t.table, Qt::Key_Backspace);
        QTest::keyClick(t.table, Qt::Key_Delete);
        EXPECT_EQ(delegate.deletes, withDelegate ? 2 : 0);
        EXPECT_TRUE(t.table->selectionModel()->isRowSelected(1, QModelIndex()));
        EXPECT_EQ(t.table->currentIndex(), current);
    }
}

TEST(AquaSelectionTableView, ARightClickBelowTheRowsAsksForTheMenuOfRowMinusOne) {
    ChapterTable t;
    CountingTableDelegate delegate;
    t.table->setDelegate(&delegate);
    const QPoint below(20, t.table->viewport()->height() - 3);
    QContextMenuEvent event(QContextMenuEvent::Mouse, below, t.table->viewport()->mapToGlobal(below));
    QApplication::sendEvent(t.table->viewport(), &event);
    const QPoint onRow(20, t.table->rowViewportPosition(2) + 2);
    EXPECT_EQ(t.table->menuForEvent(onRow), nullptr);
    EXPECT_EQ(delegate.rows, (std::vector<int>{-1, 2}));

    // Without a delegate's answer the table's own menu is used.
    QMenu own;
    t.table->setMenu(&own);
    t.table->setDelegate(nullptr);
    EXPECT_EQ(t.table->menuForEvent(onRow), &own);
}

TEST(AquaSelectionTableView, EditingStartsOnlyAtARealCellInTheNormalTextColour) {
    ChapterTable t;
    t.table->setFocus();
    EXPECT_EQ(t.table->trackingRowColumnIndex(), -1);
    EXPECT_FALSE(t.table->editColumn(-1, 1));
    EXPECT_FALSE(t.table->editColumn(0, -1));
    EXPECT_FALSE(t.table->isEditing());
    EXPECT_TRUE(t.table->editColumn(0, 1));
    EXPECT_TRUE(t.table->isEditing());
    EXPECT_EQ(t.table->textColorForCell(1, 0), t.table->palette().color(QPalette::Text));
}

TEST(ActivatablePanel, AnyWindowsResizeRepaintsTheBackground) {
    ActivatablePanel panel(Rect(10, 10, 120, 80));
    EXPECT_TRUE(panel.canBecomeKeyWindow());
    EXPECT_TRUE(panel.canBecomeMainWindow());
    const QImage& background = panel.backgroundImage();
    EXPECT_EQ(background.size(), QSize(120, 80));
    EXPECT_EQ(qAlpha(background.pixel(0, 0)), 0);
    EXPECT_NEAR(qAlpha(background.pixel(60, 40)), 247, 1);
    EXPECT_NEAR(background.pixelColor(60, 40).redF(), 0.93, 0.01);

    const int before = panel.backgroundPaintCount();
    QWidget other;
    other.resize(50, 50);
    other.show();
    other.resize(70, 60);
    EXPECT_GT(panel.backgroundPaintCount(), before);
}

struct CarrierDelegate : AnimationDelegate {
    void animationDidStop(const BasicAnimation& animation, bool) override {
        auto* carrier = dynamic_cast<const VTLBasicAnimation*>(&animation);
        views.push_back(carrier ? carrier->view() : nullptr);
        contexts.push_back(carrier ? carrier->context() : nullptr);
    }
    std::vector<View*> views;
    std::vector<void*> contexts;
};

TEST(VTLBasicAnimation, TheViewsCopyCarriesTheViewAndContextToTheDelegate) {
    View view(Rect(0, 0, 10, 10));
    int clip = 0;
    CarrierDelegate delegate;
    VTLBasicAnimation animation("transform.scale", 0, 1, 0.05);
    animation.setView(&view);
    animation.setContext(&clip);
    animation.setDelegate(&delegate);
    const auto copy = animation.copy();
    EXPECT_EQ(static_cast<VTLBasicAnimation&>(*copy).view(), &view);
    EXPECT_EQ(static_cast<VTLBasicAnimation&>(*copy).context(), &clip);
    view.addAnimation(animation);
    ASSERT_TRUE(test::processEventsUntil([&] { return !delegate.views.empty(); }));
    EXPECT_EQ(delegate.views.front(), &view);
    EXPECT_EQ(delegate.contexts.front(), &clip);
}

} // namespace
} // namespace vtl
