#pragma once
// A still picture on the canvas: a media entry of the document whose file is loaded into an
// image, counted as one use of the entry while the object holds it, and handed to the per-object
// pipeline at its own pixel size, rasterised once per version of the picture. Held by
// std::shared_ptr like every timeline object (the container owns it); the entry is shared with
// the document's media managers.
//
// Threads: setters run on the main thread. createImageAtTime runs on the render thread and only
// reads: the picture is swapped under a lock, the version and the one-shot flag are atomics.

#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "platform/graphics/Image.h"
#include "platform/imaging/CIImage.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace vtl {

class CompositionImageObject : public ModelKeyCoding<CompositionImageObject, CompositionRectangularObject> {
public:
    explicit CompositionImageObject(CompositionObjectsContainer* container);
    CompositionImageObject(CompositionObjectsContainer* container,
                           std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionImageObject() override;

    void didConstruct() override;
    std::string className() const override { return "CompositionImageObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    // --- The picture and its entry
    ImageRef image() const;
    // Replaces the picture; the rect becomes (0, 0) with the natural size at the current movie time.
    void setImage(ImageRef image);
    Size originalImageSize() const { return originalImageSize_; }
    void setOriginalImageSize(Size size) { originalImageSize_ = size; }
    uint64_t currentCacheHash() const { return currentCacheHash_.load(); }
    // A new version of the picture: the next render rasterises it again.
    void redoImageRef() { currentCacheHash_.fetch_add(1); }

    // Exchanges the entry, loads its picture and measures its size; the rect stays.
    void setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) override;
    void setMediaEntryWithoutAlteringRect(const std::shared_ptr<CompositionMediaEntry>& entry);
    // For the document's media restore: the exchange and the measuring, without invalidating.
    void setupWithMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry);
    // A replaced picture: the rect keeps the earlier natural size at (0, 0).
    void setImageFromMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry);
    std::string mediaPathForSerialization() const;

    // --- What the kind answers
    Size originalSize() const override { return originalImageSize_; }
    bool loadResources() override;
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;
    bool alsoWantsEndSetWhenMovingInTime() const override { return true; }

    // --- Drawing (render thread)
    CIImage createImageAtTime(const ObjectImageRequest& request) override;
    // What the pipeline's shadow key takes in place of the picture's identity.
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest&) const override {
        return currentCacheHash();
    }
    uint64_t rasterisationCount() const { return rasterisations_.load(std::memory_order_relaxed); }

    static const ModelKeyTable<CompositionImageObject>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;
    void copyValuesInto(CompositionBaseObject& target) const override;

private:
    // Gives up the current entry, takes the new one (one use) and loads its picture.
    void exchangeMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry);
    bool loadPicture();
    void measureOriginalSize();
    void storePicture(ImageRef image);

    mutable Mutex imageMutex_;
    ImageRef image_ VTL_GUARDED_BY(imageMutex_);
    Size originalImageSize_;
    std::atomic<uint64_t> currentCacheHash_{0};
    mutable std::atomic<uint64_t> rasterisations_{0};
};

} // namespace vtl
