#include "model/SharedMediaManager.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/DocumentMediaManager.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cstdlib>

namespace vtl {

namespace fs = std::filesystem;
using Manager = SharedMediaManager;

Manager::SharedMediaManager(fs::path temporaryResourcesFolder, std::shared_ptr<MediaFileOperations> files)
    : temporaryResourcesFolder_(std::move(temporaryResourcesFolder))
    , files_(std::move(files))
    , uniqueLaunchIdentifier_(makeGloballyUniqueString()) {}

Manager& Manager::sharedInstance() {
    static Manager manager(defaultTemporaryResourcesFolder());
    return manager;
}

fs::path Manager::defaultTemporaryResourcesFolder() {
    fs::path base;
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome && *dataHome) {
        base = dataHome;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = fs::path(home) / ".local" / "share";
    } else {
        base = fs::temp_directory_path();
    }
    return base / "com.morlunesoftware.vistrel3" / "TemporaryResources";
}

std::string Manager::hashStringForDocument(CompositionDocumentServices* document) {
    auto found = documentsHashesDictionary_.find(document);
    if (found != documentsHashesDictionary_.end()) return found->second;
    std::string hash = makeGloballyUniqueString();
    documentsHashesDictionary_[document] = hash;
    documentsDictionary_[hash] = document;
    return hash;
}

CompositionDocumentServices* Manager::documentForHashString(const std::string& hash) const {
    auto found = documentsDictionary_.find(hash);
    return found == documentsDictionary_.end() ? nullptr : found->second;
}

MediaEntryList Manager::entriesForDocument(const CompositionDocumentServices* document) const {
    MediaEntryList out;
    for (const auto& entry : mediaEntries_) {
        if (entry->document() == document) out.push_back(entry);
    }
    return out;
}

bool Manager::isRegistered(const CompositionMediaEntry* entry) const {
    return std::any_of(mediaEntries_.begin(), mediaEntries_.end(),
                       [&](const auto& e) { return e.get() == entry; });
}

std::shared_ptr<CompositionMediaEntry>
Manager::entryForResourceWithFileSystemPath(const std::string& path, CompositionDocumentServices* document,
                                            ResourceCopy copy) {
    for (const auto& entry : mediaEntries_) {
        if (entry->document() == document && entry->fileSystemPath() == path) return entry;
    }
    auto entry = std::make_shared<CompositionMediaEntry>(path, document);
    addEntries({entry}, document);
    if (copy == ResourceCopy::IntoPackage && entry->canCopyToDocument()) {
        if (document) document->showProgressSheet();
        // On failure the entry stays unserialized; the next save copies it or reports the fault.
        if (Status copied = entry->copyToDocument(); !copied)
            logMessage("Copying media failed: " + copied.error());
        if (document) document->hideProgressSheet();
    }
    return entry;
}

std::shared_ptr<CompositionMediaEntry>
Manager::entryForResourceWithRelativePath(const std::string& relativePath,
                                          const std::shared_ptr<CompositionMediaEntry>& superEntry,
                                          CompositionDocumentServices* document) {
    auto entry = std::make_shared<CompositionMediaEntry>(superEntry, relativePath, document);
    addEntries({entry}, document);
    return entry;
}

std::shared_ptr<CompositionMediaEntry>
Manager::entryForResourceWithRelativeFilePath(const std::string& relativePath,
                                              const CompositionDocumentServices* document) const {
    for (const auto& entry : mediaEntries_) {
        if (entry->document() == document && entry->relativePathFromDocumentRoot() == relativePath)
            return entry;
    }
    return nullptr;
}

void Manager::removedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry) {
    if (!entry || !isRegistered(entry.get())) return;
    entry->addToUsageCounter(entry->usageCounter() > 0 ? -1 : 0);
    if (entry->usageCounter() > 0) return;
    if (entry->hasBeenCopiedToDocument()) {
        const auto& super = entry->superEntry();
        if (super && super->usageCounter() == 0 && !super->dataPath().empty()) {
            addToCleanUpBasket({super->dataPath()}, entry->document());
        } else if (!super && !entry->dataPath().empty()) {
            addToCleanUpBasket({entry->dataPath()}, entry->document());
        }
    }
    std::erase(mediaEntries_, entry);
}

void Manager::cleanupUnusedMedia() {
    std::erase_if(mediaEntries_, [](const auto& entry) { return entry->usageCounter() == 0; });
}

std::vector<std::string> Manager::notExistingMediaForDocument(const CompositionDocumentServices* document,
                                                              const fs::path& mediaFolder) const {
    std::vector<std::string> missing;
    for (const auto& entry : entriesForDocument(document)) {
        // A missing file cannot be copied; the rest of the document still saves.
        if (entry->isMissing()) continue;
        if (!files_->exists(mediaFolder / entry->relativePathFromDocumentRoot()))
            missing.push_back(entry->fileSystemPath());
    }
    return missing;
}

bool Manager::needsToCopyMediaForDocument(const CompositionDocumentServices* document,
                                          const fs::path& mediaFolder) const {
    return !notExistingMediaForDocument(document, mediaFolder).empty();
}

uint64_t Manager::sizeOfResourcesNeedingToBeSavedForDocument(const CompositionDocumentServices* document,
                                                             const fs::path& mediaFolder) const {
    uint64_t total = 0;
    for (const std::string& path : notExistingMediaForDocument(document, mediaFolder))
        total += files_->sizeOfResourceAtPath(path);
    return total;
}

Status Manager::writeMediaForDocument(const CompositionDocumentServices* document,
                                      const fs::path& mediaFolder) {
    MediaEntryList work = entriesForDocument(document);
    for (std::size_t i = 0; i < work.size(); ++i) {
        const auto super = work[i]->superEntry();
        if (!super) continue;
        if (std::find(work.begin(), work.end(), super) != work.end()) continue;
        work[i] = super;
    }
    for (const auto& entry : work) {
        if (entry->hasSuperEntry()) continue; // inside its super entry, which is written whole
        if (entry->isMissing()) continue;
        if (files_->exists(mediaFolder / entry->relativePathFromDocumentRoot())) continue;
        if (Status copied = entry->copyToDirectory(mediaFolder); !copied) return copied;
    }
    return {};
}

void Manager::migrateMediaFromDocumentMediaManager(DocumentMediaManager& manager,
                                                   CompositionDocumentServices* document) {
    for (const auto& entry : manager.mediaEntries()) {
        entry->setDocument(document);
        entry->setMediaManager(nullptr);
        entry->setSharedManager(this);
        mediaEntries_.push_back(entry);
    }
}

void Manager::removeMediaEntriesWithoutSideEffects(const MediaEntryList& entries) {
    for (const auto& entry : entries)
        std::erase(mediaEntries_, entry);
}

void Manager::removeEntriesForDocument(CompositionDocumentServices* document) {
    std::erase_if(mediaEntries_, [&](const auto& entry) { return entry->document() == document; });
    auto found = documentsHashesDictionary_.find(document);
    if (found != documentsHashesDictionary_.end()) {
        documentsDictionary_.erase(found->second);
        documentsHashesDictionary_.erase(found);
    }
}

void Manager::addEntries(const MediaEntryList& entries, CompositionDocumentServices* document) {
    for (const auto& entry : entries) {
        entry->setDocument(document);
        entry->setSharedManager(this);
        if (!isRegistered(entry.get())) mediaEntries_.push_back(entry);
    }
}

std::shared_ptr<CompositionMediaEntry>
Manager::migratedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry,
                            CompositionDocumentServices* toDocument) {
    if (!entry) return nullptr;
    if (entry->document() == toDocument) {
        entry->addToUsageCounter(1);
        return entry;
    }
    std::string path = entry->fileSystemPath();
    if (std::optional<fs::path> folder = entry->documentMediaFolder())
        path = (*folder / entry->relativePathFromDocumentRoot()).string();
    auto migrated = entryForResourceWithFileSystemPath(path, toDocument, ResourceCopy::None);
    if (!migrated) logMessage("migration of media entry failed");
    return migrated;
}

bool Manager::addToCleanUpBasket(const std::vector<std::string>& paths,
                                 const CompositionDocumentServices* document) {
    const std::string key = document ? document->identifier() : std::string();
    std::vector<std::string>& basket = cleanUpBaskets_[key];
    for (const std::string& path : paths) {
        if (path.find(kProtectedPathPart) != std::string::npos) {
            logMessage("Attempt to delete " + path);
            return false;
        }
    }
    basket.insert(basket.end(), paths.begin(), paths.end());
    return true;
}

void Manager::removeFromCleanUpBasket(const std::vector<std::string>& paths,
                                      const CompositionDocumentServices* document) {
    auto found = cleanUpBaskets_.find(document ? document->identifier() : std::string());
    if (found == cleanUpBaskets_.end()) return;
    for (const std::string& path : paths) {
        auto at = std::find(found->second.begin(), found->second.end(), path);
        if (at != found->second.end()) found->second.erase(at);
    }
}

std::vector<std::string> Manager::cleanUpBasket(const CompositionDocumentServices* document) const {
    auto found = cleanUpBaskets_.find(document ? document->identifier() : std::string());
    return found == cleanUpBaskets_.end() ? std::vector<std::string>() : found->second;
}

Status Manager::cleanUpResourcesForDocument(const CompositionDocumentServices* document) {
    Status result;
    std::optional<std::string> package = document ? document->packagePath() : std::nullopt;
    for (const std::string& path : cleanUpBasket(document)) {
        const bool inPackage = package && pathIsInsideFolder(path, *package);
        if (!inPackage && !pathIsInsideFolder(path, temporaryResourcesFolder_)) continue;
        if (!files_->exists(path)) continue;
        if (Status removed = files_->remove(path); !removed && result.ok()) result = removed;
    }
    return result;
}

std::size_t Manager::countInUnsavedDocumentsForResourceWithPath(const std::string& path) const {
    return static_cast<std::size_t>(
        std::count_if(mediaEntries_.begin(), mediaEntries_.end(), [&](const auto& entry) {
            return entry->document() && !entry->document()->packagePath() && entry->fileSystemPath() == path;
        }));
}

uint64_t Manager::sizeOfResourceInMediaEntry(const CompositionMediaEntry& entry) const {
    return files_->sizeOfResourceAtPath(entry.fileSystemPath());
}

uint64_t Manager::sizeOfAllResourcesInDocument(const CompositionDocumentServices* document) const {
    uint64_t total = 0;
    for (const auto& entry : entriesForDocument(document))
        total += sizeOfResourceInMediaEntry(*entry);
    return total;
}

bool Manager::enoughFreeSpaceForDocument(const CompositionDocumentServices* document,
                                         const std::string& resourcePath) const {
    double size = static_cast<double>(files_->sizeOfResourceAtPath(resourcePath));
    std::optional<std::string> package = document ? document->packagePath() : std::nullopt;
    std::optional<uint64_t> free;
    if (package) {
        free = files_->freeBytesOfVolume(*package);
    } else {
        free = files_->freeBytesOfVolume("/");
        size += static_cast<double>(sizeOfAllResourcesInDocument(document));
    }
    if (!free) return false;
    return (static_cast<double>(*free) - size) * 1e-9 > 1.0;
}

} // namespace vtl
