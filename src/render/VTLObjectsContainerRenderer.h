#pragma once
// Draws a container's objects for one canvas, viewer or image generator: stacked in drawing order,
// masked, placed by their transforms and scaled from canvas units onto a target rectangle. It is
// also the home of the
// resources the objects keep while drawing for it: an image cache by object and cache path, one
// uploaded frame per object, one decode-ahead buffer per recording, one opaque context per object
// and, for movie tracks, one playback context and a frame cache per track. Owned by whoever draws
// with it; the container is not owned.
//
// Threads: one thread draws with a renderer at a time; the container's notifications arrive on
// the main thread meanwhile. One mutex guards the maps, held only for map operations, never while
// an object builds an image, a movie decodes or a decode buffer or player stops. Entries do not
// keep their objects alive: those of vanished objects are dropped, never read.

#include "model/CompositionObjectsContainer.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"
#include "tracks/MovieFrameRenderer.h"
#include "tracks/RecordingFrameCacheProvider.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CIFilter;
class CompositionRectangularObject;
class CompositionUndoObject;
class Evaluator;
class RasterTargetDrawing;

// Called once after the last object of a pass, with the drawing placed in canvas units.
using AfterDrawingBlock = std::function<void(RasterTargetDrawing&)>;

enum class IncludeBackground { No, Yes };

// What one pass draws for. Without a colour space a pass draws nothing, not even the clearing.
struct ContainerDrawingOptions {
    double time = 0;
    bool forExport = false;
    // In playback the display scaling is carried by the placement rather than by the rectangles.
    bool forPlayback = false;
    ColorSpaceRef colorSpace;
    float backingScalingFactor = 1.0f;
    AfterDrawingBlock afterObjects;
};

class VTLObjectsContainerRenderer : public ObjectRendererResources,
                                    public RecordingFrameCacheProvider,
                                    public MovieFrameRenderer {
public:
    // Frames a new decode-ahead buffer decodes ahead.
    static constexpr std::uint64_t decodeWindowFrames = 15;

    // Observes the container's removals from now on (null: no container, nothing observed).
    explicit VTLObjectsContainerRenderer(const std::shared_ptr<CompositionObjectsContainer>& container);
    // Stops every decode buffer, then drops every resource.
    ~VTLObjectsContainerRenderer() override;
    VTLObjectsContainerRenderer(const VTLObjectsContainerRenderer&) = delete;
    VTLObjectsContainerRenderer& operator=(const VTLObjectsContainerRenderer&) = delete;

    // Follows this container's removals from now on (the old one's no more).
    void setObjectsContainer(const std::shared_ptr<CompositionObjectsContainer>& container);

    // --- Drawing. The target rectangle is in target pixels; canvas units map onto it. Masks drawn
    // are those of the mask list (as grey ghosts, outside playback and export only).
    // The renderer's own container, its background included.
    void drawObjectsInTargetRect(RasterTargetDrawing& drawing, const Rect& targetRect,
                                 const ObjectList& maskObjects, const ContainerDrawingOptions& options);
    // A given container's objects and transitions at its canvas size, its background included.
    void drawObjectsContainerObjects(const CompositionObjectsContainer& container,
                                     const ObjectList& maskObjects, const Rect& targetRect,
                                     RasterTargetDrawing& drawing, const ContainerDrawingOptions& options);
    // The compositing core: a given list; the background is the renderer's own container's.
    // `times` (parallel to the list followed by the added masks) gives each object its own time.
    // `additionalScaling` scales canvas units once more (every caller so far passes 1).
    void drawObjects(const ObjectList& objects, const ObjectList& maskObjects, RasterTargetDrawing& drawing,
                     const Rect& targetRect, Size canvasSize, const ContainerDrawingOptions& options,
                     IncludeBackground background, const std::vector<double>* times = nullptr,
                     double additionalScaling = 1.0);
    // One object's pictures at the time, placed in target units (display scaling applied here
    // only outside playback) and composited into one image; none when it draws nothing.
    CIImage imageToDrawAtTime(double time, CompositionBaseObject& object, bool forPlayback, bool forExport,
                              float backingScalingFactor, double displayScalingX, double displayScalingY,
                              double additionalScaling, const ColorSpaceRef& colorSpace);
    // A ready image from its extent into the rectangle; no clearing, no placement change.
    void drawCIImageInContext(const CIImage& image, RasterTargetDrawing& drawing, const Rect& targetRect);
    // 0 clears to transparent (generator, viewer, thumbnails), 1 and above to opaque white
    // (preview canvas, the default).
    void setClearColor(int value) { clearColor_ = value; }
    int clearColor() const { return clearColor_; }
    // The container's canvas background: its gradient over the canvas, rebuilt when a value it
    // shows changes; a canvas smaller than one unit keeps the last one. None for kind None.
    CIImage backgroundImage(const CompositionObjectsContainer& container);
    // How often a background picture was built.
    std::uint64_t backgroundBuildCount() const;

    // --- Image cache
    void setCachedImage(const CIImage& image, const CompositionBaseObject& object,
                        const std::string& cachePath, std::uint64_t stamp) override;
    void setCachedImage(const CIImage& image, const CompositionBaseObject& object,
                        const std::string& cachePath) {
        setCachedImage(image, object, cachePath, 0);
    }
    CIImage cachedImageForObject(const CompositionBaseObject& object,
                                 const std::string& cachePath) const override;
    std::uint64_t timeForObject(const CompositionBaseObject& object, const std::string& cachePath,
                                bool* isValid) const override;
    void removeCachedImagesForObject(const CompositionBaseObject& object) override;
    void removeAllCachedImages() override;
    CIImage materializedImage(const CIImage& image) override;
    std::shared_ptr<const ColorSpace> workingColorSpace() const override;
    MovieFrameRenderer* movieFrameRenderer() override { return this; }
    RecordingFrameCacheProvider* recordingFrameCaches() override { return this; }

    // --- Contexts and frames
    std::shared_ptr<RendererContext>
    rendererContextForObject(const CompositionBaseObject& object) const override;
    void setRendererContext(std::shared_ptr<RendererContext> context,
                            const CompositionBaseObject& object) override;
    CIImage cachedAndUploadPixelBuffer(const BitmapImage& frame,
                                       const CompositionBaseObject& object) override;

    // --- Recordings
    VistrelDecoderCachedBuffer*
    decoderCachedBufferForRecording(const std::shared_ptr<VistrelRecording>& recording) override;
    std::string colorSpace() const override { return "sRGB"; }
    // Readies each decoded frame for drawing on the decode thread, so the draw finds it prepared.
    VistrelDecoderCachedBuffer::UploadHook uploadHook() override;

    // --- Movie tracks
    CompositionMovieTrackObjectPlaybackContext*
    movieContextForObject(const CompositionBaseObject& object) override;
    void setMovieContext(std::unique_ptr<CompositionMovieTrackObjectPlaybackContext> context,
                         const CompositionBaseObject& object) override;
    std::optional<CachedMovieImage> cachedMovieImage(const CompositionBaseObject& object,
                                                     const std::string& cachePath) const override;
    void setCachedMovieImage(const BitmapImage& image, const CompositionBaseObject& object,
                             const std::string& cachePath, std::int64_t key) override;

    // Frees what removals left behind (decode buffers stopped meanwhile, movie players and entries
    // of vanished objects). The drawing thread calls it at the start of a frame; a decode buffer
    // or movie context handed out stays valid until then.
    void releaseRetiredResources();

    // --- Counters
    // Images stored under the path with an image since creation (how often they were built).
    std::uint64_t storeCount(const std::string& cachePath) const;
    // Objects with any resource, decode buffers, uploaded frames.
    std::size_t objectEntryCount() const;
    std::size_t decodeBufferCount() const;
    std::size_t uploadedFrameCount() const;
    // Movie playback contexts not yet destroyed, those retired by removals included.
    std::size_t movieContextCount() const;

private:
    struct CachedImage {
        CIImage image;
        std::uint64_t stamp = 0;
    };
    struct ObjectEntry {
        std::weak_ptr<const CompositionUndoObject> owner;
        std::map<std::string, CachedImage, std::less<>> images;
        std::shared_ptr<RendererContext> context;
        CIImage uploadedFrame;
        std::unique_ptr<CompositionMovieTrackObjectPlaybackContext> movieContext;
        std::map<std::string, CachedMovieImage, std::less<>> movieImages;
        bool isEmpty() const {
            return images.empty() && !context && uploadedFrame.isNull() && !movieContext &&
                   movieImages.empty();
        }
    };
    struct DecodeEntry {
        std::shared_ptr<VistrelRecording> recording;
        std::unique_ptr<VistrelDecoderCachedBuffer> buffer;
        int removalObservation = 0;
    };
    struct BackgroundKey {
        const CompositionObjectsContainer* container = nullptr;
        Size canvasSize;
        RGBAColor color1, color2;
        BackgroundKind kind = BackgroundKind::None;
        bool operator==(const BackgroundKey& o) const {
            return container == o.container && canvasSize.width == o.canvasSize.width &&
                   canvasSize.height == o.canvasSize.height && color1 == o.color1 && color2 == o.color2 &&
                   kind == o.kind;
        }
    };
    struct PreparedFrame {
        const std::uint8_t* pixels = nullptr;
        CIImage image;
    };

    void drawObjectsCore(const ObjectList& objects, const ObjectList& maskObjects,
                         RasterTargetDrawing& drawing, const Rect& targetRect, Size canvasSize,
                         const ContainerDrawingOptions& options,
                         const CompositionObjectsContainer* backgroundSource,
                         const std::vector<double>* times, double additionalScaling);
    // The object's compositing transform for its pictures at the factors; none for the identity
    // and for a transform that is not finite.
    std::optional<AffineTransform> objectTransform(const CompositionRectangularObject& object, double time,
                                                   const Rect& rect, double xFactor, double yFactor) const;
    // A mask shown in the editor: its picture in black at a quarter opacity.
    CIImage ghostOf(const CIImage& image);

    // The live entry of the object, made when asked; null when none (and not made). A stale
    // entry (its object gone, its address reused) is dropped on the way.
    ObjectEntry* entryFor(const CompositionBaseObject& object, bool create) const VTL_REQUIRES(mutex_);
    void forgetObject(const CompositionBaseObject* object);
    void objectsAddedOrRemoved(const Notification& notification);
    void objectWillBeDeleted(const Notification& notification);
    void recordingIsBeingRemoved(const VistrelRecording* recording);
    // Moves the recording's buffer out of use; the caller stops it without the lock.
    std::unique_ptr<VistrelDecoderCachedBuffer> retireDecodeBuffer(const VistrelRecording* recording)
        VTL_REQUIRES(mutex_);
    void removeRendererContext(const CompositionBaseObject* object);

    std::weak_ptr<CompositionObjectsContainer> container_;
    std::vector<ScopedNotificationObserver> observations_;

    mutable Mutex mutex_;
    mutable std::map<const void*, ObjectEntry> objects_ VTL_GUARDED_BY(mutex_);
    std::map<const VistrelRecording*, DecodeEntry> decodeBuffers_ VTL_GUARDED_BY(mutex_);
    // Stopped buffers that a drawing thread may still hold.
    std::vector<std::unique_ptr<VistrelDecoderCachedBuffer>> retiredBuffers_ VTL_GUARDED_BY(mutex_);
    // Movie contexts of removed objects, or replaced, which a drawing thread may still hold.
    std::vector<std::unique_ptr<CompositionMovieTrackObjectPlaybackContext>>
        retiredMovieContexts_ VTL_GUARDED_BY(mutex_);
    // Entries of vanished objects found on a lookup, dropped later so that no player stops under
    // the lock.
    mutable std::vector<ObjectEntry> staleEntries_ VTL_GUARDED_BY(mutex_);
    std::deque<PreparedFrame> preparedFrames_ VTL_GUARDED_BY(mutex_);
    std::map<std::string, std::uint64_t, std::less<>> storeCounts_ VTL_GUARDED_BY(mutex_);

    int clearColor_ = 255;
    // Used by the drawing thread only.
    std::unique_ptr<CIFilter> monochromeMaskFilter_;
    mutable Mutex backgroundMutex_;
    std::optional<BackgroundKey> backgroundKey_ VTL_GUARDED_BY(backgroundMutex_);
    CIImage background_ VTL_GUARDED_BY(backgroundMutex_);
    std::uint64_t backgroundBuilds_ VTL_GUARDED_BY(backgroundMutex_) = 0;

    // Materializes cached images; used under the context wrapper's lock.
    std::unique_ptr<Evaluator> evaluator_;
};

} // namespace vtl
