#pragma once
// The 32 × 32 button of a popup toolbar item: it draws its cell's image and lets the cell open the
// menu when pressed. It is the item's view (owned by the item); it owns its cell.

#include "drawing/views/PopupMenuToolbarItemButtonCell.h"

#include <QAbstractButton>
#include <memory>

namespace vtl {

class PopupMenuToolbarItemButton : public QAbstractButton {
public:
    explicit PopupMenuToolbarItemButton(const QRect& frame);

    PopupMenuToolbarItemButtonCell& cell() { return *cell_; }
    const PopupMenuToolbarItemButtonCell& cell() const { return *cell_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<PopupMenuToolbarItemButtonCell> cell_;
};

} // namespace vtl
