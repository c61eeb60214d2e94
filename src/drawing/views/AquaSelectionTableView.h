#pragma once
// A table that draws selected rows itself as a band (blue while it has the keyboard focus, grey
// otherwise when asked), keeps cell text readable on it, never draws the toolkit's own selection
// highlight, and passes context menus and the delete keys to its delegate (the chapter-mark table
// of the main window). Owned like any widget; the delegate and the menu are not owned.

#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <cstdint>
#include <utility>

namespace vtl {

class AquaSelectionTableViewDelegate;

class AquaSelectionTableView : public QTableView {
public:
    explicit AquaSelectionTableView(QWidget* parent = nullptr);

    bool useAlternateColorIfNotFirstResponder() const { return useAlternateColorIfNotFirstResponder_; }
    void setUseAlternateColorIfNotFirstResponder(bool use) { useAlternateColorIfNotFirstResponder_ = use; }
    bool drawsSelection() const { return drawsSelection_; }
    void setDrawsSelection(bool draws) { drawsSelection_ = draws; }
    bool doesCustomDrawing() const { return doesCustomDrawing_; }
    void setDoesCustomDrawing(bool custom);
    std::int32_t trackingRowColumnIndex() const { return trackingRowColumnIndex_; }
    void setTrackingRowColumnIndex(std::int32_t index) { trackingRowColumnIndex_ = index; }

    AquaSelectionTableViewDelegate* delegate() const { return delegate_; }
    void setDelegate(AquaSelectionTableViewDelegate* delegate) { delegate_ = delegate; }
    // The table's own context menu.
    QMenu* menu() const { return menu_; }
    void setMenu(QMenu* menu) { menu_ = menu; }

    // Whether the table has the keyboard focus (the original's first responder).
    bool isFirstResponder() const;
    // The band's two colours for the table's current state.
    std::pair<QColor, QColor> selectionColors() const;
    // The text colour a cell is drawn in.
    QColor textColorForCell(int row, int column) const;
    // The menu for a point of the viewport: the delegate's for the row there, else the table's own.
    QMenu* menuForEvent(const QPoint& viewportPoint);
    // Starts editing a cell; only a cell whose column and row are both 0 or more. Answers whether
    // editing started.
    bool editColumn(int column, int row);
    bool isEditing() const { return state() == QAbstractItemView::EditingState; }
    using QTableView::edit;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool useAlternateColorIfNotFirstResponder_ = true;
    bool drawsSelection_ = true;
    bool doesCustomDrawing_ = true;
    std::int32_t trackingRowColumnIndex_ = -1;
    AquaSelectionTableViewDelegate* delegate_ = nullptr;
    QPointer<QMenu> menu_;
};

} // namespace vtl
