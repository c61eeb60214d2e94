#include "recorder/views/RecordingCoordinatorStatusItem.h"

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cmath>
#include <cstdio>

namespace vtl {

namespace {

// The size formats come from a string table: only a single "%f" with an optional precision is
// used, anything else falls back to one decimal.
bool hasOneRealConversion(const std::string& format) {
    int conversions = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        if (j + 1 < format.size() && format[j] == '.' && format[j + 1] >= '0' && format[j + 1] <= '9') j += 2;
        if (j >= format.size() || format[j] != 'f') return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string formatSize(std::string_view key, double value) {
    std::string format = localizedString(key);
    if (!hasOneRealConversion(format)) format = "%.1f";
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), value);
    return text;
}

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

class TrayStatusItem final : public RecorderStatusItem {
public:
    explicit TrayStatusItem(RecorderStatusItemActions actions)
        : actions_(std::move(actions)) {
        stop_ = menu_.addAction(QString::fromStdString(localizedString("Recorder_Stop")));
        pause_ = menu_.addAction(QString::fromStdString(localizedString("Recorder_Pause")));
        resume_ = menu_.addAction(QString::fromStdString(localizedString("Recorder_Resume")));
        resume_->setVisible(false);
        QObject::connect(stop_, &QAction::triggered, [this] {
            if (actions_.stop) actions_.stop();
        });
        QObject::connect(pause_, &QAction::triggered, [this] {
            if (actions_.pause) actions_.pause();
        });
        QObject::connect(resume_, &QAction::triggered, [this] {
            if (actions_.resume) actions_.resume();
        });
        icon_.setIcon(statusIcon());
        icon_.setContextMenu(&menu_);
        icon_.show();
    }

    void setTitle(const std::string& title) override { icon_.setToolTip(QString::fromStdString(title)); }
    void setPaused(bool paused) override {
        pause_->setVisible(!paused);
        resume_->setVisible(paused);
    }

private:
    RecorderStatusItemActions actions_;
    QMenu menu_;
    QSystemTrayIcon icon_;
    QAction* stop_ = nullptr;
    QAction* pause_ = nullptr;
    QAction* resume_ = nullptr;
};

} // namespace

std::unique_ptr<RecorderStatusItem> createTrayStatusItem(RecorderStatusItemActions actions) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        !QSystemTrayIcon::isSystemTrayAvailable()) {
        logMessage("There is no system tray for the recorder's status item.");
        return nullptr;
    }
    return std::make_unique<TrayStatusItem>(std::move(actions));
}

std::string formatRecordSize(std::uint64_t sizeBytes) {
    const double bytes = static_cast<double>(sizeBytes);
    if (sizeBytes >= (std::uint64_t{1} << 30)) return formatSize("RecordSize_GB", bytes / double(1 << 30));
    if (sizeBytes >= (std::uint64_t{1} << 20)) return formatSize("RecordSize_MB", bytes / double(1 << 20));
    return formatSize("RecordSize_KB", bytes / double(1 << 10));
}

std::string recorderStatusTitle(int displayMode, std::optional<double> elapsedSeconds,
                                std::uint64_t sizeBytes) {
    if (displayMode == 1) {
        if (!elapsedSeconds) return {};
        long total = std::lround(std::floor(std::max(0.0, *elapsedSeconds)));
        char text[32];
        if (total >= 3600)
            std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, (total / 60) % 60,
                          total % 60);
        else
            std::snprintf(text, sizeof text, "%02ld:%02ld", total / 60, total % 60);
        return text;
    }
    if (displayMode == 2) return formatRecordSize(sizeBytes);
    return {};
}

} // namespace vtl
