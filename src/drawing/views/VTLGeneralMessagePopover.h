#pragma once
// A transient popover with one message next to a point of a view, closing itself after a delay.
// The shown popover owns this controller (and keeps itself alive while shown); the controller
// holds the popover weakly.

#include "platform/foundation/Geometry.h"
#include "platform/ui/PopoverDelegate.h"

#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>

class QLabel;
class QWidget;

namespace vtl {

class Popover;
class View;

class VTLGeneralMessagePopover : public PopoverDelegate {
public:
    VTLGeneralMessagePopover();
    ~VTLGeneralMessagePopover();

    // Shows the message below the point (in the view's coordinates); a delay above 0 closes it
    // after that many seconds, otherwise it stays until the user dismisses it.
    static std::shared_ptr<Popover> showMessage(const std::string& message, Point point, View* view,
                                                double hideAfterSeconds);

    static std::string nibName() { return "GeneralMessagePopover"; }
    // The content view, built on first use (the original loads it from the interface file above).
    QWidget* view();
    QLabel* messageTextField();
    // Fits the field to the message and the view to the field with 10 points around it.
    void setMessage(const std::string& message);
    void hideAfter(double seconds);
    void closePopover();
    std::shared_ptr<Popover> popover() const { return popover_.lock(); }
    void setPopover(const std::shared_ptr<Popover>& popover) { popover_ = popover; }
    bool closeTimerIsRunning() const { return popoverCloseTimer_.isActive(); }

    void popoverWillClose(Popover&) override;

private:
    QWidget* view_ = nullptr; // handed to the popover, which deletes it
    QPointer<QLabel> messageTextField_;
    std::weak_ptr<Popover> popover_;
    QTimer popoverCloseTimer_;
};

} // namespace vtl
