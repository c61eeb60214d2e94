#include "document/CompositionDocument.h"
#include "document/CompositionDocumentWindow.h"
#include "document/DocumentOpening.h"
#include "document/DocumentPackage.h"
#include "document/DocumentPackageFiles.h"
#include "document/LegacyMovieConverter.h"
#include "model/CompositionBaseObject.h"
#include "model/CompositionChapterMark.h"
#include "model/CompositionExtractionQueues.h"
#include "model/DocumentMediaManager.h"
#include "model/SharedMediaManager.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/CompositionShapeObject.h"
#include "objects/CompositionTextObject.h"
#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/FileHandle.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StaleTemporaries.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/GraphicsContext.h"
#include "render/VTLObjectsContainerImageGenerator.h"
#include "tracks/CompositionGeneratedSpeechTrackObject.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <system_error>

namespace vtl {

namespace fs = std::filesystem;

namespace {

// Share of the media size that must be free before media are copied into a package.
constexpr double freeSpaceFactor = 1.5;
// Free space needed to convert legacy movies, as a multiple of their size.
constexpr double conversionSpaceFactor = 15;
// Longest side in pixels of the frame drawn into the package icon.
constexpr double maximumIconFrameSide = 2048;

// Names an interrupted save may leave in a package folder or its media folder.
bool isSaveLeftover(const std::string& name) {
    return name.rfind(kPackageTemporaryPrefix, 0) == 0 || name.rfind(".partial-", 0) == 0;
}

void removeSaveLeftovers(DocumentPackageFiles& files, const fs::path& folder) {
    std::error_code error;
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (isSaveLeftover(it->path().filename().string())) leftovers.push_back(it->path());
    }
    for (const fs::path& path : leftovers) {
        if (Status removed = files.removeTree(path); !removed) logMessage(removed.error());
    }
}

// Media entry values to put back when a save fails, so entries never point at copies that the
// failed save took away again.
struct SerializedFlags {
    std::vector<std::pair<std::shared_ptr<CompositionMediaEntry>, bool>> flags;
    explicit SerializedFlags(const MediaEntryList& entries) {
        for (const auto& entry : entries)
            flags.emplace_back(entry, entry->hasBeenSerialized());
    }
    void restore() const {
        for (const auto& [entry, serialized] : flags)
            entry->setHasBeenSerialized(serialized);
    }
};

// Whether an entry read from a package names a plain file or folder inside the package's media
// folder (links followed); not when it leaves it, is not there, or is a fifo or device.
bool entryResolvesInside(const CompositionMediaEntry& entry, const fs::path& mediaFolder) {
    std::error_code error;
    const fs::path realFolder = fs::canonical(mediaFolder, error);
    if (error) return false;
    fs::path candidate;
    if (const auto& super = entry.superEntry()) {
        const fs::path relative(entry.relativePathFromSuperEntry());
        if (relative.empty() || relative.is_absolute()) return false;
        for (const auto& part : relative)
            if (part == "..") return false;
        if (!entryResolvesInside(*super, mediaFolder)) return false;
        candidate = mediaFolder / super->relativePathFromDocumentRoot() / relative;
    } else {
        if (!isPlainEntryName(entry.relativePathFromDocumentRoot())) return false;
        candidate = mediaFolder / entry.relativePathFromDocumentRoot();
    }
    const fs::path real = fs::canonical(candidate, error);
    if (error) return false;
    // A fifo or device is never opened as media: opening it could wait for ever.
    const fs::file_status status = fs::status(real, error);
    if (error || !(fs::is_regular_file(status) || fs::is_directory(status))) return false;
    return pathIsInsideFolder(real, realFolder);
}

// Bytes the copies into the media folder will take: each entry still to copy, read from where its
// data is now (another package, the temporary folder or the imported file), a package whole.
std::uint64_t bytesToCopyInto(const SharedMediaManager& media, const CompositionDocumentServices* document,
                              const fs::path& mediaFolder) {
    std::set<const CompositionMediaEntry*> counted;
    std::uint64_t total = 0;
    for (std::shared_ptr<CompositionMediaEntry> entry : media.entriesForDocument(document)) {
        while (entry->superEntry())
            entry = entry->superEntry();
        if (entry->isMissing() || !counted.insert(entry.get()).second) continue;
        if (media.files().exists(mediaFolder / entry->relativePathFromDocumentRoot())) continue;
        total += media.files().sizeOfResourceAtPath(entry->dataPath());
    }
    return total;
}

} // namespace

// --- Collaborators

DocumentPackageFiles& CompositionDocument::packageFiles() const {
    return packageFiles_ ? *packageFiles_ : *DocumentPackageFiles::standard();
}

std::string CompositionDocument::generatedSpeechBasePath() const {
    if (!fileURL_) return CompositionDocumentServices::generatedSpeechBasePath();
    const fs::path inPackage = fs::path(*fileURL_) / package::speechFolderName;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(inPackage, error))) return inPackage.string();
    // A link in the package's place is never followed: until a save replaces it with a folder the
    // speech lives where it would without a package.
    fs::path temporary = fs::temp_directory_path(error);
    if (error) temporary = "/tmp";
    return (temporary / package::speechFolderName).string();
}

void CompositionDocument::showProgressSheet() {
    ++copyBundleProgressSheetUseCounter_;
}

void CompositionDocument::hideProgressSheet() {
    if (copyBundleProgressSheetUseCounter_ == 0) {
        logMessage("The copy progress sheet was hidden more often than shown.");
        return;
    }
    --copyBundleProgressSheetUseCounter_;
}

// --- Saving

Status CompositionDocument::saveCancelled() const {
    if (saveCancellation_ && saveCancellation_()) return fail("The save was cancelled.");
    return {};
}

Status CompositionDocument::writeSafelyToURL(const std::string& path, PackageIcon icon) {
    if (!fileURL_) countStatistic("Recording_InitialSaved");
    if (window_) window_->takeValuesFromInspector();
    container_->interruptExtraction();
    struct ResumeExtraction {
        CompositionObjectsContainer& container;
        ~ResumeExtraction() { container.resumeExtraction(); }
    } resume{*container_};

    const fs::path target = fs::path(path).lexically_normal();
    if (target.filename().empty()) return fail("The package path " + path + " names no package.");
    std::error_code error;
    // A link in the package's place is never written through, whatever it leads to.
    const fs::file_status existing = fs::symlink_status(target, error);
    if (fs::is_symlink(existing)) return fail("Cannot save to " + path + ": it is a link, not a package.");
    if (fs::exists(existing) && !fs::is_directory(existing))
        return fail("Cannot save to " + path + ": something that is not a package is there.");
    // The document's own package is written in place; another package there is replaced whole, so
    // that nothing of it (its media above all) stays; a folder holding anything else is refused.
    const bool ownPackage = fileURL_ && fs::equivalent(target, fs::path(*fileURL_), error);
    const bool emptyFolder = fs::is_directory(existing) && fs::is_empty(target, error) && !error;
    const bool inPlace = fs::is_directory(existing) && (ownPackage || emptyFolder);
    const bool replacing = fs::is_directory(existing) && !inPlace;
    if (replacing && !isPlainFile(target / package::compositionFileName))
        return fail("Cannot save to " + path + ": a folder that is not a composition package is there.");

    const fs::path parent = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    removeStaleTemporaries(parent, kPackageTemporaryPrefix);

    const SerializedFlags serialized(sharedMediaManager().entriesForDocument(this));
    DocumentPackageFiles& files = packageFiles();
    // Any other package is written whole under a temporary name and put in place by one rename (or
    // one exchange with the package it replaces), so no half package ever carries the name.
    const fs::path working = inPlace ? target
                                     : parent / (kPackageTemporaryPrefix + makeGloballyUniqueString() + "-" +
                                                 target.filename().string());
    Status written = writePackageContents(working.string(), icon);
    if (written && !inPlace) written = saveCancelled();
    if (written && !inPlace) {
        written = replacing ? files.exchange(working, target) : files.rename(working, target);
        // Once in place the save has happened; a folder that cannot be synced is only noted.
        if (written) {
            if (Status synced = files.syncFolder(parent); !synced) logMessage(synced.error());
        }
    }
    if (!written) {
        if (!inPlace) {
            if (Status removed = files.removeTree(working); !removed) logMessage(removed.error());
        }
        serialized.restore();
        // The user knows the package by the name asked for, not by its temporary one.
        std::string message = written.error();
        for (std::size_t at; !inPlace && (at = message.find(working.string())) != std::string::npos;)
            message.replace(at, working.string().size(), target.string());
        return fail(message);
    }
    // After an exchange the replaced package is under the temporary name.
    if (replacing) {
        if (Status removed = files.removeTree(working); !removed) logMessage(removed.error());
    }
    if (!fileURL_ || *fileURL_ != target.string()) setFileURL(target.string());
    return {};
}

Status CompositionDocument::writePackageContents(const std::string& path, PackageIcon icon) {
    DocumentPackageFiles& files = packageFiles();
    SharedMediaManager& media = sharedMediaManager();
    const fs::path folder(path);
    if (Status cancelled = saveCancelled(); !cancelled) return cancelled;
    if (Status created = files.createFolder(folder); !created) return created;
    media.cleanupUnusedMedia();
    const fs::path mediaFolder = folder / package::mediaFolderName;
    if (Status created = files.createFolder(mediaFolder); !created) return created;
    // The speech objects write into their folder as they find it: a link there is replaced first.
    const fs::path speechFolder = folder / package::speechFolderName;
    if (std::error_code error; fs::is_symlink(fs::symlink_status(speechFolder, error))) {
        if (Status created = files.createFolder(speechFolder); !created) return created;
    }

    bool sheetShown = false;
    if (media.needsToCopyMediaForDocument(this, mediaFolder)) {
        const double size = static_cast<double>(bytesToCopyInto(media, this, mediaFolder));
        const std::optional<std::uint64_t> free = media.files().freeBytesOfVolume(mediaFolder);
        if (!free || freeSpaceFactor * size > static_cast<double>(*free)) {
            if (window_) {
                window_->runAlert({"Document_Save_Error_DiskSpace_Title",
                                   "Document_Save_Error_DiskSpace_Message",
                                   {"Document_Save_Error_DiskSpace_OK"}});
            }
            return fail("There is not enough free space to copy the media into " + path + ".");
        }
        showProgressSheet();
        sheetShown = true;
        // Lets the sheet be drawn before the copy holds the main thread.
        if (window_) runMainLoopUntil([] { return false; }, 0.3);
    }
    Status mediaWritten = media.writeMediaForDocument(this, mediaFolder);
    if (sheetShown) hideProgressSheet();
    if (!mediaWritten) {
        // The disk may have filled meanwhile; the copy's own words for that vary.
        const std::optional<std::uint64_t> free = media.files().freeBytesOfVolume(mediaFolder);
        if (free && *free < bytesToCopyInto(media, this, mediaFolder))
            return fail("The disk is full: the media cannot be copied into " + path + ".");
        return mediaWritten;
    }
    if (Status cancelled = saveCancelled(); !cancelled) return cancelled;

    for (const auto& object : container_->allObjects()) {
        auto* speech = dynamic_cast<CompositionGeneratedSpeechTrackObject*>(object.get());
        if (!speech) continue;
        if (Status saved = speech->saveSpeechFilesTo(path); !saved) return saved;
    }

    package::RootValues root;
    root.container = container_;
    root.timeScale = timeScale_;
    root.mediaEntries = media.entriesForDocument(this);
    // Without a window the values read from the package go back unchanged.
    if (window_) {
        root.expandedCollapsedPropertyViewStates = window_->expandedCollapsedPropertyViewStates();
        root.horizontalGuides = window_->horizontalGuides();
        root.verticalGuides = window_->verticalGuides();
        PlistDictionary frame;
        frame.set("screenSize", PropertyList(stringFromSize(window_->screenSize())));
        frame.set("windowFrame", PropertyList(stringFromRect(window_->windowFrame())));
        root.windowFrameDictionary = std::move(frame);
    } else {
        root.expandedCollapsedPropertyViewStates = windowHandOver_.expandedCollapsedPropertyViewStates;
        root.horizontalGuides = windowHandOver_.horizontalGuides;
        root.verticalGuides = windowHandOver_.verticalGuides;
        root.windowFrameDictionary = windowHandOver_.windowFrameDictionary;
        if (!root.windowFrameDictionary) {
            PlistDictionary frame;
            frame.set("screenSize", PropertyList(stringFromSize(Size{0, 0})));
            frame.set("windowFrame", PropertyList(stringFromRect(Rect{})));
            root.windowFrameDictionary = std::move(frame);
        }
    }
    if (hasIdentifier()) root.identifier = identifier_;
    root.lastAddedShape = lastAddedShape();
    root.lastAddedText = lastAddedText();
    if (hasRecentlyUsedVoices_) root.recentlyUsedVoices = CompositionDocumentServices::recentlyUsedVoices();
    if (!mostRecentLanguageName().empty()) root.mostRecentLanguageName = mostRecentLanguageName();
    root.dontAskAboutEnlargingAgain = dontAskAboutEnlargingAgain_;
    Result<PlistBytes> archive = package::archiveRoot(root);
    if (!archive) return fail("The composition cannot be archived: " + archive.error());
    if (Status cancelled = saveCancelled(); !cancelled) return cancelled;
    // The media and speech the new "composition" names are on the disk before it is.
    for (const fs::path& written : {mediaFolder, speechFolder})
        if (Status synced = files.syncTree(written); !synced) return synced;
    // Replacing "composition" commits the save; everything after it only tidies up.
    if (Status committed = files.writeFileAtomically(folder / package::compositionFileName, archive.value());
        !committed)
        return committed;

    if (Status marked = files.writeFileAtomically(folder / package::mediaCleanFileName, {}); !marked)
        logMessage(marked.error());
    if (icon == PackageIcon::Write) {
        if (Status drawn = writeIcon(path); !drawn)
            logMessage("The package icon was not written: " + drawn.error());
    }
    if (synchronizePresetStores_) synchronizePresetStores_();
    removeSaveLeftovers(files, folder);
    removeSaveLeftovers(files, mediaFolder);
    return {};
}

Status CompositionDocument::writeIcon(const std::string& path) {
    const Size canvas = container_->canvasSize();
    // The icon is drawn at its own size: a large canvas is rendered smaller, never whole.
    const double canvasSide = std::max(canvas.width, canvas.height);
    const float scale =
        canvasSide > maximumIconFrameSide ? static_cast<float>(maximumIconFrameSide / canvasSide) : 1.0f;
    VTLObjectsContainerImageGenerator generator(canvas, scale, nullptr, GeneratorAlpha::With);
    Result<BitmapImage> rendered =
        generator.bitmapFromObjectsContainer(*container_, documentDuration() * 0.5, true);
    if (!rendered) return rendered.asFailure();
    const BitmapImage& image = rendered.value();
    const double w = double(image.width()), h = double(image.height());
    const double m = std::max(w, h);
    if (!(m > 0)) return fail("the rendered frame is empty");
    Bitmap frame(int(image.width()), int(image.height()));
    if (!frame.data()) return fail("the rendered frame cannot be kept");
    for (std::size_t y = 0; y < image.height(); ++y)
        std::memcpy(frame.data() + y * frame.bytesPerRow(), image.rowAt(y), image.width() * 4);
    const int side = int(1.0625 * m);
    std::shared_ptr<GraphicsContext> context = GraphicsContext::createBitmapContext(side, side);
    if (!context) return fail("the icon is too large to draw");
    context->saveGState();
    context->setShadow(Size{0, 0}, m / 32, Color(0, 0, 0, 0.8));
    context->drawImage(Rect{(m - w + 0.0625 * m) / 2, (m - h + 0.0625 * m) / 2, w, h}, frame);
    context->restoreGState();
    BitmapRef icon = context->makeImage();
    const std::vector<std::uint8_t> png = icon ? icon->pngData() : std::vector<std::uint8_t>();
    if (png.empty()) return fail("the icon cannot be encoded");
    return packageFiles().writeFileAtomically(fs::path(path) / package::iconFileName, png);
}

// --- Opening

Status CompositionDocument::readFromURL(const std::string& path, const std::string& typeName) {
    lastReadError_.reset();
    if (typeName == package::recordingTypeName) {
        Result<std::unique_ptr<CompositionDocument>> made =
            openRecordingAsComposition(path, sharedMediaManager());
        if (!made) return made.asFailure();
        CompositionDocument& other = *made.value();
        SharedMediaManager& media = sharedMediaManager();
        const MediaEntryList entries = media.entriesForDocument(&other);
        std::shared_ptr<CompositionObjectsContainer> container = other.container_;
        other.container_ = makeModelObject<CompositionObjectsContainer>();
        media.addEntries(entries, this);
        replaceContainer(container);
        fileURL_.reset();
        undoManager_->removeAllActions();
        return {};
    }
    return readCompositionPackage(path);
}

Status CompositionDocument::readCompositionPackage(const std::string& path) {
    auto refuse = [&](const char* key, const std::string& message) {
        lastReadError_ = DocumentError{key, localizedString(key)};
        return fail(message);
    };
    std::error_code error;
    const fs::path folder(path);
    // Nothing is read through a link: a package that is one counts as missing.
    if (fs::is_symlink(fs::symlink_status(folder, error)))
        return refuse(DocumentError::brokenKey, "The composition " + path + " is a link, not a package.");
    if (!isRealFolder(folder))
        return refuse(DocumentError::brokenKey, "The composition " + path + " is not a package.");
    if (!fs::exists(fs::symlink_status(folder / package::mediaCleanFileName, error))) {
        if (Status checked = runLegacyMovieCheck(path); !checked) return checked;
    }
    const fs::path composition = folder / package::compositionFileName;
    if (!fs::exists(fs::symlink_status(composition, error))) {
        logMessage("file does not exist '" + composition.string() + "'");
        return refuse(DocumentError::brokenKey, "The composition " + path + " has no composition file.");
    }
    if (!isPlainFile(composition))
        return refuse(DocumentError::brokenKey,
                      "The composition " + path + " is damaged: its composition file is not a plain file.");
    Result<std::vector<std::uint8_t>> bytes =
        FileHandle::readWholeFile(composition.string(), package::maximumArchiveBytes);
    if (!bytes)
        return refuse(DocumentError::brokenKey,
                      "The composition " + path + " cannot be read: " + bytes.error());
    std::variant<package::RootValues, package::ReadFailure> read = package::readRoot(bytes.value());
    if (auto* failure = std::get_if<package::ReadFailure>(&read)) {
        if (failure->fault == package::ReadFault::FormatTooNew)
            return refuse(DocumentError::formatTooNewKey,
                          "The composition " + path + " was saved by a newer version.");
        return refuse(DocumentError::brokenKey,
                      "The composition " + path + " is damaged: " + failure->message + ".");
    }
    adoptRoot(std::get<package::RootValues>(std::move(read)), path);
    return {};
}

Status CompositionDocument::readFromData(std::span<const std::uint8_t> bytes, const std::string& name) {
    lastReadError_.reset();
    std::variant<package::RootValues, package::ReadFailure> read = package::readRoot(bytes);
    if (auto* failure = std::get_if<package::ReadFailure>(&read)) {
        const bool tooNew = failure->fault == package::ReadFault::FormatTooNew;
        const char* key = tooNew ? DocumentError::formatTooNewKey : DocumentError::brokenKey;
        lastReadError_ = DocumentError{key, localizedString(key)};
        return fail(tooNew ? name + " was saved by a newer version."
                           : name + " is damaged: " + failure->message + ".");
    }
    adoptRoot(std::get<package::RootValues>(std::move(read)), std::nullopt);
    return {};
}

void CompositionDocument::adoptRoot(package::RootValues root, const std::optional<std::string>& path) {
    SharedMediaManager& media = sharedMediaManager();
    media.removeEntriesForDocument(this);
    fileURL_ = path;
    replaceContainer(root.container);
    timeScale_ = root.timeScale;
    const CompositionObjectsContainer& container = *container_;
    auto inContainer = [&](const std::shared_ptr<CompositionBaseObject>& object) {
        return object && container.containsObject(object.get()) ? object : nullptr;
    };
    lastAddedShape_ = inContainer(root.lastAddedShape);
    lastAddedText_ = inContainer(root.lastAddedText);
    if (root.legacyMediaManager)
        media.migrateMediaFromDocumentMediaManager(*root.legacyMediaManager, this);
    else
        media.addEntries(root.mediaEntries, this);
    windowHandOver_ = {};
    windowHandOver_.pixelsPerSecond = root.pixelsPerSecond;
    windowHandOver_.expandedCollapsedPropertyViewStates = std::move(root.expandedCollapsedPropertyViewStates);
    dontAskAboutEnlargingAgain_ = root.dontAskAboutEnlargingAgain;
    if (root.mostRecentLanguageName)
        CompositionDocumentServices::setMostRecentLanguageName(*root.mostRecentLanguageName);
    identifier_ = root.identifier.value_or(std::string());
    if (root.recentlyUsedVoices) {
        CompositionDocumentServices::recentlyUsedVoices() = *root.recentlyUsedVoices;
        hasRecentlyUsedVoices_ = true;
    }

    std::error_code error;
    const fs::path mediaFolder = path ? fs::path(*path) / package::mediaFolderName : fs::path();
    // A media folder that is a link counts as missing, with all it holds.
    const bool mediaFolderUsable = path && isRealFolder(mediaFolder);
    if (path && !mediaFolderUsable && fs::exists(fs::symlink_status(mediaFolder, error)))
        logMessage("The media folder of " + *path +
                   " is not a folder of the package; its media are missing.");
    for (const auto& entry : media.entriesForDocument(this)) {
        entry->setHasBeenSerialized(true);
        // A name or link leading out of the package is never followed.
        const bool inside = mediaFolderUsable && entryResolvesInside(*entry, mediaFolder);
        entry->setMissing(!inside);
        if (!inside && path)
            logMessage("The media file " + entry->relativePathFromDocumentRoot() + " is missing.");
    }

    container_->loadTrackResources();
    container_->sortTracks();
    container_->recacheObjectsAndTransitionsDuringDrag(DuringDrag::No);
    for (const auto& mark : container_->chapterMarks())
        mark->setDocument(this);
    for (const auto& object : container_->allObjects())
        object->propagateDocument();
    needsToRedoThumbs_ = false;

    if (root.formatVersion < package::firstCurrentFormatVersion) {
        std::int32_t highestTrack = 0;
        for (const auto& object : container_->allObjects()) {
            if (const auto& track = object->containerTrack())
                highestTrack = std::max(highestTrack, track->trackNumber());
            auto movie = std::dynamic_pointer_cast<CompositionMovieTrackObject>(object);
            if (!movie) continue;
            movie->setPreviewThumbnails({});
            movie->setPreviewThumbnailsGenerated(false);
            CompositionExtractionQueues::shared().addVideoTrack(movie);
            needsToRedoThumbs_ = true;
        }
        container_->increaseNumberOfTracksTo(highestTrack + 2);
    }

    // The stray-speech clean-up stays out of a speech folder that is a link.
    if (path && isRealFolder(fs::path(*path) / package::speechFolderName)) {
        std::set<std::string> kept;
        for (const auto& object : container_->allObjects()) {
            if (auto* speech = dynamic_cast<CompositionGeneratedSpeechTrackObject*>(object.get())) {
                for (std::string& name : speech->allGeneratedSpeechFilesFileNames())
                    kept.insert(std::move(name));
            }
        }
        std::vector<fs::path> stray;
        for (fs::directory_iterator it(fs::path(*path) / package::speechFolderName, error), end;
             !error && it != end; it.increment(error)) {
            if (!kept.contains(it->path().filename().string())) stray.push_back(it->path());
        }
        for (const fs::path& file : stray) {
            // Only plain files: a folder or link someone put there is left alone.
            if (!fs::is_regular_file(fs::symlink_status(file, error))) continue;
            if (Status removed = packageFiles().removePlainFile(file); !removed) logMessage(removed.error());
        }
    }

    for (const auto& object : container_->allObjects())
        object->recacheNamesOfAllUsedEffects();
    windowHandOver_.horizontalGuides = std::move(root.horizontalGuides);
    windowHandOver_.verticalGuides = std::move(root.verticalGuides);
    undoManager_->removeAllActions();
    for (const auto& object : container_->allObjects()) {
        if (auto* text = dynamic_cast<CompositionTextObject*>(object.get()))
            text->regenerateThumb();
        else if (auto* shape = dynamic_cast<CompositionShapeObject*>(object.get()))
            shape->regenerateThumb();
    }
    windowHandOver_.windowFrameDictionary = std::move(root.windowFrameDictionary);
    for (const auto& object : container_->allObjects()) {
        if (auto* visual = dynamic_cast<CompositionRectangularObject*>(object.get()))
            visual->performPostLoadSetup();
    }
}

Status CompositionDocument::runLegacyMovieCheck(const std::string& path) {
    const fs::path mediaFolder = fs::path(path) / package::mediaFolderName;
    // Without a converter no movie counts as needing conversion.
    LegacyMovieConverter* converter = legacyMovieConverter_;
    std::vector<fs::path> qualifying;
    std::uint64_t totalBytes = 0;
    std::error_code error;
    // A media folder that is a link is not looked into, let alone converted.
    const bool mediaFolderUsable = isRealFolder(mediaFolder);
    for (fs::directory_iterator it = mediaFolderUsable ? fs::directory_iterator(mediaFolder, error)
                                                       : fs::directory_iterator(),
                                end;
         !error && it != end; it.increment(error)) {
        // Only plain files are looked at: a link could lead out of the package.
        if (!fs::is_regular_file(fs::symlink_status(it->path(), error))) continue;
        if (!converter || !converter->requiresConversion(it->path().string())) continue;
        qualifying.push_back(it->path());
        totalBytes += fs::file_size(it->path(), error);
    }
    const fs::path marker = fs::path(path) / package::mediaCleanFileName;
    if (!qualifying.empty()) {
        auto alert = [&](const char* informative) {
            if (window_) window_->runAlert({"MoveConversion", informative, {"MovieModernization_Cancel"}});
        };
        const fs::path& last = qualifying.back();
        const fs::perms permissions = fs::status(last, error).permissions();
        if (error || (permissions & fs::perms::owner_write) == fs::perms::none) {
            alert("MovieModernizationNecessary_Impossible_Unwritable");
            return fail("The movie " + last.string() + " needs converting but cannot be written.");
        }
        const std::optional<std::uint64_t> free = sharedMediaManager().files().freeBytesOfVolume(last);
        if (!free || double(*free) < conversionSpaceFactor * double(totalBytes)) {
            alert("MovieModernizationNecessary_Impossible_LowDiskSpace");
            return fail("There is not enough free space to convert the movies of " + path + ".");
        }
        const DocumentAlertAnswer answer =
            window_ ? window_->runAlert({"MovieModernization_Title",
                                         "MovieModernization_AskMessage",
                                         {"MovieModernization_Cancel", "MovieModernization_ProceedAndOpen"}})
                    : DocumentAlertAnswer{};
        if (answer.buttonIndex != 1) return fail("Converting the movies of " + path + " was cancelled.");
        // Each file is converted in place; as with the converter tool, its status is not examined.
        for (const fs::path& movie : qualifying)
            (void)converter->convert(movie.string(), movie.string());
    }
    // Marked only once every conversion has run.
    if (Status marked = packageFiles().writeFileAtomically(marker, {}); !marked) logMessage(marked.error());
    return {};
}

} // namespace vtl
