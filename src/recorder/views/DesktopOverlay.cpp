#include "recorder/views/DesktopOverlay.h"

#include "platform/capture/DesktopWindowHints.h"
#include "platform/foundation/Log.h"
#include "recorder/RecorderGeometry.h"
#include "recorder/views/DesktopOverlayWindow.h"
#include "recorder/views/VTLSimpleImageView.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>

namespace vtl {

namespace {

QRect qtRect(const Rect& r) {
    return QRect(static_cast<int>(r.minX()), static_cast<int>(r.minY()), static_cast<int>(r.width()),
                 static_cast<int>(r.height()));
}

} // namespace

DesktopOverlayWindow::DesktopOverlayWindow()
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
}

VTLSimpleImageView::VTLSimpleImageView(QWidget* parent)
    : QWidget(parent) {}

void VTLSimpleImageView::setImage(QImage image) {
    image_ = std::move(image);
    update();
}

void VTLSimpleImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image_);
}

DesktopOverlay::DesktopOverlay(const Rect& screenX11, const DesktopFillColor& color)
    : window_(std::make_unique<DesktopOverlayWindow>()) {
    // The window is opaque: a see-through colour is laid over black.
    QColor fill = QColor::fromRgbF(static_cast<float>(color.red * color.alpha),
                                   static_cast<float>(color.green * color.alpha),
                                   static_cast<float>(color.blue * color.alpha), 1.0f);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, fill);
    window_->setPalette(palette);
    window_->setAutoFillBackground(true);
    window_->setGeometry(qtRect(screenX11));
    window_->show();
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        keepWindowOnAllDesktops(static_cast<std::uint32_t>(window_->winId()));
}

DesktopOverlay::~DesktopOverlay() = default;

void DesktopOverlay::setImage(const QImage& image, int stretchMode) {
    if (!imageView_) imageView_ = new VTLSimpleImageView(window_.get());
    QSize bounds = window_->size();
    // Fitted in y-up coordinates, placed y down.
    Rect fitted =
        rectInRectWithOptionsForRecorder(stretchMode, Size{double(image.width()), double(image.height())},
                                         Rect(0, 0, bounds.width(), bounds.height()));
    imageView_->setGeometry(QRect(static_cast<int>(fitted.minX()),
                                  static_cast<int>(bounds.height() - fitted.maxY()),
                                  static_cast<int>(fitted.width()), static_cast<int>(fitted.height())));
    imageView_->setImage(image);
    imageView_->show();
}

std::unique_ptr<RecorderWindow> DesktopOverlay::create(const DesktopCoverOptions& options) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        logMessage("The desktop cannot be covered without a widgets application.");
        return nullptr;
    }
    auto overlay = std::make_unique<DesktopOverlay>(options.screenX11, options.color);
    if (!options.imagePath.empty()) {
        QImage image(QString::fromStdString(options.imagePath));
        if (image.isNull())
            logMessage("The desktop picture " + options.imagePath + " cannot be read; the colour is shown.");
        else
            overlay->setImage(image, options.stretchMode);
    }
    return overlay;
}

} // namespace vtl
