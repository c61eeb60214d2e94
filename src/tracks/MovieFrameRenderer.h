#pragma once
// What a movie track asks of a renderer to hand it frames: a playback context per movie track,
// kept by the renderer for as long as it draws the track, and a small image cache per track and
// path ("image" for the preview, "exportImage" for the export) keyed by the frame's time and
// scale. The renderer implements it (the object image pipeline takes the frames from here);
// called on the renderer's thread, under the track's own lock.

#include "platform/imaging/pixels/BitmapImage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vtl {

class CompositionBaseObject;
class CompositionMovieTrackObjectPlaybackContext;

struct CachedMovieImage {
    BitmapImage image;
    std::int64_t key = 0;
};

class MovieFrameRenderer {
public:
    virtual ~MovieFrameRenderer() = default;

    // The renderer's context for the object, or null before the first frame.
    virtual CompositionMovieTrackObjectPlaybackContext* rendererContextForObject(const CompositionBaseObject& object) = 0;
    // Keeps the context (owned by the renderer from now on).
    virtual void setRendererContext(std::unique_ptr<CompositionMovieTrackObjectPlaybackContext> context,
                                    const CompositionBaseObject& object) = 0;

    virtual std::optional<CachedMovieImage> cachedImage(const CompositionBaseObject& object,
                                                        const std::string& cachePath) const = 0;
    virtual void setCachedImage(const BitmapImage& image, const CompositionBaseObject& object,
                                const std::string& cachePath, std::int64_t key) = 0;
};

} // namespace vtl
