#pragma once
// A transient window that shows a content view next to a rectangle of a view, as a Qt::Popup
// window. While shown it keeps itself alive (the caller may let go of it); it lets go when it
// closes, by close() or, for a transient popover, by a click outside. Shared through
// std::shared_ptr; create with Popover::create().

#include "platform/foundation/Geometry.h"

#include <QPointer>
#include <QWidget>
#include <memory>

namespace vtl {

class PopoverDelegate;
class View;

enum class PopoverBehavior { ApplicationDefined = 0, Transient = 1, Semitransient = 2 };
// Sides of a rectangle in the view's coordinates: MinY is the bottom of an unflipped view.
enum class RectEdge { MinX = 0, MinY = 1, MaxX = 2, MaxY = 3 };

class Popover : public std::enable_shared_from_this<Popover> {
public:
    static std::shared_ptr<Popover> create();
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    // The popover takes the view (and deletes it with itself); its size is the popover's.
    void setContentView(QWidget* view);
    QWidget* contentView() const { return content_; }
    // An object kept alive as long as the popover (the content's controller).
    void setContentOwner(std::shared_ptr<void> owner) { contentOwner_ = std::move(owner); }
    PopoverBehavior behavior() const { return behavior_; }
    void setBehavior(PopoverBehavior behavior);
    PopoverDelegate* delegate() const { return delegate_; }
    void setDelegate(PopoverDelegate* delegate) { delegate_ = delegate; }

    // Shows the popover beside the rectangle (in the view's coordinates), on the preferred side.
    void showRelativeToRect(const Rect& positioningRect, View* view, RectEdge preferredEdge);
    void close();
    bool isShown() const;
    // The popup window (null before the first show).
    QWidget* window() const { return window_; }

    // Called by the popup window when it is closing.
    void windowIsClosing();

private:
    Popover() = default;

    QPointer<QWidget> window_;
    QPointer<QWidget> content_;
    std::shared_ptr<void> contentOwner_;
    std::shared_ptr<Popover> keepAlive_;
    PopoverBehavior behavior_ = PopoverBehavior::ApplicationDefined;
    PopoverDelegate* delegate_ = nullptr;
    bool closing_ = false;
    bool closeRequested_ = false;
};

} // namespace vtl
