#include "objects/ObjectThumbnail.h"

#include "model/CompositionObjectsContainer.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/NotificationCenter.h"

#include <cmath>
#include <mutex>

namespace vtl {

namespace {

std::mutex painterMutex;
ObjectThumbnail::Painter& installedPainter() {
    static ObjectThumbnail::Painter painter;
    return painter;
}

} // namespace

void ObjectThumbnail::setPainter(Painter painter) {
    std::lock_guard lock(painterMutex);
    installedPainter() = std::move(painter);
}

ObjectThumbnail::ObjectThumbnail(CompositionRectangularObject& owner)
    : owner_(owner) {}

ObjectThumbnail::~ObjectThumbnail() {
    cancel();
}

void ObjectThumbnail::cancel() {
    if (timer_) timer_->cancel();
    timer_.reset();
}

bool ObjectThumbnail::isPending() const {
    return timer_ && timer_->isValid();
}

void ObjectThumbnail::regenerateThumb() {
    const CompositionObjectsContainer* container = owner_.compositionObjectsContainer();
    if (!owner_.containerTrack() || !container || container->isOffscreen() || container->undoDisabled())
        return;
    cancel();
    // The object may be gone by the time the timer fires: it then gets no thumbnail.
    std::weak_ptr<const CompositionUndoObject> weakOwner = owner_.weak_from_this();
    timer_ = DispatchTimer::scheduleOnce(delaySeconds, [weakOwner, this] {
        if (auto owner = weakOwner.lock()) delayedRegenerateThumbs();
    });
}

void ObjectThumbnail::delayedRegenerateThumbs() {
    timer_.reset();
    thumbnail_ = BitmapImage();
    const CompositionObjectsContainer* container = owner_.compositionObjectsContainer();
    if (container) {
        const double time = owner_.startTime() + owner_.snapDuration() / 2;
        const Size canvas = container->canvasSize();
        const Rect visible = owner_.enclosingRectAtTime(time, RotationHandling::Respect)
                                 .intersection(Rect(0, 0, canvas.width, canvas.height));
        Painter painter;
        {
            std::lock_guard lock(painterMutex);
            painter = installedPainter();
        }
        if (!visible.isEmpty() && std::isfinite(visible.width()) && std::isfinite(visible.height()) &&
            painter) {
            const double width = std::round(visible.width() / visible.height() * heightPixels);
            if (width >= 1 && width <= 16384)
                thumbnail_ = painter(owner_, time, visible, int(width), heightPixels);
        }
    }
    NotificationUserInfo info;
    // Observers register with the object as a whole.
    NotificationCenter::defaultCenter().post(kObjectRegeneratedThumbnailsNotification,
                                             dynamic_cast<const void*>(&owner_), std::move(info));
}

} // namespace vtl
