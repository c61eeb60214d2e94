#pragma once
// Draws a container's objects for one canvas, viewer or image generator, and is the home of the
// resources the objects keep while drawing for it: an image cache by object and cache path, one
// uploaded frame per object, one decode-ahead buffer per recording and one opaque context per
// object. Owned by whoever draws with it; the container is not owned.
//
// Threads: one thread draws with a renderer at a time; the container's notifications arrive on
// the main thread meanwhile. One mutex guards the maps, held only for map operations, never while
// an object builds an image or a decode buffer stops. Entries do not keep their objects alive:
// those of vanished objects are dropped, never read.

#include "objects/ObjectRendererResources.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/CIImage.h"
#include "tracks/RecordingFrameCacheProvider.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionObjectsContainer;
class CompositionUndoObject;
class Evaluator;

class VTLObjectsContainerRenderer : public ObjectRendererResources, public RecordingFrameCacheProvider {
public:
    // Frames a new decode-ahead buffer decodes ahead.
    static constexpr std::uint64_t decodeWindowFrames = 15;

    // Observes the container's removals from now on (null: no container, nothing observed).
    explicit VTLObjectsContainerRenderer(const std::shared_ptr<CompositionObjectsContainer>& container);
    // Stops every decode buffer, then drops every resource.
    ~VTLObjectsContainerRenderer() override;
    VTLObjectsContainerRenderer(const VTLObjectsContainerRenderer&) = delete;
    VTLObjectsContainerRenderer& operator=(const VTLObjectsContainerRenderer&) = delete;

    // --- Image cache
    void setCachedImage(const CIImage& image, const CompositionBaseObject& object, const std::string& cachePath,
                        std::uint64_t stamp) override;
    void setCachedImage(const CIImage& image, const CompositionBaseObject& object, const std::string& cachePath) {
        setCachedImage(image, object, cachePath, 0);
    }
    CIImage cachedImageForObject(const CompositionBaseObject& object, const std::string& cachePath) const override;
    std::uint64_t timeForObject(const CompositionBaseObject& object, const std::string& cachePath,
                                bool* isValid) const override;
    void removeCachedImagesForObject(const CompositionBaseObject& object) override;
    void removeAllCachedImages() override;
    CIImage materializedImage(const CIImage& image) override;
    std::shared_ptr<const ColorSpace> workingColorSpace() const override;

    // --- Contexts and frames
    std::shared_ptr<RendererContext> rendererContextForObject(const CompositionBaseObject& object) const override;
    void setRendererContext(std::shared_ptr<RendererContext> context, const CompositionBaseObject& object) override;
    CIImage cachedAndUploadPixelBuffer(const BitmapImage& frame, const CompositionBaseObject& object) override;

    // --- Recordings
    VistrelDecoderCachedBuffer* decoderCachedBufferForRecording(const std::shared_ptr<VistrelRecording>& recording) override;
    std::string colorSpace() const override { return "sRGB"; }
    // Readies each decoded frame for drawing on the decode thread, so the draw finds it prepared.
    VistrelDecoderCachedBuffer::UploadHook uploadHook() override;

    // Frees what removals left behind (decode buffers stopped meanwhile, entries of vanished
    // objects). The drawing thread calls it at the start of a frame; a decode buffer handed out
    // stays valid until then.
    void releaseRetiredResources();

    // --- Counters
    // Images stored under the path with an image since creation (how often they were built).
    std::uint64_t storeCount(const std::string& cachePath) const;
    // Objects with any resource, decode buffers, uploaded frames.
    std::size_t objectEntryCount() const;
    std::size_t decodeBufferCount() const;
    std::size_t uploadedFrameCount() const;

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
        bool isEmpty() const { return images.empty() && !context && uploadedFrame.isNull(); }
    };
    struct DecodeEntry {
        std::shared_ptr<VistrelRecording> recording;
        std::unique_ptr<VistrelDecoderCachedBuffer> buffer;
        int removalObservation = 0;
    };
    struct PreparedFrame {
        const std::uint8_t* pixels = nullptr;
        CIImage image;
    };

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
    std::deque<PreparedFrame> preparedFrames_ VTL_GUARDED_BY(mutex_);
    std::map<std::string, std::uint64_t, std::less<>> storeCounts_ VTL_GUARDED_BY(mutex_);

    // Materializes cached images; used under the context wrapper's lock.
    std::unique_ptr<Evaluator> evaluator_;
};

} // namespace vtl
