#include "document/CompositionDocument.h"

#include "document/CompositionDocumentWindow.h"
#include "document/UsageStatistics.h"
#include "editing/EditingState.h"
#include "model/CompositionBaseObject.h"
#include "platform/foundation/DispatchTimer.h"

#include <algorithm>

namespace vtl {

CompositionDocument::CompositionDocument()
    : container_(makeModelObject<CompositionObjectsContainer>())
    , undoManager_(std::make_unique<CompositionUndoManager>()) {
    container_->setDocument(this);
    startLife();
}

std::unique_ptr<CompositionDocument> CompositionDocument::makeNewDocument() {
    auto document = std::make_unique<CompositionDocument>();
    document->container_->increaseNumberOfTracksTo(2);
    document->undoManager_->removeAllActions();
    return document;
}

CompositionDocument::CompositionDocument(std::shared_ptr<CompositionObjectsContainer> container)
    : container_(container ? std::move(container) : makeModelObject<CompositionObjectsContainer>())
    , undoManager_(std::make_unique<CompositionUndoManager>()) {
    container_->setDocument(this);
    startLife();
}

CompositionDocument::~CompositionDocument() {
    notificationObservers_.clear();
    if (snippetCacheTimer_) snippetCacheTimer_->cancel();
    stopObservingContainer();
    undoManager_.reset();
    if (container_->document() == this) container_->setDocument(nullptr);
}

void CompositionDocument::countStatistic(const std::string& key) const {
    if (statistics_) statistics_->count(key);
}

void CompositionDocument::setFileURL(std::optional<std::string> path) {
    const bool samePath = fileURL_ && path && *fileURL_ == *path;
    fileURL_ = std::move(path);
    if (samePath) container_->reinitializeAfterPathChanged();
}

std::string CompositionDocument::identifier() const {
    if (identifier_.empty()) identifier_ = makeGloballyUniqueString();
    return identifier_;
}

std::optional<double> CompositionDocument::currentTime() const {
    return window_ ? std::optional<double>(window_->editingState().currentTime()) : std::nullopt;
}

double CompositionDocument::documentDuration() const {
    double duration = 0;
    for (const auto& object : container_->cachedOnlyObjects())
        duration = std::max(duration, object->snapEndTime());
    return duration;
}

} // namespace vtl
