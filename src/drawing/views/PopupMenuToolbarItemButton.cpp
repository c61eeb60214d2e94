#include "drawing/views/PopupMenuToolbarItemButton.h"

#include "drawing/MRDrawing_GeometryHelper.h"
#include "platform/graphics/GraphicsContext.h"

#include <QMouseEvent>
#include <QPainter>

namespace vtl {

PopupMenuToolbarItemButton::PopupMenuToolbarItemButton(const QRect& frame) {
    setGeometry(frame);
    // Every button of this kind carries a popup cell with the button's title (none: empty).
    cell_ = std::make_unique<PopupMenuToolbarItemButtonCell>(text().toStdString());
    cell_->setControlSize(PopupMenuToolbarItemButtonCell::ControlSize::Regular);
    setFocusPolicy(Qt::NoFocus);
}

void PopupMenuToolbarItemButton::paintEvent(QPaintEvent*) {
    const ImageRef& image = cell_->image();
    if (!image) return;
    QPainter painter(this);
    const auto context = GraphicsContext::createOverPainter(&painter, width(), height(), false);
    if (!context) return;
    const Rect fitted =
        MRDrawing_GeometryHelper::fittedRectInBounds(Rect(0, 0, width(), height()), image->size());
    image->drawInRect(*context, fitted, Rect(), BlendMode::SourceOver, isEnabled() ? 1.0 : 0.5);
}

void PopupMenuToolbarItemButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractButton::mousePressEvent(event);
    cell_->trackMouse(*event, rect(), this, true);
    event->accept();
}

} // namespace vtl
