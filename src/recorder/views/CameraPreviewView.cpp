#include "recorder/views/CameraPreviewView.h"

#include "platform/foundation/Log.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace vtl {

CameraPreviewView::CameraPreviewView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(33);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] {
        if (source_ && source_(pixels_, width_, height_)) update();
    });
}

void CameraPreviewView::setCamera(CameraPictureSource source) {
    source_ = std::move(source);
    pixels_.clear();
    width_ = height_ = 0;
    if (source_)
        timer_.start();
    else
        timer_.stop();
    update();
}

void CameraPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (width_ <= 0 || height_ <= 0 || pixels_.size() < static_cast<std::size_t>(width_) * height_ * 4)
        return;
    const QImage image(pixels_.data(), width_, height_, width_ * 4, QImage::Format_ARGB32);
    const QSize fitted = QSize(width_, height_).scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image);
}

namespace {

class PreviewWindow final : public CameraPreviewWindow {
public:
    PreviewWindow(const std::string& title, const Rect& contentRect, CameraPictureSource source) {
        window_.setWindowTitle(QString::fromStdString(title));
        window_.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint);
        auto* layout = new QVBoxLayout(&window_);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new CameraPreviewView(&window_);
        layout->addWidget(view);
        view->setCamera(std::move(source));
        // Global points are y up from the primary screen's bottom; the window system's y runs down.
        const QScreen* primary = QGuiApplication::primaryScreen();
        const double primaryHeight = primary ? primary->geometry().height() : contentRect.maxY();
        window_.setGeometry(static_cast<int>(contentRect.minX()),
                            static_cast<int>(primaryHeight - contentRect.maxY()),
                            static_cast<int>(contentRect.width()), static_cast<int>(contentRect.height()));
        window_.show();
        window_.raise();
    }
    void hide() override { window_.hide(); }

private:
    QWidget window_;
};

} // namespace

std::unique_ptr<CameraPreviewWindow>
makeCameraPreviewWindow(const std::string& title, const Rect& contentRect, CameraPictureSource source) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        logMessage("The camera's picture cannot be shown: the recorder has no window system.");
        return nullptr;
    }
    return std::make_unique<PreviewWindow>(title, contentRect, std::move(source));
}

} // namespace vtl
