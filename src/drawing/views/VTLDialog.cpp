#include "drawing/views/VTLDialog.h"

#include "platform/ui/Sheet.h"
#include "platform/ui/SpinningProgressIndicator.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace vtl {

VTLDialog::VTLDialog() {
    loadNib();
}

VTLDialog::~VTLDialog() {
    if (isRunningAsSheet_ && panel_) endSheet(panel_);
    delete panel_.data();
}

std::unique_ptr<VTLDialog> VTLDialog::dialogWithTitle(const std::string& title, const std::string& message) {
    auto dialog = std::make_unique<VTLDialog>();
    dialog->setTitle(title);
    dialog->setMessage(message);
    return dialog;
}

void VTLDialog::loadNib() {
    if (panel_) return;
    auto* panel = new QWidget(nullptr, Qt::Dialog);
    panel->setObjectName("VTLDialog");
    auto* spinner = new SpinningProgressIndicator(Rect(0, 0, 32, 32));
    spinner->setFixedSize(32, 32);
    auto* title = new QLabel;
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* message = new QLabel;
    message->setWordWrap(true);
    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(message);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(20, 20, 20, 20);
    row->setSpacing(16);
    row->addWidget(spinner, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    panel->setMinimumWidth(360);
    panel_ = panel;
    titleField_ = title;
    messageField_ = message;
    progressIndicator_ = spinner;
}

void VTLDialog::setTitle(const std::string& title) {
    if (titleField_) titleField_->setText(QString::fromStdString(title));
}

void VTLDialog::setMessage(const std::string& message) {
    if (messageField_) messageField_->setText(QString::fromStdString(message));
}

void VTLDialog::startAnimatingProgressIndicator() {
    if (!progressIndicator_) return;
    progressIndicator_->setUsesThreadedAnimation(true);
    progressIndicator_->startAnimation();
}

void VTLDialog::showPanel() {
    if (!panel_) return;
    panel_->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        panel_->move(area.center() - QPoint(panel_->width() / 2, panel_->height() / 2));
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
}

void VTLDialog::showAsSheetInParentWindow(QWidget* window) {
    if (!panel_ || !window) return;
    isRunningAsSheet_ = true;
    beginSheet(panel_, window);
}

void VTLDialog::hidePanel() {
    if (!panel_) return;
    panel_->hide();
    if (isRunningAsSheet_) {
        endSheet(panel_);
        isRunningAsSheet_ = false;
    }
}

} // namespace vtl
