// CompositionImageObject: the entry and its use count, the picture and its version, the archive
// and the picture handed to the pipeline.

#include "objects/CompositionImageObject.h"

#include "drawing/ImageAdditions.h"
#include "model/CompositionMediaEntry.h"
#include "model/SharedMediaManager.h"
#include "objects/ObjectRendererResources.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/PictureFile.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <cmath>

namespace vtl {

namespace {

using Object = CompositionImageObject;

bool isZeroSize(Size size) {
    return size.width == 0 && size.height == 0;
}

} // namespace

const ModelKeyTable<CompositionImageObject>& Object::keyValueTable() {
    // The picture's entry is exchanged through the document's commands, which register their own undo.
    static const auto table = ModelKeyTable<Object>();
    return table;
}

Object::CompositionImageObject(CompositionObjectsContainer* container)
    : ModelKeyCoding(container) {}

Object::CompositionImageObject(CompositionObjectsContainer* container,
                               std::shared_ptr<CompositionBaseState> baseState)
    : ModelKeyCoding(container, std::move(baseState)) {}

Object::~CompositionImageObject() = default;

void Object::didConstruct() {
    const bool isNew = noneAnimationState() == nullptr;
    CompositionRectangularObject::didConstruct();
    if (!isNew) return;
    const bool wasDisabled = undoDisabled();
    CompositionUndoObject::setUndoDisabled(true);
    setPropertyNames({"TranslationPropertiesView.nib", "ObjectScaling.nib", "ObjectFramePropertiesView.nib",
                      "ObjectFrameDrawingPropertiesView.nib", "ObjectCornerRadiusPropertyView.nib",
                      "ObjectFrameShadowPropertiesView.nib", "MaskProperties.nib",
                      "DependentObjectPropertiesView.nib"});
    setName("Image");
    CompositionUndoObject::setUndoDisabled(wasDisabled);
}

// --- Picture

ImageRef Object::image() const {
    MutexLock lock(imageMutex_);
    return image_;
}

void Object::storePicture(ImageRef image) {
    MutexLock lock(imageMutex_);
    image_ = std::move(image);
}

bool Object::loadPicture() {
    storePicture(nullptr);
    const std::shared_ptr<CompositionMediaEntry> entry = mediaEntry();
    if (!entry) return false;
    const std::string path = entry->dataPath();
    Result<ImageRef> loaded = imageWithContentsOfFile(path);
    if (!loaded) {
        logMessage("The picture of an image object could not be loaded: " + loaded.error());
        return false;
    }
    storePicture(std::move(loaded).value());
    return true;
}

void Object::measureOriginalSize() {
    if (ImageRef picture = image()) originalImageSize_ = sizeOfFirstBitmapRepresentation(*picture);
}

void Object::setImage(ImageRef picture) {
    storePicture(picture);
    Size size = originalImageSize_;
    if (isZeroSize(size) && picture) size = sizeOfFirstBitmapRepresentation(*picture);
    originalImageSize_ = size;
    setRect(Rect(0, 0, size.width, size.height), startTime() + currentMovieTime());
    redoImageRef();
    invalidate();
}

void Object::exchangeMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    if (auto current = mediaEntry()) current->sharedManager().removedMediaEntry(current);
    CompositionRectangularObject::setMediaEntry(entry);
    loadPicture();
    if (entry) entry->addToUsageCounter(1);
}

void Object::setMediaEntryWithoutAlteringRect(const std::shared_ptr<CompositionMediaEntry>& entry) {
    exchangeMediaEntry(entry);
    invalidate();
}

void Object::setMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    setMediaEntryWithoutAlteringRect(entry);
    measureOriginalSize();
}

void Object::setupWithMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    exchangeMediaEntry(entry);
    measureOriginalSize();
}

void Object::setImageFromMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    exchangeMediaEntry(entry);
    ImageRef picture = image();
    const Size fresh = picture ? sizeOfFirstBitmapRepresentation(*picture) : Size();
    const Size previous = isZeroSize(originalImageSize_) ? fresh : originalImageSize_;
    originalImageSize_ = fresh;
    if (auto* none = dynamic_cast<CompositionRectangularState*>(noneAnimationState().get()))
        none->setRect(Rect(0, 0, previous.width, previous.height));
    redoImageRef();
    invalidate();
}

std::string Object::mediaPathForSerialization() const {
    const std::shared_ptr<CompositionMediaEntry> entry = mediaEntry();
    return entry ? entry->dataPath() : std::string();
}

bool Object::loadResources() {
    const bool loaded = loadPicture();
    if (loaded && isZeroSize(originalImageSize_)) measureOriginalSize();
    return loaded;
}

void Object::prepareForDeletion() {
    if (auto entry = mediaEntry()) entry->sharedManager().removedMediaEntry(entry);
    CompositionRectangularObject::prepareForDeletion();
}

void Object::awakeAfterUndelete() {
    if (auto entry = mediaEntry()) entry->addToUsageCounter(1);
    CompositionRectangularObject::awakeAfterUndelete();
}

// --- Copying

std::shared_ptr<CompositionBaseObject>
Object::makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const {
    return makeModelObject<CompositionImageObject>(compositionObjectsContainer(), std::move(baseState));
}

void Object::copyValuesInto(CompositionBaseObject& base) const {
    CompositionRectangularObject::copyValuesInto(base);
    auto* target = dynamic_cast<Object*>(&base);
    if (!target) return;
    target->setOriginalImageSize(originalImageSize_);
    // The copy counts its own use and loads its own picture.
    target->setMediaEntryWithoutAlteringRect(mediaEntry());
}

// --- Archive

void Object::encodeWithCoder(KeyedArchiver& coder) const {
    CompositionRectangularObject::encodeWithCoder(coder);
    coder.encodeObject("key_mediaEntry", ArchivedValue(mediaEntry()));
    coder.encodeObject("key_originalImageSize", ArchivedValue(originalImageSize_));
}

void Object::initWithCoder(KeyedUnarchiver& coder) {
    CompositionRectangularObject::initWithCoder(coder);
    currentCacheHash_.store(0);
    std::shared_ptr<CompositionMediaEntry> entry =
        coder.decodeObjectOfClass<CompositionMediaEntry>("key_mediaEntry");
    // The size is measured again from the picture; the stored one stands in while the picture is
    // missing, so saving such a document again keeps the object's scaling.
    Size stored;
    if (coder.containsValueForKey("key_originalImageSize")) {
        ArchivedValue value = coder.decodeObjectForKey("key_originalImageSize");
        if (std::optional<Size> size = value.sizeValue();
            size && std::isfinite(size->width) && std::isfinite(size->height))
            stored = *size;
    }
    originalImageSize_ = Size();
    setMediaEntryWithoutAlteringRect(entry);
    if (entry) entry->addToUsageCounter(-1);
    if (image()) {
        measureOriginalSize();
    } else {
        originalImageSize_ = stored;
    }
}

void Object::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionImageObject", "CompositionRectangularObject", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionImageObject>(nullptr));
    });
}

// --- Drawing

CIImage Object::createImageAtTime(const ObjectImageRequest& request) {
    // Scales from a damaged document or a broken caller give no picture rather than an empty one.
    if (!std::isfinite(request.xFactor) || !std::isfinite(request.yFactor) || !(request.xFactor > 0) ||
        !(request.yFactor > 0))
        return {};
    ImageRef picture = image();
    if (!picture) {
        logMessage("- [CompositionImageObject createImageAtTime:...] *** Image was nil!");
        return {};
    }
    const std::string path = request.forExport() ? kCachePathExportImage : kCachePathImage;
    ObjectRendererResources* cache = request.renderer;
    const ColorSpaceRef colorSpace = cache ? cache->workingColorSpace() : ColorSpaceRef();
    const uint64_t version = currentCacheHash();
    CIImage result;
    const bool bypass = takeInvalidateCachedVersionNextRun();
    if (cache && !bypass) {
        bool valid = false;
        if (cache->timeForObject(*this, path, &valid) == version && valid)
            result = cache->cachedImageForObject(*this, path);
    }
    if (result.isNull()) {
        const Size size = sizeOfFirstBitmapRepresentation(*picture);
        BitmapRef bitmap =
            picture->representations().empty() ? nullptr : picture->representations()[0].bitmap;
        rasterisations_.fetch_add(1, std::memory_order_relaxed);
        if (bitmap && bitmap->width() == pixelCount(size.width) &&
            bitmap->height() == pixelCount(size.height) && size.width == bitmap->width() &&
            size.height == bitmap->height()) {
            // Drawing a bitmap onto clear pixels of its own size gives the bitmap: share it.
            result = CIImage::imageWithBitmap(bitmap, colorSpace);
        } else {
            VTLImageWrapper wrapper;
            std::shared_ptr<GraphicsContext> context = wrapper.beginContextWithSize(size, colorSpace, false);
            if (!context) return {};
            picture->drawInRect(*context, Rect(0, 0, size.width, size.height), Rect(), BlendMode::SourceOver,
                                1.0);
            result = wrapper.releaseContextAndCreateCIImage();
        }
        if (cache && !result.isNull()) cache->setCachedImage(result, *this, path, version);
    }
    if (!result.isNull() && (request.xFactor != 1.0 || request.yFactor != 1.0f))
        result = result.imageByApplyingTransform(AffineTransform::scale(request.xFactor, request.yFactor));
    return result;
}

} // namespace vtl
