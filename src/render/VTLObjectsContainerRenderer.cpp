#include "render/VTLObjectsContainerRenderer.h"

#include "model/CompositionModelNotifications.h"
#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIContextWrapper.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/Evaluator.h"
#include "platform/imaging/FilterRegistry.h"
#include "tracks/CompositionMovieTrackObjectPlaybackContext.h"
#include "tracks/CompositionVistrelTrack.h"
#include "tracks/reader/VistrelRecording.h"

#include <algorithm>

namespace vtl {

namespace {

// Frames the decode threads prepared and the draws have not taken yet.
constexpr std::size_t maximumPreparedFrames = 32;

std::shared_ptr<VistrelRecording> recordingShownBy(const CompositionBaseObject* object) {
    auto track = dynamic_cast<const CompositionVistrelTrack*>(object);
    return track ? track->underlyingRecording() : nullptr;
}

bool sameOwner(const std::weak_ptr<const CompositionUndoObject>& a,
               const std::weak_ptr<const CompositionUndoObject>& b) {
    return !a.owner_before(b) && !b.owner_before(a);
}

} // namespace

VTLObjectsContainerRenderer::VTLObjectsContainerRenderer(
    const std::shared_ptr<CompositionObjectsContainer>& container)
    : evaluator_(makeDefaultEvaluator()) {
    // The objects' pictures use the named filters (shadows, effects).
    registerBuiltinFilters();
    setObjectsContainer(container);
}

void VTLObjectsContainerRenderer::setObjectsContainer(
    const std::shared_ptr<CompositionObjectsContainer>& container) {
    observations_.clear();
    container_ = container;
    if (!container) return;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    observations_.emplace_back(
        center, center.addObserver(kObjectsAddedOrRemovedNotification, container.get(),
                                   [this](const Notification& n) { objectsAddedOrRemoved(n); }));
    observations_.emplace_back(center,
                               center.addObserver(kObjectWillBeDeletedNotification, container.get(),
                                                  [this](const Notification& n) { objectWillBeDeleted(n); }));
}

VTLObjectsContainerRenderer::~VTLObjectsContainerRenderer() {
    observations_.clear();
    std::vector<std::unique_ptr<VistrelDecoderCachedBuffer>> buffers;
    {
        MutexLock lock(mutex_);
        for (auto& [recording, entry] : decodeBuffers_) {
            entry.recording->removeRemovalObserver(entry.removalObservation);
            buffers.push_back(std::move(entry.buffer));
        }
        decodeBuffers_.clear();
        for (auto& retired : retiredBuffers_)
            buffers.push_back(std::move(retired));
        retiredBuffers_.clear();
    }
    for (auto& buffer : buffers)
        if (buffer) buffer->cancelCaching();
    buffers.clear();
    MutexLock lock(mutex_);
    objects_.clear();
    staleEntries_.clear();
    retiredMovieContexts_.clear();
    preparedFrames_.clear();
}

// --- Object entries

VTLObjectsContainerRenderer::ObjectEntry*
VTLObjectsContainerRenderer::entryFor(const CompositionBaseObject& object, bool create) const {
    const std::weak_ptr<const CompositionUndoObject> owner = object.weak_from_this();
    auto found = objects_.find(&object);
    if (found != objects_.end() && !sameOwner(found->second.owner, owner)) {
        staleEntries_.push_back(std::move(found->second));
        objects_.erase(found);
        found = objects_.end();
    }
    if (found != objects_.end()) return &found->second;
    if (!create) return nullptr;
    ObjectEntry& entry = objects_[&object];
    entry.owner = owner;
    return &entry;
}

void VTLObjectsContainerRenderer::setCachedImage(const CIImage& image, const CompositionBaseObject& object,
                                                 const std::string& cachePath, std::uint64_t stamp) {
    CIImage replaced;
    MutexLock lock(mutex_);
    if (image.isNull()) {
        ObjectEntry* entry = entryFor(object, false);
        if (!entry) return;
        auto found = entry->images.find(cachePath);
        if (found == entry->images.end()) return;
        replaced = std::move(found->second.image);
        entry->images.erase(found);
        return;
    }
    ObjectEntry* entry = entryFor(object, true);
    CachedImage& cached = entry->images[cachePath];
    replaced = std::move(cached.image);
    cached.image = image;
    cached.stamp = stamp;
    ++storeCounts_[cachePath];
}

CIImage VTLObjectsContainerRenderer::cachedImageForObject(const CompositionBaseObject& object,
                                                          const std::string& cachePath) const {
    MutexLock lock(mutex_);
    const ObjectEntry* entry = entryFor(object, false);
    if (!entry) return {};
    auto found = entry->images.find(cachePath);
    return found == entry->images.end() ? CIImage() : found->second.image;
}

std::uint64_t VTLObjectsContainerRenderer::timeForObject(const CompositionBaseObject& object,
                                                         const std::string& cachePath, bool* isValid) const {
    MutexLock lock(mutex_);
    const ObjectEntry* entry = entryFor(object, false);
    auto found = entry ? entry->images.find(cachePath) : decltype(entry->images)::const_iterator();
    const bool valid = entry && found != entry->images.end();
    if (isValid) *isValid = valid;
    return valid ? found->second.stamp : invalidStamp;
}

void VTLObjectsContainerRenderer::removeCachedImagesForObject(const CompositionBaseObject& object) {
    std::map<std::string, CachedImage, std::less<>> dropped;
    std::map<std::string, CachedMovieImage, std::less<>> droppedMovieImages;
    MutexLock lock(mutex_);
    if (ObjectEntry* entry = entryFor(object, false)) {
        dropped.swap(entry->images);
        droppedMovieImages.swap(entry->movieImages);
        if (entry->isEmpty()) objects_.erase(&object);
    }
}

void VTLObjectsContainerRenderer::removeAllCachedImages() {
    MutexLock lock(mutex_);
    for (auto it = objects_.begin(); it != objects_.end();) {
        it->second.images.clear();
        it->second.movieImages.clear();
        it = it->second.isEmpty() ? objects_.erase(it) : std::next(it);
    }
}

CIImage VTLObjectsContainerRenderer::materializedImage(const CIImage& image) {
    if (image.isNull() || image.isEmpty() || image.isInfinite()) return image;
    Result<CIImage> computed = [&] {
        MutexLock lock(CIContextWrapper::sharedCIContextWrapper().contextMutex());
        return materialize(image, *evaluator_);
    }();
    if (!computed.ok()) {
        logMessage("An image kept by the renderer could not be computed ahead: " + computed.error());
        return image;
    }
    return std::move(computed).value();
}

std::shared_ptr<const ColorSpace> VTLObjectsContainerRenderer::workingColorSpace() const {
    return ColorSpace::deviceRGB();
}

// --- Contexts and frames

std::shared_ptr<RendererContext>
VTLObjectsContainerRenderer::rendererContextForObject(const CompositionBaseObject& object) const {
    MutexLock lock(mutex_);
    const ObjectEntry* entry = entryFor(object, false);
    return entry ? entry->context : nullptr;
}

void VTLObjectsContainerRenderer::setRendererContext(std::shared_ptr<RendererContext> context,
                                                     const CompositionBaseObject& object) {
    MutexLock lock(mutex_);
    ObjectEntry* entry = entryFor(object, context != nullptr);
    if (!entry) return;
    std::swap(entry->context, context);
    if (entry->isEmpty()) objects_.erase(&object);
}

CIImage VTLObjectsContainerRenderer::cachedAndUploadPixelBuffer(const BitmapImage& frame,
                                                                const CompositionBaseObject& object) {
    CIImage prepared;
    if (!frame.isEmpty()) {
        {
            MutexLock lock(mutex_);
            auto found = std::find_if(preparedFrames_.begin(), preparedFrames_.end(),
                                      [&](const PreparedFrame& p) { return p.pixels == frame.data(); });
            if (found != preparedFrames_.end()) {
                prepared = std::move(found->image);
                preparedFrames_.erase(found);
            }
        }
        if (prepared.isNull()) prepared = CIImage::imageWithBitmapImage(frame, workingColorSpace());
    }
    CIImage replaced;
    MutexLock lock(mutex_);
    ObjectEntry* entry = entryFor(object, !prepared.isNull());
    if (!entry) return prepared;
    replaced = std::move(entry->uploadedFrame);
    entry->uploadedFrame = prepared;
    if (entry->isEmpty()) objects_.erase(&object);
    return prepared;
}

// --- Movie tracks

CompositionMovieTrackObjectPlaybackContext*
VTLObjectsContainerRenderer::movieContextForObject(const CompositionBaseObject& object) {
    MutexLock lock(mutex_);
    const ObjectEntry* entry = entryFor(object, false);
    return entry ? entry->movieContext.get() : nullptr;
}

void VTLObjectsContainerRenderer::setMovieContext(
    std::unique_ptr<CompositionMovieTrackObjectPlaybackContext> context,
    const CompositionBaseObject& object) {
    MutexLock lock(mutex_);
    ObjectEntry* entry = entryFor(object, context != nullptr);
    if (!entry) return;
    // The context replaced may still be in use further up the caller's stack.
    if (entry->movieContext) retiredMovieContexts_.push_back(std::move(entry->movieContext));
    entry->movieContext = std::move(context);
    if (entry->isEmpty()) objects_.erase(&object);
}

std::optional<CachedMovieImage>
VTLObjectsContainerRenderer::cachedMovieImage(const CompositionBaseObject& object,
                                              const std::string& cachePath) const {
    MutexLock lock(mutex_);
    const ObjectEntry* entry = entryFor(object, false);
    if (!entry) return std::nullopt;
    auto found = entry->movieImages.find(cachePath);
    if (found == entry->movieImages.end()) return std::nullopt;
    return found->second;
}

void VTLObjectsContainerRenderer::setCachedMovieImage(const BitmapImage& image,
                                                      const CompositionBaseObject& object,
                                                      const std::string& cachePath, std::int64_t key) {
    CachedMovieImage replaced;
    MutexLock lock(mutex_);
    ObjectEntry* entry = entryFor(object, !image.isEmpty());
    if (!entry) return;
    if (image.isEmpty()) {
        auto found = entry->movieImages.find(cachePath);
        if (found == entry->movieImages.end()) return;
        replaced = std::move(found->second);
        entry->movieImages.erase(found);
        if (entry->isEmpty()) objects_.erase(&object);
        return;
    }
    CachedMovieImage& cached = entry->movieImages[cachePath];
    replaced = std::move(cached);
    cached = CachedMovieImage{image, key};
}

std::size_t VTLObjectsContainerRenderer::movieContextCount() const {
    MutexLock lock(mutex_);
    std::size_t count = retiredMovieContexts_.size();
    for (const auto& [key, entry] : objects_)
        if (entry.movieContext) ++count;
    for (const ObjectEntry& entry : staleEntries_)
        if (entry.movieContext) ++count;
    return count;
}

VistrelDecoderCachedBuffer::UploadHook VTLObjectsContainerRenderer::uploadHook() {
    // Buffers stop (and join their thread) before the renderer goes, so the hook may hold it.
    return [this](std::uint64_t, const BitmapImage& image) {
        if (image.isEmpty()) return;
        // The prepared image shares the frame's pixels, so their address stays its own while kept.
        CIImage prepared = CIImage::imageWithBitmapImage(image, workingColorSpace());
        MutexLock lock(mutex_);
        preparedFrames_.push_back({image.data(), std::move(prepared)});
        while (preparedFrames_.size() > maximumPreparedFrames)
            preparedFrames_.pop_front();
    };
}

// --- Recordings

VistrelDecoderCachedBuffer* VTLObjectsContainerRenderer::decoderCachedBufferForRecording(
    const std::shared_ptr<VistrelRecording>& recording) {
    if (!recording) return nullptr;
    releaseRetiredResources();
    MutexLock lock(mutex_);
    auto found = decodeBuffers_.find(recording.get());
    if (found != decodeBuffers_.end()) return found->second.buffer.get();
    DecodeEntry& entry = decodeBuffers_[recording.get()];
    entry.recording = recording;
    entry.buffer = std::make_unique<VistrelDecoderCachedBuffer>(recording, 0, decodeWindowFrames);
    entry.removalObservation = recording->addRemovalObserver(
        [this](const VistrelRecording& removed) { recordingIsBeingRemoved(&removed); });
    return entry.buffer.get();
}

std::unique_ptr<VistrelDecoderCachedBuffer>
VTLObjectsContainerRenderer::retireDecodeBuffer(const VistrelRecording* recording) {
    auto found = decodeBuffers_.find(recording);
    if (found == decodeBuffers_.end()) return nullptr;
    found->second.recording->removeRemovalObserver(found->second.removalObservation);
    std::unique_ptr<VistrelDecoderCachedBuffer> buffer = std::move(found->second.buffer);
    decodeBuffers_.erase(found);
    return buffer;
}

void VTLObjectsContainerRenderer::recordingIsBeingRemoved(const VistrelRecording* recording) {
    if (!recording) {
        logMessage("VTLObjectsContainerRenderer: Received VistrelRecordingIsBeingRemovedNotification with "
                   "(recording == nil)!");
        return;
    }
    std::unique_ptr<VistrelDecoderCachedBuffer> buffer;
    {
        MutexLock lock(mutex_);
        buffer = retireDecodeBuffer(recording);
    }
    if (!buffer) return;
    buffer->cancelCaching();
    MutexLock lock(mutex_);
    retiredBuffers_.push_back(std::move(buffer));
}

void VTLObjectsContainerRenderer::releaseRetiredResources() {
    std::vector<std::unique_ptr<VistrelDecoderCachedBuffer>> retired;
    std::vector<std::unique_ptr<CompositionMovieTrackObjectPlaybackContext>> retiredMovieContexts;
    std::vector<ObjectEntry> vanished;
    MutexLock lock(mutex_);
    retired.swap(retiredBuffers_);
    retiredMovieContexts.swap(retiredMovieContexts_);
    vanished.swap(staleEntries_);
    for (auto it = objects_.begin(); it != objects_.end();) {
        if (it->second.owner.expired()) {
            vanished.push_back(std::move(it->second));
            it = objects_.erase(it);
        } else {
            ++it;
        }
    }
}

// --- Removals

void VTLObjectsContainerRenderer::forgetObject(const CompositionBaseObject* object) {
    ObjectEntry dropped;
    MutexLock lock(mutex_);
    auto found = objects_.find(object);
    if (found == objects_.end()) return;
    dropped = std::move(found->second);
    objects_.erase(found);
    // The drawing thread may be decoding with it right now.
    if (dropped.movieContext) retiredMovieContexts_.push_back(std::move(dropped.movieContext));
}

void VTLObjectsContainerRenderer::objectsAddedOrRemoved(const Notification& notification) {
    const auto* removed = notification.value<std::shared_ptr<CompositionBaseObject>>(kObjectsRemovedKey);
    if (!removed || !*removed) return;
    forgetObject(removed->get());
    // The buffer keeps its recording, whose own removal thus waits for the renderer: the last
    // object showing the recording takes the buffer with it.
    const std::shared_ptr<VistrelRecording> recording = recordingShownBy(removed->get());
    if (!recording) return;
    if (auto container = container_.lock()) {
        for (const auto& object : container->objects())
            if (object.get() != removed->get() && recordingShownBy(object.get()) == recording) return;
    }
    recordingIsBeingRemoved(recording.get());
}

void VTLObjectsContainerRenderer::objectWillBeDeleted(const Notification& notification) {
    const auto* object = notification.value<std::shared_ptr<CompositionBaseObject>>(kCompositionObjectKey);
    if (object && *object) removeRendererContext(object->get());
}

void VTLObjectsContainerRenderer::removeRendererContext(const CompositionBaseObject* object) {
    std::shared_ptr<RendererContext> dropped;
    MutexLock lock(mutex_);
    auto found = objects_.find(object);
    if (found == objects_.end()) return;
    dropped = std::move(found->second.context);
    if (found->second.movieContext) retiredMovieContexts_.push_back(std::move(found->second.movieContext));
    if (found->second.isEmpty()) objects_.erase(found);
}

// --- Counters

std::uint64_t VTLObjectsContainerRenderer::storeCount(const std::string& cachePath) const {
    MutexLock lock(mutex_);
    auto found = storeCounts_.find(cachePath);
    return found == storeCounts_.end() ? 0 : found->second;
}

std::size_t VTLObjectsContainerRenderer::objectEntryCount() const {
    MutexLock lock(mutex_);
    return objects_.size();
}

std::size_t VTLObjectsContainerRenderer::decodeBufferCount() const {
    MutexLock lock(mutex_);
    return decodeBuffers_.size();
}

std::size_t VTLObjectsContainerRenderer::uploadedFrameCount() const {
    MutexLock lock(mutex_);
    return std::size_t(std::count_if(objects_.begin(), objects_.end(),
                                     [](const auto& o) { return !o.second.uploadedFrame.isNull(); }));
}

} // namespace vtl
