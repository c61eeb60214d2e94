#include "platform/ui/Popover.h"

#include "platform/ui/PopoverDelegate.h"
#include "platform/ui/View.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

namespace vtl {

namespace {

class PopupWindow : public QWidget {
public:
    explicit PopupWindow(Popover* popover)
        : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint)
        , popover_(popover) {
        setAttribute(Qt::WA_DeleteOnClose, false);
    }
    void detach() { popover_ = nullptr; }
    bool allowsUserClose = true;
    bool closingByOwner = false;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (!closingByOwner && !allowsUserClose) {
            event->ignore();
            return;
        }
        QWidget::closeEvent(event);
    }
    void hideEvent(QHideEvent* event) override {
        QWidget::hideEvent(event);
        if (popover_) popover_->windowIsClosing();
    }

private:
    Popover* popover_;
};

} // namespace

std::shared_ptr<Popover> Popover::create() {
    return std::shared_ptr<Popover>(new Popover());
}

Popover::~Popover() {
    if (auto* popup = static_cast<PopupWindow*>(window_.data())) {
        popup->detach();
        popup->hide();
        popup->deleteLater(); // takes the content view with it
    }
    if (content_ && !content_->parent()) delete content_;
}

void Popover::setContentView(QWidget* view) {
    if (content_ == view) return;
    if (content_) delete content_;
    content_ = view;
    if (window_ && content_) {
        content_->setParent(window_);
        content_->move(0, 0);
        window_->resize(content_->size());
    }
}

void Popover::setBehavior(PopoverBehavior behavior) {
    behavior_ = behavior;
    if (auto* popup = static_cast<PopupWindow*>(window_.data()))
        popup->allowsUserClose = behavior_ != PopoverBehavior::ApplicationDefined;
}

bool Popover::isShown() const {
    return window_ && window_->isVisible();
}

void Popover::showRelativeToRect(const Rect& positioningRect, View* view, RectEdge preferredEdge) {
    if (!view || !content_) return;
    if (!window_) window_ = new PopupWindow(this);
    auto* popup = static_cast<PopupWindow*>(window_.data());
    popup->allowsUserClose = behavior_ != PopoverBehavior::ApplicationDefined;
    popup->closingByOwner = false;
    content_->setParent(popup);
    content_->move(0, 0);
    content_->show();
    popup->resize(content_->size());

    const QRect anchorLocal = View::qtRectFromRect(positioningRect, view->height(), view->isFlipped());
    const QRect anchor(view->mapToGlobal(anchorLocal.topLeft()), anchorLocal.size());
    const QSize size = popup->size();
    // The side in the view's terms; an unflipped view's MinY is its bottom on screen.
    const bool flipped = view->isFlipped();
    QPoint origin;
    const int centredX = anchor.x() + (anchor.width() - size.width()) / 2;
    const int centredY = anchor.y() + (anchor.height() - size.height()) / 2;
    switch (preferredEdge) {
    case RectEdge::MinX:
        origin = QPoint(anchor.x() - size.width(), centredY);
        break;
    case RectEdge::MaxX:
        origin = QPoint(anchor.x() + anchor.width(), centredY);
        break;
    case RectEdge::MinY:
        origin = flipped ? QPoint(centredX, anchor.y() - size.height())
                         : QPoint(centredX, anchor.y() + anchor.height());
        break;
    case RectEdge::MaxY:
        origin = flipped ? QPoint(centredX, anchor.y() + anchor.height())
                         : QPoint(centredX, anchor.y() - size.height());
        break;
    }
    popup->move(origin);
    closing_ = false;
    closeRequested_ = false;
    keepAlive_ = shared_from_this();
    popup->show();
}

void Popover::close() {
    if (!isShown() || closing_) return;
    auto* popup = static_cast<PopupWindow*>(window_.data());
    popup->closingByOwner = true;
    popup->close(); // hiding reports through windowIsClosing
}

void Popover::windowIsClosing() {
    if (closing_ || !keepAlive_) return;
    closing_ = true;
    if (delegate_) delegate_->popoverWillClose(*this);
    if (delegate_) delegate_->popoverDidClose(*this);
    std::shared_ptr<Popover> keep = std::move(keepAlive_);
    closing_ = false;
    // Let go from the event loop: this runs inside the window's own event, or a caller's timer.
    QTimer::singleShot(0, qApp, [keep] {});
}

} // namespace vtl
