#include "drawing/views/ActivatablePanel.h"

#include "drawing/BezierPathAdditions.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/QtBridge.h"

#include <QApplication>
#include <QEvent>
#include <QPalette>
#include <cmath>

namespace vtl {

ActivatablePanel::ActivatablePanel(const Rect& contentRect)
    : QWidget(nullptr, Qt::Tool) {
    setGeometry(int(std::lround(contentRect.minX())), int(std::lround(contentRect.minY())),
                int(std::lround(contentRect.width())), int(std::lround(contentRect.height())));
    initCustomBackground();
}

ActivatablePanel::~ActivatablePanel() {
    deallocCustomBackground();
}

void ActivatablePanel::initCustomBackground() {
    // Every window's resizes and key and main changes, whichever window it is.
    qApp->installEventFilter(this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(true);
    paintBackground();
}

void ActivatablePanel::deallocCustomBackground() {
    if (qApp) qApp->removeEventFilter(this);
}

bool ActivatablePanel::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) windowDidResize();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void ActivatablePanel::windowDidResize() {
    paintBackground();
}

void ActivatablePanel::paintBackground() {
    ++backgroundPaintCount_;
    const int w = std::max(1, width()), h = std::max(1, height());
    auto context = GraphicsContext::createBitmapContext(w, h);
    if (!context) return;
    context->setFillColor(Color::white(0.93, 0.97));
    context->fill(BezierPathAdditions::pathWithRect(Rect(0, 0, w, h), 7));
    const BitmapRef bitmap = context->makeImage();
    background_ = qt::wrap(*bitmap).copy();
    QPalette p = palette();
    p.setBrush(QPalette::Window, QBrush(background_));
    setPalette(p);
}

} // namespace vtl
