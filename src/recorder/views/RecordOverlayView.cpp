#include "recorder/views/RecordOverlayView.h"

#include "platform/foundation/Log.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace vtl {

namespace {

QRect qtRect(const Rect& r) {
    return QRect(static_cast<int>(r.minX()), static_cast<int>(r.minY()), static_cast<int>(r.width()),
                 static_cast<int>(r.height()));
}

class RecordAreaFrame final : public RecorderWindow {
public:
    explicit RecordAreaFrame(const RecordAreaFrameOptions& options) {
        QRect screen = qtRect(options.screenX11);
        QRect area = qtRect(options.areaX11).translated(-screen.topLeft());
        view_.setGeometry(screen);
        view_.setRecordRect(area);
        // Whatever a grab of the area reads lies beneath: the area is not part of the window.
        view_.setMask(QRegion(0, 0, screen.width(), screen.height()).subtracted(QRegion(area)));
        view_.show();
    }

private:
    RecordOverlayView view_;
};

} // namespace

RecordOverlayView::RecordOverlayView()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RecordOverlayView::setRecordRect(const QRect& rect) {
    recordRect_ = rect;
    redoImage();
}

void RecordOverlayView::setFrameSize(const QSize& size) {
    resize(size);
    redoImage();
}

void RecordOverlayView::redoImage() {
    QSize size = this->size();
    if (size.isEmpty()) {
        cachedImage_ = QImage();
        return;
    }
    cachedImage_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
    cachedImage_.fill(Qt::transparent);
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addRect(QRectF(QPointF(0, 0), QSizeF(size)));
    path.addRect(QRectF(recordRect_));
    QPainter painter(&cachedImage_);
    painter.fillPath(path, QColor::fromRgbF(0.5f, 0.5f, 0.5f, 0.5f));
}

void RecordOverlayView::paintEvent(QPaintEvent*) {
    if (cachedImage_.size() != size()) redoImage();
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, cachedImage_);
}

std::unique_ptr<RecorderWindow> RecordOverlayView::create(const RecordAreaFrameOptions& options) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        logMessage("The recorded area cannot be framed without a widgets application.");
        return nullptr;
    }
    return std::make_unique<RecordAreaFrame>(options);
}

} // namespace vtl
