#pragma once
// The older per-document list of media entries: still read from older archives (root key
// "mediaManager") and used by documents that keep their media to themselves. Owns its entries;
// the document is not owned. Main thread only.

#include "model/CompositionMediaEntry.h"

namespace vtl {

class DocumentMediaManager : public Archivable {
public:
    explicit DocumentMediaManager(
        CompositionDocumentServices* document = nullptr,
        std::shared_ptr<MediaFileOperations> files = MediaFileOperations::standard())
        : document_(document)
        , files_(std::move(files)) {}

    std::string archivedClassName() const override { return "DocumentMediaManager"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    CompositionDocumentServices* document() const { return document_; }
    void setDocument(CompositionDocumentServices* document) { document_ = document; }
    const MediaEntryList& mediaEntries() const { return mediaEntries_; }
    MediaEntryList& mutableMediaEntries() { return mediaEntries_; }

    std::shared_ptr<CompositionMediaEntry> entryForResourceWithFileSystemPath(const std::string& path);
    std::shared_ptr<CompositionMediaEntry>
    entryForResourceWithRelativePath(const std::string& relativePath,
                                     const std::shared_ptr<CompositionMediaEntry>& superEntry);
    std::shared_ptr<CompositionMediaEntry>
    entryForResourceWithRelativeFilePath(const std::string& relativePath) const;
    // At zero uses the entry leaves the list (no clean-up basket here).
    void removedMediaEntry(const std::shared_ptr<CompositionMediaEntry>& entry);
    void cleanupUnusedMedia();
    bool needsToCopyMediaToPath(const std::filesystem::path& mediaFolder) const;
    // Copies every missing file; reports the first failure after trying all.
    Status writeMediaToPath(const std::filesystem::path& mediaFolder);

private:
    CompositionDocumentServices* document_ = nullptr;
    std::shared_ptr<MediaFileOperations> files_;
    MediaEntryList mediaEntries_;
};

} // namespace vtl
