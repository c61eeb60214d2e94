#include "drawing/views/AquaSelectionTableView.h"

#include "drawing/BezierPathAdditions.h"
#include "drawing/views/AquaSelectionTableViewDelegate.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

namespace vtl {

namespace {

// Draws cells without the toolkit's selection highlight, in the table's text colours.
class CellDelegate : public QStyledItemDelegate {
public:
    explicit CellDelegate(AquaSelectionTableView* table)
        : QStyledItemDelegate(table)
        , table_(table) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->state &= ~QStyle::State_Selected;
        if (table_->doesCustomDrawing()) {
            const QColor color = table_->textColorForCell(index.row(), index.column());
            option->palette.setColor(QPalette::Text, color);
            option->palette.setColor(QPalette::HighlightedText, color);
        }
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        // The field being edited shows the normal text colour, whatever the row's band.
        if (auto* field = qobject_cast<QLineEdit*>(editor)) {
            QPalette p = field->palette();
            p.setColor(QPalette::Text, table_->palette().color(QPalette::Text));
            field->setPalette(p);
        }
        return editor;
    }

private:
    AquaSelectionTableView* table_;
};

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b));
}

} // namespace

AquaSelectionTableView::AquaSelectionTableView(QWidget* parent)
    : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setItemDelegate(new CellDelegate(this));
    setShowGrid(false);
}

void AquaSelectionTableView::setDoesCustomDrawing(bool custom) {
    doesCustomDrawing_ = custom;
    viewport()->update();
}

bool AquaSelectionTableView::isFirstResponder() const {
    return hasFocus();
}

std::pair<QColor, QColor> AquaSelectionTableView::selectionColors() const {
    if (!isFirstResponder() && useAlternateColorIfNotFirstResponder_)
        return {rgb(0.8, 0.8, 0.8), rgb(0.6, 0.6, 0.6)};
    return {rgb(0.459, 0.667, 0.922), rgb(0.247, 0.459, 0.855)};
}

QColor AquaSelectionTableView::textColorForCell(int row, int column) const {
    const QColor normal = palette().color(QPalette::Text);
    const bool selected = selectionModel() && selectionModel()->isRowSelected(row, rootIndex());
    const QColor rowColor = selected ? palette().color(QPalette::HighlightedText) : normal;
    const QModelIndex index = model() ? model()->index(row, column, rootIndex()) : QModelIndex();
    const bool editing =
        state() == QAbstractItemView::EditingState && index.isValid() && currentIndex() == index;
    if (editing) return normal;
    return isFirstResponder() ? rowColor : normal;
}

void AquaSelectionTableView::paintEvent(QPaintEvent* event) {
    if (doesCustomDrawing_ && drawsSelection_ && model() && selectionModel()) {
        QPainter painter(viewport());
        const int w = viewport()->width();
        auto context = GraphicsContext::createOverPainter(&painter, w, viewport()->height(), true);
        if (context) {
            const auto previous = GraphicsContext::currentShared();
            GraphicsContext::setCurrent(context);
            const auto [first, second] = selectionColors();
            const Color firstColor = qt::fromQColor(first), secondColor = qt::fromQColor(second);
            const int rows = model()->rowCount(rootIndex());
            for (int row = 0; row < rows; ++row) {
                if (!selectionModel()->isRowSelected(row, rootIndex())) continue;
                const double y = rowViewportPosition(row), h = rowHeight(row);
                if (y + h < 0 || y > viewport()->height()) continue;
                BezierPath band;
                band.appendRect(Rect(0, y, w, h));
                BezierPathAdditions::fillPath(band, firstColor, secondColor);
                context->saveGState();
                context->setStrokeColor(secondColor);
                context->setLineWidth(1);
                for (double lineY : {y + 0.5, y + h - 0.5}) {
                    context->beginPath();
                    context->moveTo(Point{0, lineY});
                    context->addLineTo(Point{double(w), lineY});
                    context->strokePath();
                }
                context->restoreGState();
            }
            GraphicsContext::setCurrent(previous);
        }
    }
    QTableView::paintEvent(event);
}

void AquaSelectionTableView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
        if (delegate_) delegate_->tableViewDelete(*this);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QMenu* AquaSelectionTableView::menuForEvent(const QPoint& viewportPoint) {
    if (delegate_) {
        const int row = rowAt(viewportPoint.y());
        if (std::optional<QMenu*> answer = delegate_->menuForRow(row)) return *answer;
    }
    return menu_;
}

void AquaSelectionTableView::contextMenuEvent(QContextMenuEvent* event) {
    // Scroll areas deliver the viewport's context-menu events with the viewport's coordinates.
    if (QMenu* menu = menuForEvent(event->pos())) menu->popup(event->globalPos());
    event->accept();
}

bool AquaSelectionTableView::editColumn(int column, int row) {
    if (column < 0 || row < 0 || !model()) return false;
    const QModelIndex index = model()->index(row, column, rootIndex());
    setCurrentIndex(index);
    return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

bool AquaSelectionTableView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Editing starts only at a real cell.
    if (!index.isValid() || index.row() < 0 || index.column() < 0) return false;
    return QTableView::edit(index, trigger, event);
}

void AquaSelectionTableView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();
}

void AquaSelectionTableView::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

} // namespace vtl
