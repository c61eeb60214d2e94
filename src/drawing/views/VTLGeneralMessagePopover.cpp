#include "drawing/views/VTLGeneralMessagePopover.h"

#include "drawing/GeometryFunctions.h"
#include "platform/ui/Popover.h"
#include "platform/ui/View.h"

#include <QLabel>
#include <QWidget>
#include <cmath>

namespace vtl {

namespace {
constexpr int kPadding = 10;
}

VTLGeneralMessagePopover::VTLGeneralMessagePopover() {
    popoverCloseTimer_.setSingleShot(true);
    QObject::connect(&popoverCloseTimer_, &QTimer::timeout, [this] { closePopover(); });
}

VTLGeneralMessagePopover::~VTLGeneralMessagePopover() {
    if (view_ && !view_->parent()) delete view_;
}

QWidget* VTLGeneralMessagePopover::view() {
    if (!view_) {
        view_ = new QWidget;
        view_->setObjectName(QString::fromStdString(nibName()));
        messageTextField_ = new QLabel(view_);
        messageTextField_->move(kPadding, kPadding);
    }
    return view_;
}

QLabel* VTLGeneralMessagePopover::messageTextField() {
    view();
    return messageTextField_;
}

void VTLGeneralMessagePopover::setMessage(const std::string& message) {
    QLabel* field = messageTextField();
    field->setText(QString::fromStdString(message));
    field->adjustSize();
    field->setGeometry(kPadding, kPadding, field->width(), field->height());
    view_->resize(field->width() + 2 * kPadding, field->height() + 2 * kPadding);
}

void VTLGeneralMessagePopover::hideAfter(double seconds) {
    popoverCloseTimer_.start(static_cast<int>(std::lround(seconds * 1000)));
}

void VTLGeneralMessagePopover::closePopover() {
    if (auto popover = popover_.lock()) popover->close();
}

void VTLGeneralMessagePopover::popoverWillClose(Popover&) {
    popoverCloseTimer_.stop();
}

std::shared_ptr<Popover> VTLGeneralMessagePopover::showMessage(const std::string& message, Point point,
                                                               View* view, double hideAfterSeconds) {
    auto controller = std::make_shared<VTLGeneralMessagePopover>();
    controller->setMessage(message);
    auto popover = Popover::create();
    popover->setContentView(controller->view());
    popover->setContentOwner(controller);
    // Transient: a click elsewhere closes it.
    popover->setBehavior(PopoverBehavior::Transient);
    popover->setDelegate(controller.get());
    popover->showRelativeToRect(rectFromPoint(point, 2, 2), view, RectEdge::MinY);
    if (hideAfterSeconds > 0) {
        controller->setPopover(popover);
        controller->hideAfter(hideAfterSeconds);
    }
    return popover;
}

} // namespace vtl
