// Smaller services of the objects container: names of copies, masks and anchored objects, the
// canvas background and the composition-wide shadow.

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/CompositionExtractionQueues.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "model/MediaTrackCapability.h"
#include "model/VisualCapability.h"
#include "platform/foundation/Localization.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace vtl {

namespace {

using Container = CompositionObjectsContainer;

std::string copySuffix() {
    return localizedString("_Copy_Suffix", "Composition");
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
    const VisualCapability* maskVisual = mask.asVisual();
    const VisualCapability* maskedVisual = masked.asVisual();
    if (!maskVisual || !maskedVisual) return false;
    if (!maskVisual->drawsInPreviewView() || !maskVisual->canBeUsedAsMask() || maskVisual->hasMask() ||
        maskVisual->isAMask() || mask.isTransition() || maskVisual->hasFromTransition() ||
        maskVisual->hasToTransition() || objectIsAnchoredObject(mask))
        return false;
    if (!maskedVisual->drawsInPreviewView() || maskedVisual->hasMask() || maskedVisual->isAMask() ||
        masked.isTransition() || objectIsAnchoredObject(masked))
        return false;
    return true;
}

void Container::establishMaskRelation(const std::shared_ptr<CompositionBaseObject>& mask,
                                      const std::shared_ptr<CompositionBaseObject>& masked) {
    VisualCapability* maskedVisual = masked ? masked->asVisual() : nullptr;
    VisualCapability* maskVisual = mask ? mask->asVisual() : nullptr;
    if (!maskedVisual || (mask && !maskVisual)) return;
    std::shared_ptr<CompositionBaseObject> previous = maskedVisual->maskObject();
    registerUndoAction([this, previous, masked] { establishMaskRelation(previous, masked); });
    if (VisualCapability* previousVisual = previous ? previous->asVisual() : nullptr)
        previousVisual->setMaskForObject(nullptr);
    maskedVisual->setMaskObject(mask);
    if (maskVisual) maskVisual->setMaskForObject(masked);
}

std::shared_ptr<CompositionBaseObject>
Container::objectTrackIsAnchoredToBefore(const CompositionBaseObject& object) const {
    std::shared_ptr<CompositionBaseObject> found;
    for (const auto& candidate : objects_) {
        const MediaTrackCapability* track = candidate->asMediaTrack();
        if (track && track->beforeAnchoredObject().get() == &object) found = candidate;
    }
    return found;
}

std::shared_ptr<CompositionBaseObject>
Container::objectTrackIsAnchoredToAfter(const CompositionBaseObject& object) const {
    std::shared_ptr<CompositionBaseObject> found;
    for (const auto& candidate : objects_) {
        const MediaTrackCapability* track = candidate->asMediaTrack();
        if (track && track->afterAnchoredObject().get() == &object) found = candidate;
    }
    return found;
}

bool Container::objectIsAnchoredObject(const CompositionBaseObject& object) const {
    return objectTrackIsAnchoredToBefore(object) || objectTrackIsAnchoredToAfter(object);
}

// --- Project visualizations

namespace {

std::shared_ptr<BaseVisualization> projectVisualizationIn(VisualizationList& list,
                                                          const std::shared_ptr<BaseVisualization>& preset) {
    if (!preset || preset->isProjectCopy || preset->vistrelOwn) return preset;
    for (const auto& copy : list) {
        if (copy->originalVisualizationUID == preset->uid) return copy;
    }
    auto copy = preset->projectCopy();
    list.push_back(copy);
    return copy;
}

} // namespace

std::shared_ptr<BaseVisualization>
Container::projectTextVisualizationForVisualization(const std::shared_ptr<BaseVisualization>& preset) {
    return projectVisualizationIn(projectTextVisualizations_, preset);
}

std::shared_ptr<BaseVisualization>
Container::projectMouseVisualizationForVisualization(const std::shared_ptr<BaseVisualization>& preset) {
    return projectVisualizationIn(projectMouseVisualizations_, preset);
}

std::shared_ptr<BaseVisualization>
Container::visualizationWithOriginalVisualizationUID(const std::string& uid, const VisualizationList& list) {
    std::shared_ptr<BaseVisualization> found;
    for (const auto& entry : list) {
        if (entry->originalVisualizationUID != uid) continue;
        if (found) return nullptr;
        found = entry;
    }
    return found;
}

void Container::recacheVisualizations() {
    std::set<const BaseVisualization*> textInUse, mouseInUse;
    std::set<std::string> textUids, mouseUids;
    for (const auto& object : objects_) {
        const VisualCapability* visual = object->asVisual();
        if (!visual) continue;
        if (auto text = visual->textVisualization(); text && !text->anonymous()) {
            textInUse.insert(text.get());
            textUids.insert(text->uid);
        }
        if (auto mouse = visual->mouseVisualization()) {
            mouseInUse.insert(mouse.get());
            mouseUids.insert(mouse->uid);
        }
    }
    // A copy counts as used when an object uses it or the preset it was copied from.
    std::erase_if(projectTextVisualizations_, [&](const auto& copy) {
        const bool used = textInUse.count(copy.get()) ||
                          (copy->originalVisualizationUID && textUids.count(*copy->originalVisualizationUID));
        return !copy->anonymous() && !used;
    });
    std::erase_if(projectMouseVisualizations_, [&](const auto& copy) {
        return !mouseInUse.count(copy.get()) &&
               !(copy->originalVisualizationUID && mouseUids.count(*copy->originalVisualizationUID));
    });
    auto byName = [](const auto& a, const auto& b) { return a->name() < b->name(); };
    std::stable_sort(projectTextVisualizations_.begin(), projectTextVisualizations_.end(), byName);
    std::stable_sort(projectMouseVisualizations_.begin(), projectMouseVisualizations_.end(), byName);
}

// --- Appearance

BackgroundKind backgroundKindFromNumber(int32_t number) {
    if (number == static_cast<int32_t>(BackgroundKind::LinearGradient)) return BackgroundKind::LinearGradient;
    if (number == static_cast<int32_t>(BackgroundKind::RadialGradient)) return BackgroundKind::RadialGradient;
    return BackgroundKind::None;
}

void Container::setBackgroundColor1(const RGBAColor& color) {
    setObservedValue("backgroundColor1", backgroundColor1_, color);
    recacheBackground();
}

void Container::setBackgroundColor2(const RGBAColor& color) {
    setObservedValue("backgroundColor2", backgroundColor2_, color);
    recacheBackground();
}

void Container::setBackgroundKind(BackgroundKind kind) {
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
        VisualCapability* visual = object->asVisual();
        if (!visual || !visual->usesGlobalShadow()) continue;
        visual->invalidateCachedImage();
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
