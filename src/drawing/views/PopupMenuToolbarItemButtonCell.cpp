#include "drawing/views/PopupMenuToolbarItemButtonCell.h"

#include <QMenu>
#include <QMouseEvent>
#include <QWidget>
#include <cmath>

namespace vtl {

PopupMenuToolbarItemButtonCell::PopupMenuToolbarItemButtonCell(std::string title)
    : title_(std::move(title)) {}

bool PopupMenuToolbarItemButtonCell::trackMouse(const QMouseEvent&, const QRect& cellFrame,
                                                QWidget* controlView, bool) {
    if (!menu_ || !controlView) return true;
    // Qt's y grows downward: "under" the button is below its bottom edge.
    const QPoint below(cellFrame.x() + 1,
                       static_cast<int>(std::lround(cellFrame.y() + cellFrame.height() + 5.5)));
    menu_->popup(controlView->mapToGlobal(below));
    return true;
}

} // namespace vtl
