#pragma once
// The video track of an imported movie on the timeline: places the movie's picture on the canvas
// (fitted, or at an override size), hands every renderer the frame for a time (the export's
// sequential reader, the renderer's own playback context while playing and scrubbing, exact still
// images when the player has none yet), and keeps the timeline thumbnails, made once in the
// background and archived with the object. Held by std::shared_ptr like every timeline object.
//
// Threads: model calls on the main thread; frame requests on the renderers' threads, serialised
// by the object's own lock; the thumbnail run on its generator's thread, handing results to the
// main thread without waiting for it.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "platform/media/MediaImageGenerator.h"
#include "tracks/CompositionQTTrack.h"
#include "tracks/MovieThumbnailLayout.h"

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace vtl {

class GraphicsContext;
class MovieFrameRenderer;
class VTL3AssetTrackSequentialBufferReader;

// Whether a frame request serves the export, playback or scrubbing.
enum class MovieFrameUse { Scrubbing, Playback, Export };

// A frame for a renderer: the picture (B, G, R, A at the track's original size) and the scale the
// renderer applies to it about the picture's origin.
struct MovieTrackFrame {
    BitmapImage image;
    double xScale = 1.0;
    double yScale = 1.0;
};

class CompositionMovieTrackObject : public CompositionQTTrack {
public:
    using ThumbnailList = std::vector<BitmapImage>;

    explicit CompositionMovieTrackObject(CompositionObjectsContainer* container);
    CompositionMovieTrackObject(CompositionObjectsContainer* container,
                                std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionMovieTrackObject() override;
    void didConstruct() override;

    std::string className() const override { return "CompositionMovieTrackObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;
    std::shared_ptr<CompositionBaseTriggeredState> newTriggeredState(double start, double end) const override;
    bool allowsAddingTriggeredStates() const override { return true; }
    bool isAlwaysCompletelyOpaque() const override { return true; }

    // --- Track and picture
    void setTrackIndex(std::uint32_t index) override;
    bool hasOverrideSize() const { return hasOverrideSize_; }
    Size overrideSize() const { return overrideSize_; }
    // Shows the picture at that size instead of its own, keeping the times.
    void setOverrideSize(Size size);
    // The override size when set, else the track's picture size.
    Size originalSize() const override;
    void setNoneAnimationStateOriginalSize();
    // Fits the picture into the canvas, centred, keeping its aspect ratio.
    void setNoneAnimationStateFromTrackMatrix();

    // --- Frames
    // The exact picture at `mediaSeconds` at the original size; empty when none comes.
    BitmapImage imageAtTime(double mediaSeconds) const VTL_EXCLUDES(frameMutex_);
    // The frame at global `time` for a renderer (see MovieFrameRenderer); an empty image when
    // there is none. Never waits for a playing decoder; scrubbing may decode one still image.
    MovieTrackFrame createImageAtTime(double time, MovieFrameUse use, MovieFrameRenderer& renderer,
                                      double xFactor = 1.0, double yFactor = 1.0) VTL_EXCLUDES(frameMutex_);
    // The image pipeline's picture: that frame, when the request's renderer hands out movie
    // frames, scaled by the request's factors; none without such a renderer or a frame. No picture
    // stamp: while a seek runs the picture shown is the last one drawn, not the request's.
    CIImage createImageAtTime(const ObjectImageRequest& request) override VTL_EXCLUDES(frameMutex_);
    void beginExport() VTL_EXCLUDES(frameMutex_) override;
    void endExport() VTL_EXCLUDES(frameMutex_) override;
    // Every renderer's playing context stops and re-seeks on its next frame; the same time twice
    // still changes the stamp (its negation is stored).
    void prepareForPlayBackAtTime(double globalTime) override;
    double timePlayersNeedToBePreparedFor() const { return timePlayersNeedToBePreparedFor_.load(); }
    void setIsExporting(bool) override {}

    // --- Thumbnails (main thread)
    void generateThumbnails() override;
    bool previewThumbnailsGenerated() const override;
    void setPreviewThumbnailsGenerated(bool generated);
    std::shared_ptr<const ThumbnailList> previewThumbnails() const VTL_EXCLUDES(thumbnailsMutex_);
    // Replaces the thumbnails and tells the copies of this object.
    void setPreviewThumbnails(ThumbnailList thumbnails) VTL_EXCLUDES(thumbnailsMutex_);
    // Size of one thumbnail in pixels, fixed by the run that made them.
    Size currentBitmapImageSize() const VTL_EXCLUDES(thumbnailsMutex_);
    std::size_t thumbIndexAtTime(double seconds) const { return thumbnailIndexAtTime(seconds); }
    // The thumbnail for a movie time (its index written to `index` even when there is none).
    BitmapImage thumbAtTime(double seconds, std::size_t* index = nullptr) const;
    BitmapImage thumbAtMovieIndex(std::size_t index) const;
    // Draws the clip's strip (see thumbnailPlacements); nothing before thumbnails exist.
    void drawThumbs(GraphicsContext& context, Size size, double fromSecond, double pixelsPerSecond,
                    Point origin, double scrubTime) const;
    std::vector<ThumbnailPlacement> thumbPlacements(Size size, double fromSecond, double pixelsPerSecond,
                                                    Point origin, double scrubTime) const;
    // Stops a running thumbnail run at its next picture and waits until it has let go.
    void cancelTrackExtraction() override;

    // --- Lifecycle
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;

protected:
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    struct ThumbnailRun;
    void observeThumbnailsOfOriginal();
    void stopObservingThumbnails();
    void thumbExtractionDone(const std::shared_ptr<ThumbnailRun>& run);
    static void handleGeneratedThumbnail(const std::shared_ptr<ThumbnailRun>& run, GeneratedImage image);
    std::shared_ptr<MediaImageGenerator> stillImageGenerator() const VTL_REQUIRES(frameMutex_);

    bool hasOverrideSize_ = false;
    Size overrideSize_;
    bool isInitialRead_ = true;
    std::atomic<double> timePlayersNeedToBePreparedFor_{0.0};

    mutable Mutex frameMutex_;
    std::unique_ptr<VTL3AssetTrackSequentialBufferReader> sequentialExportReader_ VTL_GUARDED_BY(frameMutex_);
    mutable std::shared_ptr<MediaImageGenerator> stillGenerator_ VTL_GUARDED_BY(frameMutex_);
    // The movie's track the still generator reads (a new selection makes a new generator).
    mutable std::size_t stillGeneratorTrack_ VTL_GUARDED_BY(frameMutex_) = 0;
    mutable Size stillGeneratorSize_ VTL_GUARDED_BY(frameMutex_);

    mutable Mutex thumbnailsMutex_;
    std::shared_ptr<const ThumbnailList> previewThumbnails_ VTL_GUARDED_BY(thumbnailsMutex_);
    Size thumbSize_ VTL_GUARDED_BY(thumbnailsMutex_);
    std::atomic<bool> previewThumbnailsGenerated_{false};
    std::unique_ptr<MediaImageGenerator> imageGenerator_;
    std::shared_ptr<ThumbnailRun> thumbnailRun_;
    std::optional<NotificationCenter::Token> thumbnailObserver_;
};

} // namespace vtl
