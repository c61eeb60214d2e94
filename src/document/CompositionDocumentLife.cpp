#include "document/CompositionDocument.h"
#include "document/CompositionDocumentController.h"
#include "document/CompositionDocumentWindow.h"
#include "editing/EditingState.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionChapterMark.h"
#include "model/CompositionExtractionQueues.h"
#include "model/CompositionModelNotifications.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Log.h"
#include "tracks/CompositionTrackObject.h"

#include <algorithm>

namespace vtl {

namespace {

// The snippet previews are dropped a moment after the objects change, once per burst of changes.
constexpr double snippetCacheDelaySeconds = 0.01;
inline constexpr const char* deselectAllNotification = "VistrelDeselectAllNotification";

} // namespace

void CompositionDocument::startLife() {
    observeContainer();
    NotificationCenter& center = NotificationCenter::defaultCenter();
    notificationObservers_.emplace_back(
        center, center.addObserver(UndoManager::didUndoChangeNotification, undoManager_.get(),
                                   [this](const Notification&) {
                                       NotificationCenter::defaultCenter().post(kObjectChangedNotification,
                                                                                container_.get());
                                       updateSequencerView();
                                   }));
    notificationObservers_.emplace_back(
        center, center.addObserver(deselectAllNotification, nullptr, [this](const Notification& note) {
            if (note.object != container_.get()) return;
            if (window_) window_->editingState().setSelectedObjects({});
        }));
}

void CompositionDocument::observeContainer() {
    auto* self = this;
    containerObservations_.push_back(
        container_->addObserver("objects", KeyValueObservingOptions::newValue, self,
                                [self](const KeyValueChange&) { self->objectsOfContainerChanged(); }));
    containerObservations_.push_back(
        container_->addObserver("canvasSize", KeyValueObservingOptions::none, self,
                                [self](const KeyValueChange&) { self->snippetPreviewCache_ = {}; }));
}

void CompositionDocument::stopObservingContainer() {
    for (ObservableObject::Token token : containerObservations_)
        container_->removeObserver(token);
    containerObservations_.clear();
}

void CompositionDocument::objectsOfContainerChanged() {
    auto gone = [&](const std::weak_ptr<CompositionBaseObject>& weak) {
        std::shared_ptr<CompositionBaseObject> object = weak.lock();
        return object && !container_->containsObject(object.get());
    };
    if (gone(lastAddedShape_)) lastAddedShape_.reset();
    if (gone(lastAddedText_)) lastAddedText_.reset();
    if (snippetCacheTimer_) snippetCacheTimer_->cancel();
    auto* self = this;
    snippetCacheTimer_ = DispatchTimer::scheduleOnce(
        snippetCacheDelaySeconds, [self] { self->snippetPreviewCache_ = {}; }, DispatchQueue::mainQueue());
}

void CompositionDocument::replaceContainer(std::shared_ptr<CompositionObjectsContainer> container) {
    if (!container || container == container_) return;
    stopObservingContainer();
    if (container_->document() == this) container_->setDocument(nullptr);
    container_ = std::move(container);
    container_->setDocument(this);
    observeContainer();
}

std::map<std::string, std::string>& CompositionDocument::recentlyUsedVoices() {
    hasRecentlyUsedVoices_ = true;
    return CompositionDocumentServices::recentlyUsedVoices();
}

void CompositionDocument::setMostRecentLanguageName(const std::string& name) {
    if (name != mostRecentLanguageName()) CompositionDocumentServices::setMostRecentLanguageName(name);
}

void CompositionDocument::setCurrentExportProgress(double progress) {
    currentExportProgress_ = progress;
    if (documentController_) documentController_->exportStateChanged(this);
}

void CompositionDocument::updatePreviewView() {
    if (window_) window_->updatePreviewView();
}

void CompositionDocument::updateSequencerView() {
    if (window_) window_->updateSequencerView();
}

void CompositionDocument::makeWindowControllers(CompositionDocumentWindow* window) {
    window_ = window;
    if (!window_) return;
    WindowHandOver handOver = std::exchange(windowHandOver_, {});
    if (handOver.pixelsPerSecond) window_->setPixelsPerSecond(*handOver.pixelsPerSecond);
    if (handOver.expandedCollapsedPropertyViewStates)
        window_->setExpandedCollapsedPropertyViewStates(*handOver.expandedCollapsedPropertyViewStates);
    if (handOver.horizontalGuides || handOver.verticalGuides)
        window_->setGuides(handOver.horizontalGuides.value_or(std::vector<double>()),
                           handOver.verticalGuides.value_or(std::vector<double>()));
    bool frameRestored = false;
    if (handOver.windowFrameDictionary) {
        const PlistDictionary& frame = *handOver.windowFrameDictionary;
        const PropertyList* screen = frame.find("screenSize");
        const PropertyList* rect = frame.find("windowFrame");
        const std::optional<Size> screenSize =
            screen && screen->stringValue() ? parseSize(*screen->stringValue()) : std::nullopt;
        const std::optional<Rect> windowFrame =
            rect && rect->stringValue() ? parseRect(*rect->stringValue()) : std::nullopt;
        // A frame saved on a screen of another size would not fit this one.
        if (screenSize && windowFrame && *screenSize == window_->screenSize()) {
            window_->setWindowFrame(*windowFrame);
            frameRestored = true;
        }
    }
    container_->setLanguageScript(-1);
    window_->contentViewDidAddToSuperView();
    if (!frameRestored) window_->resizeWindowToGoodInitialSize();
    auto* self = this;
    DispatchQueue::mainQueue()->async([self, alive = std::weak_ptr<CompositionObjectsContainer>(container_)] {
        if (alive.expired() || self->tornDown_) return;
        NotificationCenter::defaultCenter().post(kChapterMarksChangedNotification, self);
    });
    if (needsToRedoThumbs_) container_->waveformExtractionDone(nullptr);
}

void CompositionDocument::tearDown() {
    if (tornDown_) return;
    tornDown_ = true;
    if (!fileURL_) countStatistic("Recording_InitialSavedCancelled");
    if (snippetCacheTimer_) snippetCacheTimer_->cancel();
    if (window_) {
        window_->clearInspector();
        window_->hideAllMenus();
    }
    // Only a track of this composition: another document's extraction goes on.
    if (std::shared_ptr<CompositionTrackObject> extracting =
            CompositionTrackObject::currentlyExtractingTrack()) {
        if (container_->containsObject(extracting.get())) extracting->cancelExtraction();
    }
    container_->interruptExtraction();
    SharedMediaManager& media = sharedMediaManager();
    if (Status cleaned = media.cleanUpResourcesForDocument(this); !cleaned) logMessage(cleaned.error());
    media.removeEntriesForDocument(this);
    CompositionExtractionQueues& queues = CompositionExtractionQueues::shared();
    for (const auto& object : container_->allObjects()) {
        queues.removeVideoTrack(object.get());
        queues.removeAudioTrack(object.get());
    }
    NotificationUserInfo info;
    info["currentTime"] = currentTime().value_or(0.0);
    NotificationCenter::defaultCenter().post("didStopPlay", container_.get(), std::move(info));
    if (window_) {
        if (window_->isPlaying()) window_->stopPlay();
        window_->editingState().setSelectedObjects({});
    }
    notificationObservers_.clear();
    if (window_) window_->tearDown();
    window_ = nullptr;
    stopObservingContainer();
    identifier_.clear();
    CompositionDocumentServices::recentlyUsedVoices().clear();
    hasRecentlyUsedVoices_ = false;
    CompositionDocumentServices::setMostRecentLanguageName({});
    snippetPreviewCache_ = {};
    container_->tearDownObjects();
    container_->resumeExtraction();
}

} // namespace vtl
