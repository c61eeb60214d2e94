#include "model/DocumentMediaManager.h"

#include "model/CompositionDocumentServices.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

#include <algorithm>

namespace vtl {

namespace fs = std::filesystem;

std::shared_ptr<CompositionMediaEntry>
DocumentMediaManager::entryForResourceWithFileSystemPath(const std::string& path) {
    for (const auto& entry : mediaEntries_) {
        if (entry->fileSystemPath() == path) return entry;
    }
    auto entry = std::make_shared<CompositionMediaEntry>(path, document_);
    entry->setMediaManager(this);
    mediaEntries_.push_back(entry);
    if (entry->canCopyToDocument()) {
        if (document_) document_->showProgressSheet();
        if (Status copied = entry->copyToDocument(); !copied)
            logMessage("Copying media failed: " + copied.error());
        if (document_) document_->hideProgressSheet();
    }
    return entry;
}

std::shared_ptr<CompositionMediaEntry> DocumentMediaManager::entryForResourceWithRelativePath(
    const std::string& relativePath, const std::shared_ptr<CompositionMediaEntry>& superEntry) {
    auto entry = std::make_shared<CompositionMediaEntry>(superEntry, relativePath, document_);
    entry->setMediaManager(this);
    mediaEntries_.push_back(entry);
    return entry;
}

std::shared_ptr<CompositionMediaEntry>
DocumentMediaManager::entryForResourceWithRelativeFilePath(const std::string& relativePath) const {
    for (const auto& entry : mediaEntries_) {
        if (entry->relativePathFromDocumentRoot() == relativePath) return entry;
    }
    return nullptr;
}

void DocumentMediaManager::removedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    if (!entry) return;
    if (entry->usageCounter() > 0) entry->addToUsageCounter(-1);
    if (entry->usageCounter() == 0) std::erase(mediaEntries_, entry);
}

void DocumentMediaManager::cleanupUnusedMedia() {
    std::erase_if(mediaEntries_, [](const auto& entry) { return entry->usageCounter() == 0; });
}

bool DocumentMediaManager::needsToCopyMediaToPath(const fs::path& mediaFolder) const {
    return std::any_of(mediaEntries_.begin(), mediaEntries_.end(), [&](const auto& entry) {
        return !files_->exists(mediaFolder / entry->relativePathFromDocumentRoot());
    });
}

Status DocumentMediaManager::writeMediaToPath(const fs::path& mediaFolder) {
    Status first;
    for (const auto& entry : mediaEntries_) {
        if (entry->hasSuperEntry() || files_->exists(mediaFolder / entry->relativePathFromDocumentRoot()))
            continue;
        if (Status copied = entry->copyToDirectory(mediaFolder); !copied && first.ok()) first = copied;
    }
    return first;
}

void DocumentMediaManager::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeArray("key_mediaEntries", mediaEntries_);
}

void DocumentMediaManager::initWithCoder(KeyedUnarchiver& coder) {
    mediaEntries_ = coder.decodeArrayOfObjects<CompositionMediaEntry>("key_mediaEntries");
    for (const auto& entry : mediaEntries_)
        entry->setMediaManager(this);
}

} // namespace vtl
