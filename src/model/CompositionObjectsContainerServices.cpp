// Smaller services of the objects container: names of copies, masks and anchored objects, the
// canvas background and the composition-wide shadow.

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionExtractionQueues.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/Localization.h"

#include <cctype>

namespace vtl {

namespace {

using Container = CompositionObjectsContainer;

std::string copySuffix() {
    return localizedString("_Copy_Suffix");
}

} // namespace

// --- Names of copies. A copy of "Title" is "Title copy", then "Title copy 2", "Title copy 3", …

bool Container::objectWithNameExists(const std::string& name) const {
    for (const auto& object : objects_) {
        if (object->name() == name) return true;
    }
    return false;
}

std::string Container::originalObjectNameOfObjectNamed(const std::string& name) const {
    const std::string suffix = " " + copySuffix();
    const std::size_t at = name.find(suffix);
    if (at == std::string::npos) return name;
    const std::size_t after = at + suffix.size();
    if (after == name.size()) return name.substr(0, at);
    // Only " <decimal number>" may follow the suffix.
    if (name[after] != ' ' || after + 1 == name.size()) return name;
    for (std::size_t i = after + 1; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    }
    return name.substr(0, at);
}

std::string Container::nameOfCopyForObject(const CompositionBaseObject& object) const {
    const std::string base = originalObjectNameOfObjectNamed(object.name()) + " " + copySuffix();
    if (!objectWithNameExists(base)) return base;
    for (unsigned long n = 2;; ++n) {
        std::string candidate = base + " " + std::to_string(n);
        if (!objectWithNameExists(candidate)) return candidate;
    }
}

// --- Masks and anchored objects

bool Container::canUseObjectAsMaskForObject(const CompositionBaseObject& mask,
                                            const CompositionBaseObject& masked) const {
    if (&mask == &masked) return false;
    if (!mask.drawsInPreviewView() || !mask.canBeUsedAsMask() || mask.hasMask() || mask.isAMask() ||
        mask.isTransition() || mask.hasFromTransition() || mask.hasToTransition() ||
        objectIsAnchoredObject(mask))
        return false;
    if (!masked.drawsInPreviewView() || masked.hasMask() || masked.isAMask() || masked.isTransition() ||
        objectIsAnchoredObject(masked))
        return false;
    return true;
}

void Container::establishMaskRelation(const std::shared_ptr<CompositionBaseObject>& mask,
                                      const std::shared_ptr<CompositionBaseObject>& masked) {
    if (!masked) return;
    std::shared_ptr<CompositionBaseObject> previous = masked->maskObject();
    registerUndoAction([this, previous, masked] { establishMaskRelation(previous, masked); });
    if (previous) previous->setMaskForObject(nullptr);
    masked->setMaskObject(mask);
    if (mask) mask->setMaskForObject(masked);
}

std::shared_ptr<CompositionBaseObject>
Container::objectTrackIsAnchoredToBefore(const CompositionBaseObject& object) const {
    std::shared_ptr<CompositionBaseObject> found;
    for (const auto& candidate : objects_) {
        if (candidate->beforeAnchoredObject().get() == &object) found = candidate;
    }
    return found;
}

std::shared_ptr<CompositionBaseObject>
Container::objectTrackIsAnchoredToAfter(const CompositionBaseObject& object) const {
    std::shared_ptr<CompositionBaseObject> found;
    for (const auto& candidate : objects_) {
        if (candidate->afterAnchoredObject().get() == &object) found = candidate;
    }
    return found;
}

bool Container::objectIsAnchoredObject(const CompositionBaseObject& object) const {
    return objectTrackIsAnchoredToBefore(object) || objectTrackIsAnchoredToAfter(object);
}

// --- Appearance

void Container::setBackgroundColor1(const RGBAColor& color) {
    setObservedValue("backgroundColor1", backgroundColor1_, color);
    recacheBackground();
}

void Container::setBackgroundColor2(const RGBAColor& color) {
    setObservedValue("backgroundColor2", backgroundColor2_, color);
    recacheBackground();
}

void Container::setBackgroundKind(int32_t kind) {
    if (kind == backgroundKind_) return;
    setObservedValue("backgroundKind", backgroundKind_, kind);
    recacheBackground();
}

void Container::setBackgroundReflects(bool reflects) {
    setObservedValue("backgroundReflects", backgroundReflects_, reflects);
}

// A canvas smaller than one point keeps the previous background.
void Container::recacheBackground() {
    if (canvasSize_.width < 1.0 || canvasSize_.height < 1.0) return;
    ++backgroundGeneration_;
}

// --- Global shadow

void Container::createGlobalShadow() {
    globalShadowColor_ = RGBAColor{0, 0, 0, 1, false};
    globalShadowAngle_ = 135;
    globalShadowOpacity_ = 0.7f;
    globalShadowDistance_ = 5;
    globalShadowRadius_ = 5;
}

void Container::setGlobalShadowColor(const RGBAColor& color) {
    setObservedValue("globalShadowColor", globalShadowColor_, color);
    invalidateAllObjectsWithGlobalShadow();
}

void Container::setGlobalShadowAngle(float value) {
    setObservedValue("globalShadowAngle", globalShadowAngle_, value);
    invalidateAllObjectsWithGlobalShadow();
}

void Container::setGlobalShadowOpacity(float value) {
    setObservedValue("globalShadowOpacity", globalShadowOpacity_, value);
    invalidateAllObjectsWithGlobalShadow();
}

void Container::setGlobalShadowDistance(float value) {
    setObservedValue("globalShadowDistance", globalShadowDistance_, value);
    invalidateAllObjectsWithGlobalShadow();
}

void Container::setGlobalShadowRadius(float value) {
    setObservedValue("globalShadowRadius", globalShadowRadius_, value);
    invalidateAllObjectsWithGlobalShadow();
}

void Container::invalidateAllObjectsWithGlobalShadow() {
    for (const auto& object : objects_) {
        if (!object->usesGlobalShadow()) continue;
        object->invalidateCachedImage();
        object->invalidate();
    }
}

// --- Extraction queues

void Container::waveformExtractionDone(const std::shared_ptr<CompositionBaseObject>& track) {
    if (track) {
        NotificationCenter::defaultCenter().post(kWaveformGeneratedNotification, this,
                                                 {{kExtractedTrackKey, track}});
        NotificationCenter::defaultCenter().post(kThumbnailsPartiallyGeneratedNotification, this,
                                                 {{kExtractedTrackKey, track}});
    } else if (document_) {
        document_->prepareToShowAudioExtractionProgress();
    }
    CompositionExtractionQueues::shared().waveformExtractionDone(track);
}

void Container::thumbnailGenerationDone(const std::shared_ptr<CompositionBaseObject>& track) {
    if (!track && document_) document_->prepareToShowAudioExtractionProgress();
    CompositionExtractionQueues::shared().thumbnailGenerationDone(track);
}

void Container::takeAudioExtractionProgress(double progress) {
    if (document_) document_->showAudioExtractionProgress(progress);
}

void Container::takeVideoExtractionProgress(double progress) {
    if (document_) document_->showAudioExtractionProgress(progress);
}

} // namespace vtl
