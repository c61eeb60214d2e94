#include "model/CompositionMediaEntry.h"

#include "model/CompositionBaseObject.h"
#include "model/CompositionDocumentServices.h"
#include "model/DocumentMediaManager.h"
#include "model/SharedMediaManager.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

#include <algorithm>
#include <cstdio>

namespace vtl {

namespace fs = std::filesystem;
using Entry = CompositionMediaEntry;

namespace {

std::string uniqueNameWithExtensionOf(const std::string& path) {
    return makeGloballyUniqueString() + fs::path(path).extension().string();
}

// A path stored in a document names a place inside the package only when it is relative and
// never climbs out with "..".
bool staysInsideItsFolder(const std::string& relative) {
    const fs::path path(relative);
    if (path.empty() || path.has_root_path()) return false;
    return std::none_of(path.begin(), path.end(), [](const fs::path& part) { return part == ".."; });
}

} // namespace

Entry::CompositionMediaEntry(const std::string& fileSystemPath, CompositionDocumentServices* document)
    : fileSystemPath_(fileSystemPath)
    , relativePathFromDocumentRoot_(uniqueNameWithExtensionOf(fileSystemPath))
    , document_(document) {}

Entry::CompositionMediaEntry(std::shared_ptr<CompositionMediaEntry> superEntry,
                             const std::string& relativePath, CompositionDocumentServices* document)
    : document_(document)
    , superEntry_(std::move(superEntry))
    , relativePathFromSuperEntry_(relativePath) {}

SharedMediaManager& Entry::sharedManager() const {
    return sharedManager_ ? *sharedManager_ : SharedMediaManager::sharedInstance();
}

MediaFileOperations& Entry::files() const {
    return sharedManager().files();
}

std::string Entry::fileSystemPath() const {
    return superEntry_ ? superEntry_->fileSystemPath() : fileSystemPath_;
}

std::string Entry::relativePathFromDocumentRoot() const {
    return superEntry_ ? superEntry_->relativePathFromDocumentRoot() : relativePathFromDocumentRoot_;
}

void Entry::setDocument(CompositionDocumentServices* document) {
    document_ = document;
    if (superEntry_) superEntry_->setDocument(document);
}

void Entry::setHasBeenSerialized(bool serialized) {
    hasBeenSerialized_ = serialized;
    if (superEntry_) superEntry_->setHasBeenSerialized(serialized);
}

std::optional<fs::path> Entry::documentMediaFolder() const {
    if (!document_) return std::nullopt;
    std::optional<std::string> package = document_->packagePath();
    if (!package) return std::nullopt;
    return fs::path(*package) / kMediaFolderName;
}

std::string Entry::dataPath() const {
    if (isMissing()) return {};
    if (superEntry_) return (fs::path(superEntry_->dataPath()) / relativePathFromSuperEntry_).string();
    if (hasBeenSerialized_) {
        if (std::optional<fs::path> folder = documentMediaFolder())
            return (*folder / relativePathFromDocumentRoot_).string();
    }
    return fileSystemPath_;
}

uint32_t Entry::addToUsageCounter(int32_t delta) {
    if (delta > 0) {
        SharedMediaManager& manager = sharedManager();
        manager.removeFromCleanUpBasket({dataPath()}, document_);
        if (!manager.isRegistered(this)) manager.addEntries({shared_from_this()}, document_);
    }
    if (superEntry_) superEntry_->addToUsageCounter(delta);
    const int64_t sum = static_cast<int64_t>(usageCounter_) + delta;
    usageCounter_ = sum < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(sum, UINT32_MAX));
    return usageCounter_;
}

bool Entry::hasBeenCopiedToDocument() const {
    return superEntry_ ? superEntry_->hasBeenCopiedToDocument() : hasBeenSerialized_;
}

bool Entry::canCopyToDocument() const {
    return documentMediaFolder().has_value();
}

Status Entry::copyToDocument() {
    if (superEntry_) return {};
    if (isMissing()) return fail("The media file " + relativePathFromDocumentRoot_ + " is missing.");
    std::optional<fs::path> folder = documentMediaFolder();
    if (!folder) return fail("The document has not been saved yet.");
    if (Status created = files().createDirectories(*folder); !created) return created;
    const fs::path target = *folder / relativePathFromDocumentRoot_;
    Status result = isInTmp_ ? files().move(fileSystemPath_, target) : files().copy(fileSystemPath_, target);
    if (!result) return result;
    isInTmp_ = false;
    setHasBeenSerialized(true);
    return {};
}

Status Entry::copyToDirectory(const fs::path& folder) {
    if (superEntry_) return {};
    if (isMissing()) return fail("The media file " + relativePathFromDocumentRoot_ + " is missing.");
    const std::string source = dataPath();
    if (!files().exists(source)) return fail("The media file " + source + " is missing.");
    Status result = files().copy(source, folder / relativePathFromDocumentRoot_);
    if (!result) return result;
    setHasBeenSerialized(true);
    return {};
}

Status Entry::moveToTmp() {
    if (isInTmp_) return {};
    if (isMissing()) return fail("The media file " + relativePathFromDocumentRoot_ + " is missing.");
    if (superEntry_) return superEntry_->moveToTmp();
    const fs::path folder = sharedManager().temporaryResourcesFolder();
    if (Status created = files().createDirectories(folder); !created) return created;
    const std::string source = dataPath();
    const fs::path target = folder / uniqueNameWithExtensionOf(source);
    if (Status copied = files().copy(source, target); !copied) return copied;
    fileSystemPath_ = target.string();
    hasBeenSerialized_ = false;
    isInTmp_ = true;
    return {};
}

std::string Entry::description() const {
    char buffer[1024];
    std::snprintf(
        buffer, sizeof buffer,
        "<%s: %p>\n  fileSystemPath %s\n  relativePathFromDocumentRoot %s\n  relativePathFromSuperEntry %s\n"
        "  superEntry %p\n  document %p at %s\n  ** usageCounter %d hasBeenSerialized %s **",
        archivedClassName().c_str(), static_cast<const void*>(this), fileSystemPath().c_str(),
        relativePathFromDocumentRoot().c_str(), relativePathFromSuperEntry_.c_str(),
        static_cast<const void*>(superEntry_.get()), static_cast<const void*>(document_),
        document_ && document_->packagePath() ? document_->packagePath()->c_str() : "(null)",
        static_cast<int>(usageCounter_), hasBeenSerialized_ ? "YES" : "NO");
    return buffer;
}

void Entry::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeString("key_fileSystemPath", fileSystemPath_);
    coder.encodeString("key_relativeDocumentPath", relativePathFromDocumentRoot_);
    coder.encodeObject("key_hasBeenSerialized", ArchivedValue(hasBeenSerialized_));
    coder.encodeInt32("key_usageCounter", static_cast<int32_t>(usageCounter_));
    if (superEntry_) coder.encodeObject("key_superEntry", ArchivedValue(superEntry_));
    if (!relativePathFromSuperEntry_.empty())
        coder.encodeString("key_relativePathFromSuperEntry", relativePathFromSuperEntry_);
}

void Entry::initWithCoder(KeyedUnarchiver& coder) {
    fileSystemPath_ = coder.decodeStringForKey("key_fileSystemPath").value_or("");
    relativePathFromDocumentRoot_ = coder.decodeStringForKey("key_relativeDocumentPath").value_or("");
    // Entries of older archives were always in the package.
    hasBeenSerialized_ = coder.containsValueForKey("key_hasBeenSerialized")
                             ? coder.decodeNumberForKey("key_hasBeenSerialized").value_or(1) != 0
                             : true;
    const int32_t counter = coder.decodeInt32ForKey("key_usageCounter");
    usageCounter_ = counter < 0 ? 0 : static_cast<uint32_t>(counter);
    superEntry_ = coder.decodeObjectOfClass<CompositionMediaEntry>("key_superEntry");
    // A damaged archive could make the chain of super entries loop back to this entry.
    for (const CompositionMediaEntry* up = superEntry_.get(); up; up = up->superEntry_.get()) {
        if (up == this) {
            superEntry_.reset();
            break;
        }
    }
    relativePathFromSuperEntry_ = coder.decodeStringForKey("key_relativePathFromSuperEntry").value_or("");
    // A damaged archive's path must not lead saving or clean-up outside the package (an empty one
    // would name the media folder itself). Such an entry gets a name of its own; its media is
    // then reported missing rather than sought elsewhere.
    if (!superEntry_ && !staysInsideItsFolder(relativePathFromDocumentRoot_))
        relativePathFromDocumentRoot_ = uniqueNameWithExtensionOf(fileSystemPath_);
    if (!relativePathFromSuperEntry_.empty() && !staysInsideItsFolder(relativePathFromSuperEntry_))
        relativePathFromSuperEntry_.clear();
    mediaManager_ = coder.decodeObjectOfClass<DocumentMediaManager>("key_mediaManager").get();
}

} // namespace vtl
