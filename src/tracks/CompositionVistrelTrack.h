#pragma once
// A screen recording on the timeline: a track object holding the recording's movie, with the
// pointer data the recorder stored ("mouse") prepared for drawing, the mouse style it draws
// with, and the media entry's usage count kept in step (one use per attached movie). Held by
// std::shared_ptr like every timeline object; owns its movie. Main thread, except the movie's
// pictures.

#include "tracks/CompositionTrackObject.h"
#include "tracks/CompositionVistrelMovie.h"

#include <functional>
#include <memory>
#include <vector>

namespace vtl {

class GraphicsContext;

class CompositionVistrelTrack : public CompositionTrackObject {
public:
    // Where a track without a mouse style takes one from: the mouse-style store's first preset
    // once the preset store installs itself here, a built-in default until then.
    using MouseVisualizationProvider = std::function<std::shared_ptr<MouseVisualization>()>;
    static void setMouseVisualizationProvider(MouseVisualizationProvider provider);
    static std::shared_ptr<MouseVisualization> defaultMouseVisualization();

    using CompositionTrackObject::CompositionTrackObject;
    ~CompositionVistrelTrack() override;

    std::string className() const override { return "CompositionVistrelTrack"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    // Keeps the decoded movie; loadResources attaches it and reads the pointer data.
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // --- The recording
    void setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) override;
    std::shared_ptr<CompositionMediaEntry> mediaEntry() const override;
    // Attaches the movie (its entry counts one use more, the previous one's one use less) and
    // prepares its pointer data.
    void setMovie(std::shared_ptr<CompositionVistrelMovie> movie);
    const std::shared_ptr<CompositionVistrelMovie>& movie() const { return movie_; }
    bool loadResources() override;
    void reinitializeAfterPathChanged() override;
    void releaseAllCachedResources() override;
    void invalidate() override;
    void prepareForPlayBackAtTime(double globalTime) override;

    double duration() const override;
    Size originalSize() const override;
    std::shared_ptr<VistrelRecording> underlyingRecording() const;
    double recordingContentScale() const override;
    std::string mediaPathForSerialization() const;
    std::uint32_t timeScale() const override { return 600; }
    std::optional<std::string> underlyingTrackName() const override { return std::nullopt; }

    std::shared_ptr<CompositionBaseTriggeredState> newTriggeredState(double start, double end) const override;
    bool allowsAddingTriggeredStates() const override { return true; }
    bool isAlwaysCompletelyOpaque() const override { return true; }
    bool previewThumbnailsGenerated() const override { return true; }

    // The unanimated frame: the recording fitted into the canvas, keeping its aspect ratio.
    void setNoneAnimationStateFromTrackMatrix();
    // The prepared lists and style of another track (copies).
    void setMouseLocations(const TrackMetadata& metadata, std::shared_ptr<MouseVisualization> style);

    void awakeAfterUndelete() override;
    void prepareForDeletion() override;

    // --- Drawing (render threads). The frame from the renderer's decode-ahead cache, darkened
    // with its focused windows lifted out under a focus-highlight state, zoomed under the other
    // event-triggered states, scaled by the request's factors; none without a renderer that keeps
    // recordings or without a frame.
    CIImage createImageAtTime(const ObjectImageRequest& request) override;
    // The inherited pictures, then the pointer, clicks and wheel overlay.
    std::vector<CIImage> additionalImagesInObjectSpaceToDrawAboveImage(const ObjectImageRequest& request,
                                                                       const CIImage& baseImage) override;
    // Media times: within half a second after a focus-highlight state's end, and the pointer's
    // movement with the lifted focus rectangle there (identity when none).
    bool isInsideTriggeredStateAnimationAtTime(double mediaTime) const;
    AffineTransform additionalMouseTransformAtTime(double mediaTime) const;
    // The still frame at global time t at the recording's size; empty without a package.
    BitmapImage imageAtTime(double globalTime) const;

    // --- Timeline thumbnails (main thread), from the thumbnails stored in the package: whole
    // tiles of the stored aspect, as tall as the strip, from the tile under origin.x on; the tile
    // that spans a positive scrub time shows that time.
    struct ThumbTile {
        double time = 0;
        Rect rect;
    };
    std::vector<ThumbTile> thumbTiles(Size size, double pixelsPerSecond, Point origin,
                                      double scrubTime) const;
    // Each tile's thumbnail framed dark at its bottom and left, light at its top and right; stops
    // at the first time without a stored thumbnail.
    void drawThumbs(GraphicsContext& context, Size size, double pixelsPerSecond, Point origin,
                    double scrubTime) const;

protected:
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    static CIImage scaledForRequest(const CIImage& image, const ObjectImageRequest& request);
    void readMetadata();
    void giveUpMediaEntry();

    std::shared_ptr<CompositionVistrelMovie> movie_;
};

} // namespace vtl
