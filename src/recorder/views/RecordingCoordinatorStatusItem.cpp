#include "recorder/views/RecordingCoordinatorStatusItem.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace vtl {

namespace {

QIcon statusIcon() {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(210, 40, 40));
    painter.drawEllipse(QRectF(4, 4, 14, 14));
    return QIcon(pixmap);
}

} // namespace

struct RecordingCoordinatorStatusItem::Widgets {
    QMenu menu;
    QSystemTrayIcon icon;
    QAction* stop = nullptr;
    QAction* pause = nullptr;
    QAction* resume = nullptr;
};

std::unique_ptr<RecorderStatusItem>
RecordingCoordinatorStatusItem::create(RecorderStatusItemActions actions) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable()) {
        logMessage("There is no system tray for the recorder's status item.");
        return nullptr;
    }
    return std::unique_ptr<RecorderStatusItem>(new RecordingCoordinatorStatusItem(std::move(actions)));
}

RecordingCoordinatorStatusItem::RecordingCoordinatorStatusItem(RecorderStatusItemActions actions)
    : actions_(std::move(actions))
    , widgets_(std::make_unique<Widgets>()) {
    Widgets& w = *widgets_;
    w.stop = w.menu.addAction(QString::fromStdString(localizedString("Recorder_Stop")));
    w.pause = w.menu.addAction(QString::fromStdString(localizedString("Recorder_Pause")));
    w.resume = w.menu.addAction(QString::fromStdString(localizedString("Recorder_Resume")));
    w.resume->setVisible(false);
    QObject::connect(w.stop, &QAction::triggered, [this] {
        if (actions_.stop) actions_.stop();
    });
    QObject::connect(w.pause, &QAction::triggered, [this] {
        if (actions_.pause) actions_.pause();
    });
    QObject::connect(w.resume, &QAction::triggered, [this] {
        if (actions_.resume) actions_.resume();
    });
    w.icon.setIcon(statusIcon());
    w.icon.setContextMenu(&w.menu);
    w.icon.show();
}

RecordingCoordinatorStatusItem::~RecordingCoordinatorStatusItem() = default;

void RecordingCoordinatorStatusItem::setTitle(const std::string& title) {
    widgets_->icon.setToolTip(QString::fromStdString(title));
}

void RecordingCoordinatorStatusItem::setPaused(bool paused) {
    widgets_->pause->setVisible(!paused);
    widgets_->resume->setVisible(paused);
}

} // namespace vtl
