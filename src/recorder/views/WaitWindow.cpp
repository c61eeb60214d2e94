#include "recorder/views/WaitWindow.h"

#include "platform/foundation/Log.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cmath>

namespace vtl {

namespace {

// A borderless window that takes the keyboard, so the finishing is in front of the user.
class KeyWindow : public QWidget {
public:
    KeyWindow()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        setAttribute(Qt::WA_TranslucentBackground);
    }
};

// Draws nothing, or 50 % black when asked; holds the spinner.
class TransparentContentView : public QWidget {
public:
    explicit TransparentContentView(QWidget* parent)
        : QWidget(parent) {}
    void setDrawsBackground(bool draws) {
        drawsBackground_ = draws;
        update();
    }
    bool drawsBackground() const { return drawsBackground_; }
    void setAngle(double degrees) {
        angle_ = degrees;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (drawsBackground_) {
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.fillRect(event->rect(), QColor(0, 0, 0, 128));
            painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        QRectF box = QRectF(rect()).adjusted(24, 24, -24, -24);
        painter.setPen(QPen(QColor(255, 255, 255, 220), 6, Qt::SolidLine, Qt::RoundCap));
        // Turns backwards once a second, as the finishing goes on.
        painter.drawArc(box, static_cast<int>(-angle_ * 16), 270 * 16);
    }

private:
    bool drawsBackground_ = true;
    double angle_ = 0;
};

} // namespace

struct WaitWindow::Widgets {
    KeyWindow window;
    TransparentContentView* content = nullptr;
    QTimer timer;
    double angle = 0;
};

WaitWindow::WaitWindow()
    : widgets_(std::make_unique<Widgets>()) {
    Widgets& w = *widgets_;
    w.window.resize(120, 120);
    w.content = new TransparentContentView(&w.window);
    w.content->setGeometry(0, 0, 120, 120);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        w.window.move(screen->geometry().center() - QPoint(60, 60));
    Widgets* raw = widgets_.get();
    QObject::connect(&w.timer, &QTimer::timeout, [raw] {
        raw->angle = std::fmod(raw->angle + 360.0 / 30.0, 360.0);
        raw->content->setAngle(raw->angle);
    });
    w.timer.start(1000 / 30);
    w.window.show();
    w.window.raise();
    w.window.activateWindow();
    // Painted now: the finishing runs on this thread before the loop returns to it.
    QCoreApplication::processEvents();
}

WaitWindow::~WaitWindow() = default;

std::unique_ptr<RecorderWindow> WaitWindow::showWindow() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    return std::unique_ptr<RecorderWindow>(new WaitWindow());
}

} // namespace vtl
