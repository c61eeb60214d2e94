#pragma once
// The registry of the media entries of every open document: copies files into a package on save,
// counts uses, queues unused files for deletion in a clean-up basket per document, carries media
// from one document to another when objects are pasted, and answers free-space questions. One
// instance serves the application (sharedInstance); tests make their own with their own folders and
// file operations. Not thread-safe: main thread only. Documents are not owned.

#include "model/CompositionMediaEntry.h"

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionDocumentServices;
class DocumentMediaManager;

class SharedMediaManager {
public:
    // Paths of the user's movie folder are never queued for deletion.
    static constexpr const char* kProtectedPathPart = "/Movies/";

    SharedMediaManager(std::filesystem::path temporaryResourcesFolder,
                       std::shared_ptr<MediaFileOperations> files = MediaFileOperations::standard());

    static SharedMediaManager& sharedInstance();
    // "<data home>/com.morlunesoftware.vistrel3/TemporaryResources".
    static std::filesystem::path defaultTemporaryResourcesFolder();

    const std::string& uniqueLaunchIdentifier() const { return uniqueLaunchIdentifier_; }
    const std::filesystem::path& temporaryResourcesFolder() const { return temporaryResourcesFolder_; }
    MediaFileOperations& files() const { return *files_; }

    std::string hashStringForDocument(CompositionDocumentServices* document);
    CompositionDocumentServices* documentForHashString(const std::string& hash) const;

    const MediaEntryList& mediaEntries() const { return mediaEntries_; }
    MediaEntryList entriesForDocument(const CompositionDocumentServices* document) const;
    bool isRegistered(const CompositionMediaEntry* entry) const;
    // The document's entry for the file, or a new registered one; copied into the package at
    // once when asked and the document has been saved.
    enum class ResourceCopy { IntoPackage, None };
    std::shared_ptr<CompositionMediaEntry>
    entryForResourceWithFileSystemPath(const std::string& path, CompositionDocumentServices* document,
                                       ResourceCopy copy = ResourceCopy::IntoPackage);
    std::shared_ptr<CompositionMediaEntry>
    entryForResourceWithRelativePath(const std::string& relativePath,
                                     const std::shared_ptr<CompositionMediaEntry>& superEntry,
                                     CompositionDocumentServices* document);
    std::shared_ptr<CompositionMediaEntry>
    entryForResourceWithRelativeFilePath(const std::string& relativePath,
                                         const CompositionDocumentServices* document) const;
    // An object stopped using the entry; at zero uses its file goes into the clean-up basket
    // (when it was copied into the package) and the entry is unregistered.
    void removedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry);
    void cleanupUnusedMedia();

    bool needsToCopyMediaForDocument(const CompositionDocumentServices* document,
                                     const std::filesystem::path& mediaFolder) const;
    std::vector<std::string> notExistingMediaForDocument(const CompositionDocumentServices* document,
                                                         const std::filesystem::path& mediaFolder) const;
    uint64_t sizeOfResourcesNeedingToBeSavedForDocument(const CompositionDocumentServices* document,
                                                        const std::filesystem::path& mediaFolder) const;
    // Copies every missing file into the package's media folder; stops at the first failure and
    // reports it (nothing is deleted). A save must not succeed when this fails.
    Status writeMediaForDocument(const CompositionDocumentServices* document,
                                 const std::filesystem::path& mediaFolder);

    void migrateMediaFromDocumentMediaManager(DocumentMediaManager& manager,
                                              CompositionDocumentServices* document);
    void removeMediaEntriesWithoutSideEffects(const MediaEntryList& entries);
    void removeEntriesForDocument(CompositionDocumentServices* document);
    void addEntries(const MediaEntryList& entries, CompositionDocumentServices* document);
    // The target document's entry for the same media (the same entry, counted once more, within
    // one document). Null with a logged error when the media cannot be found.
    std::shared_ptr<CompositionMediaEntry>
    migratedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry,
                       CompositionDocumentServices* toDocument);

    // The clean-up basket: files to delete when the document closes.
    // A batch holding a protected path is refused whole (logged).
    bool addToCleanUpBasket(const std::vector<std::string>& paths,
                            const CompositionDocumentServices* document);
    void removeFromCleanUpBasket(const std::vector<std::string>& paths,
                                 const CompositionDocumentServices* document);
    std::vector<std::string> cleanUpBasket(const CompositionDocumentServices* document) const;
    // Deletes the queued files that lie inside the document's package or the temporary folder;
    // other paths are left alone. Failures are reported, the rest is still done.
    Status cleanUpResourcesForDocument(const CompositionDocumentServices* document);

    // Entries of documents never saved that name the path.
    std::size_t countInUnsavedDocumentsForResourceWithPath(const std::string& path) const;
    uint64_t sizeOfResourceInMediaEntry(const CompositionMediaEntry& entry) const;
    uint64_t sizeOfAllResourcesInDocument(const CompositionDocumentServices* document) const;
    // More than 1 GB (10^9 bytes) stays free after adding the resource (and, for a document never
    // saved, all its media, which its first save copies).
    bool enoughFreeSpaceForDocument(const CompositionDocumentServices* document,
                                    const std::string& resourcePath) const;

private:
    std::filesystem::path temporaryResourcesFolder_;
    std::shared_ptr<MediaFileOperations> files_;
    std::string uniqueLaunchIdentifier_;
    MediaEntryList mediaEntries_;
    std::map<std::string, CompositionDocumentServices*> documentsDictionary_;
    std::map<const CompositionDocumentServices*, std::string> documentsHashesDictionary_;
    std::map<std::string, std::vector<std::string>> cleanUpBaskets_;
};

} // namespace vtl
