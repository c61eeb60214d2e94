#pragma once
// The timeline thumbnail of a still object (text, shape): the object alone at the middle of its
// time, cut to the part visible on the canvas and scaled to 132 pixels high. Rebuilt 0.1 s after
// the last change (one coalescing timer on the main queue), then announced with
// kObjectRegeneratedThumbnailsNotification. The picture itself comes from the painter the renderer
// library installs; without one there is no thumbnail. Owned by its object; main thread.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/pixels/BitmapImage.h"

#include <functional>
#include <memory>

namespace vtl {

class CompositionRectangularObject;
class DispatchTimer;

// Object: the object whose thumbnail was rebuilt (or dropped).
inline constexpr const char* kObjectRegeneratedThumbnailsNotification =
    "VistrelObjectRegeneratedThumbnailsNotification";

class ObjectThumbnail {
public:
    static constexpr int heightPixels = 132;
    static constexpr double delaySeconds = 0.1;

    // Draws only the object at the time and gives the visible part (canvas units) scaled to the
    // size, premultiplied B, G, R, A rows top first; empty when it cannot.
    using Painter = std::function<BitmapImage(CompositionRectangularObject& object, double time,
                                              const Rect& visible, int widthPixels, int heightPixels)>;
    static void setPainter(Painter painter);

    explicit ObjectThumbnail(CompositionRectangularObject& owner);
    ~ObjectThumbnail();
    ObjectThumbnail(const ObjectThumbnail&) = delete;
    ObjectThumbnail& operator=(const ObjectThumbnail&) = delete;

    // Schedules the rebuild after the delay, replacing one pending; nothing for an object off the
    // tracks or in a container that is offscreen or registers no undo.
    void regenerateThumb();
    // The rebuild, now.
    void delayedRegenerateThumbs();
    // Drops a pending rebuild.
    void cancel();
    bool isPending() const;
    // None when the object shows nothing on the canvas.
    const BitmapImage& previewThumb() const { return thumbnail_; }
    void dropThumbnail() { thumbnail_ = BitmapImage(); }

private:
    CompositionRectangularObject& owner_;
    std::shared_ptr<DispatchTimer> timer_;
    BitmapImage thumbnail_;
};

} // namespace vtl
