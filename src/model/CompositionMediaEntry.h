#pragma once
// A reference to a media file a composition uses: where it came from, its name inside the
// package's "media" folder, how many objects use it, whether it was copied into the package, and
// the entry whose folder contains it (a file inside a recording package). Registered with the
// shared media manager (which owns it); the document and the older manager are not owned. Main
// thread only.

#include "model/MediaFileOperations.h"
#include "platform/foundation/KeyedArchivable.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class CompositionDocumentServices;
class DocumentMediaManager;
class SharedMediaManager;

class CompositionMediaEntry : public Archivable, public std::enable_shared_from_this<CompositionMediaEntry> {
public:
    static constexpr const char* kMediaFolderName = "media";

    CompositionMediaEntry() = default;
    // A top-level entry with a new globally unique media file name (keeping the extension).
    CompositionMediaEntry(const std::string& fileSystemPath, CompositionDocumentServices* document);
    // An entry inside a super entry's folder.
    CompositionMediaEntry(std::shared_ptr<CompositionMediaEntry> superEntry, const std::string& relativePath,
                          CompositionDocumentServices* document);

    std::string archivedClassName() const override { return "CompositionMediaEntry"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // With a super entry these come from it.
    std::string fileSystemPath() const;
    std::string relativePathFromDocumentRoot() const;
    const std::string& relativePathFromSuperEntry() const { return relativePathFromSuperEntry_; }
    bool hasSuperEntry() const { return superEntry_ != nullptr; }
    const std::shared_ptr<CompositionMediaEntry>& superEntry() const { return superEntry_; }
    void setSuperEntry(std::shared_ptr<CompositionMediaEntry> entry) { superEntry_ = std::move(entry); }
    CompositionDocumentServices* document() const { return document_; }
    // Also for the super entry.
    void setDocument(CompositionDocumentServices* document);
    DocumentMediaManager* mediaManager() const { return mediaManager_; }
    void setMediaManager(DocumentMediaManager* manager) { mediaManager_ = manager; }
    // The manager that registers entries of documents (the application-wide one by default).
    void setSharedManager(SharedMediaManager* manager) { sharedManager_ = manager; }
    SharedMediaManager& sharedManager() const;

    // Where the file is now: inside the super entry's, in the package once copied there, else
    // where it was imported.
    // Empty for a missing entry.
    std::string dataPath() const;
    // An entry whose file is not inside the package it was read from (gone, or a name or link
    // leading out of "media") is missing: its file is never read, copied or deleted. Not stored.
    bool isMissing() const { return missing_ || (superEntry_ && superEntry_->isMissing()); }
    void setMissing(bool missing) { missing_ = missing; }
    // The media folder of the package of this entry's document, when the document was saved.
    std::optional<std::filesystem::path> documentMediaFolder() const;

    uint32_t usageCounter() const { return usageCounter_; }
    // The new counter, never below 0. A use takes the file out of the clean-up basket and
    // registers the entry again; the super entry counts along.
    uint32_t addToUsageCounter(int32_t delta);

    bool hasBeenSerialized() const { return hasBeenSerialized_; }
    // Also for the super entry.
    void setHasBeenSerialized(bool serialized);
    bool hasBeenCopiedToDocument() const;
    bool canCopyToDocument() const;
    bool isInTmp() const { return isInTmp_; }

    // Copies (or, from the temporary folder, moves) the file into the package. The entry counts as
    // serialized only when the file is there.
    Status copyToDocument();
    // Copies the file into the folder under its media name.
    Status copyToDirectory(const std::filesystem::path& folder);
    // Copies the file into the temporary-resources folder (pasting into another document).
    Status moveToTmp();

    std::string description() const;

private:
    MediaFileOperations& files() const;

    std::string fileSystemPath_;
    std::string relativePathFromDocumentRoot_;
    uint32_t usageCounter_ = 0;
    bool hasBeenSerialized_ = false;
    bool isInTmp_ = false;
    bool missing_ = false;
    DocumentMediaManager* mediaManager_ = nullptr;
    CompositionDocumentServices* document_ = nullptr;
    SharedMediaManager* sharedManager_ = nullptr;
    std::shared_ptr<CompositionMediaEntry> superEntry_;
    std::string relativePathFromSuperEntry_;
};

using MediaEntryList = std::vector<std::shared_ptr<CompositionMediaEntry>>;

} // namespace vtl
