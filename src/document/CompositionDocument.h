#pragma once
// A composition document: owns the objects container and the undo manager that every model
// change of the composition registers with, keeps the per-document memories saved with the
// package (identifier, voices, last language, last added shape and text, guides and window state
// to hand to the window), and talks to its window and the usage statistics through interfaces it
// does not own. Main thread only.

#include "model/CompositionDocumentServices.h"
#include "model/CompositionObjectsContainer.h"
#include "model/CompositionUndoManager.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl {

class CompositionDocumentController;
class CompositionDocumentWindow;
class DispatchTimer;
class DocumentPackageFiles;
class CompositionMediaEntry;
class LegacyMovieConverter;
class SharedMediaManager;
class UsageStatistics;
namespace package {
struct RootValues;
}

// The two errors an open reports to the user ("VistrelErrorDomain", code 1); the failure reason is
// the localized text of the key.
struct DocumentError {
    static constexpr const char* domain = "VistrelErrorDomain";
    static constexpr int code = 1;
    static constexpr const char* brokenKey = "DOCUMENT_BROKEN";
    static constexpr const char* formatTooNewKey = "DOCUMENTFORMAT_TOO_NEW_LOCALIZED_DESC";
    std::string failureReasonKey;
    std::string failureReason;
};

// Whether a save renders the package icon (tools and benchmarks may leave it out).
enum class PackageIcon { Write, Skip };

// Whether an import may ask the user before it enlarges the canvas for new video.
enum class EnlargeQuestion { DontAsk, Ask };
// Whether an import makes the canvas exactly the new video's size without asking.
enum class AutoEnlarge { No, Yes };

class CompositionDocument : public CompositionDocumentServices {
public:
    // An empty document, the base of one being read; makeNewDocument gives the user's new one.
    CompositionDocument();
    // A new, untitled composition as the user starts one: two empty tracks, nothing to undo.
    static std::unique_ptr<CompositionDocument> makeNewDocument();
    // Around a container read from a package.
    explicit CompositionDocument(std::shared_ptr<CompositionObjectsContainer> container);
    ~CompositionDocument() override;
    CompositionDocument(const CompositionDocument&) = delete;
    CompositionDocument& operator=(const CompositionDocument&) = delete;

    CompositionUndoManager* undoManager() override { return undoManager_.get(); }
    const std::shared_ptr<CompositionObjectsContainer>& objectsContainer() const { return container_; }

    // --- Collaborators (not owned; null without a window or statistics)
    CompositionDocumentWindow* window() const { return window_; }
    void setWindow(CompositionDocumentWindow* window) { window_ = window; }
    UsageStatistics* statistics() const { return statistics_; }
    void setStatistics(UsageStatistics* statistics) { statistics_ = statistics; }
    // Counts a statistics key when there are statistics.
    void countStatistic(const std::string& key) const;

    // --- Package location: set once the document is read from or saved to a package.
    const std::optional<std::string>& fileURL() const { return fileURL_; }
    void setFileURL(std::optional<std::string> path);
    std::optional<std::string> packagePath() const override { return fileURL_; }
    bool documentHasBeenSaved() const { return fileURL_.has_value(); }

    // --- Per-document memories
    double timeScale() const { return timeScale_; }
    void setTimeScale(double seconds) { timeScale_ = seconds; }
    // Made on first request.
    std::string identifier() const override;
    bool hasIdentifier() const { return !identifier_.empty(); }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    const std::shared_ptr<CompositionBaseObject> lastAddedShape() const { return lastAddedShape_.lock(); }
    void setLastAddedShape(const std::shared_ptr<CompositionBaseObject>& shape) { lastAddedShape_ = shape; }
    const std::shared_ptr<CompositionBaseObject> lastAddedText() const { return lastAddedText_.lock(); }
    void setLastAddedText(const std::shared_ptr<CompositionBaseObject>& text) { lastAddedText_ = text; }
    bool canChangeStats() const { return canChangeStats_; }
    void setCanChangeStats(bool can) { canChangeStats_ = can; }
    bool dontAskAboutEnlargingAgain() const { return dontAskAboutEnlargingAgain_; }
    void setDontAskAboutEnlargingAgain(bool dontAsk) { dontAskAboutEnlargingAgain_ = dontAsk; }
    double currentExportProgress() const { return currentExportProgress_; }
    // Stores it and tells the document controller, which shows the average of all exports.
    void setCurrentExportProgress(double progress);
    void setDocumentController(CompositionDocumentController* controller) {
        documentController_ = controller;
    }
    bool needsToRedoThumbs() const { return needsToRedoThumbs_; }
    void setNeedsToRedoThumbs(bool redo) { needsToRedoThumbs_ = redo; }

    // The playhead of the window; none without one.
    std::optional<double> currentTime() const override;
    // The largest snap end of the container's visible objects, 0 when there are none.
    double documentDuration() const;

    // --- Values read from a package, waiting for the window (each handed over once)
    struct WindowHandOver {
        std::optional<double> pixelsPerSecond;
        std::optional<PlistDictionary> expandedCollapsedPropertyViewStates;
        std::optional<std::vector<double>> horizontalGuides;
        std::optional<std::vector<double>> verticalGuides;
        std::optional<PlistDictionary> windowFrameDictionary;
    };
    WindowHandOver& windowHandOver() { return windowHandOver_; }
    const WindowHandOver& windowHandOver() const { return windowHandOver_; }

    // --- Package: saving and opening (CompositionDocumentSaveHandling.cpp)
    // How package files are written; tests put a failing fake here.
    DocumentPackageFiles& packageFiles() const;
    void setPackageFiles(std::shared_ptr<DocumentPackageFiles> files) { packageFiles_ = std::move(files); }
    // Saves the application's text and mouse style preset stores; called by every save (tools
    // and tests have none).
    void setPresetStoreSynchronizer(std::function<void()> synchronize) {
        synchronizePresetStores_ = std::move(synchronize);
    }
    // Asked between the steps of a save; once it answers yes the save stops and is undone as a
    // failed one is (the tools cancel a save on Ctrl-C).
    void setSaveCancellation(std::function<bool()> isCancelled) {
        saveCancellation_ = std::move(isCancelled);
    }
    // Writes the package at the path. A failure leaves a package already there as it was (its
    // "composition" is replaced atomically, and only after every media file is in place). Hidden
    // temporaries that killed saves left beside the package go first.
    Status writeSafelyToURL(const std::string& path, PackageIcon icon = PackageIcon::Write);
    // Reads a composition package, or (type "vistrelRecord") builds an untitled composition from a
    // recording package. A failure leaves the document as it was; the error, when one is shown to
    // the user, is in lastReadError().
    Status readFromURL(const std::string& path, const std::string& typeName = "vistrelcomposition");
    // The same from the bytes of a "composition" file, without a package (no media resolve).
    Status readFromData(std::span<const std::uint8_t> bytes, const std::string& name);
    const std::optional<DocumentError>& lastReadError() const { return lastReadError_; }
    std::string generatedSpeechBasePath() const override;
    // Nested show and hide of the sheet shown while media are copied into the package.
    void showProgressSheet() override;
    void hideProgressSheet() override;
    std::uint32_t copyBundleProgressSheetUseCounter() const { return copyBundleProgressSheetUseCounter_; }

    // --- Life (CompositionDocumentLife.cpp)
    // Gives the document its window: hands over what a read left (once), restores the frame.
    void makeWindowControllers(CompositionDocumentWindow* window);
    // Ends the document's work before it goes: extraction, media, playback, observers, objects.
    void tearDown();
    bool isTornDown() const { return tornDown_; }
    std::map<std::string, std::string>& recentlyUsedVoices() override;
    bool hasRecentlyUsedVoices() const { return hasRecentlyUsedVoices_; }
    void setMostRecentLanguageName(const std::string& name) override;
    bool isCurrentlyInExport() const { return container_->isInExport(); }
    // Preview pictures of snippets for this document, emptied when the objects or canvas change.
    PlistDictionary& snippetPreviewCache() { return snippetPreviewCache_; }
    void updatePreviewView() override;
    void updateSequencerView() override;

    // --- Adding media, recordings, files and new objects (main thread)
    // The registry media entries of this document go to (the application's unless set; not owned).
    SharedMediaManager& sharedMediaManager() const;
    void setSharedMediaManager(SharedMediaManager* manager) { sharedMediaManager_ = manager; }
    // Converts legacy movies before import and in packages opened without "mediaClean"; none: no
    // file needs converting (not owned).
    LegacyMovieConverter* legacyMovieConverter() const { return legacyMovieConverter_; }
    void setLegacyMovieConverter(LegacyMovieConverter* converter) { legacyMovieConverter_ = converter; }

    // Whether the disk can take the file; asks the user when space runs short.
    bool showWarningAboutResourceBeingAddedIfFileTooBig(const std::string& path);
    // The objects made from a movie or sound file, selected: video objects in creation order, then
    // sound. Empty after a failed legacy conversion; none when refused for disk space.
    std::optional<ObjectList> addMovieFromPath(const std::string& path, double time, EnlargeQuestion ask,
                                               AutoEnlarge autoEnlarge,
                                               std::shared_ptr<CompositionMediaEntry> mediaEntry);
    // A recording package (by its extension) goes to the recording importer, anything else to the
    // movie importer.
    std::optional<ObjectList> addMovieFromPath(const std::string& path, double time, EnlargeQuestion ask,
                                               AutoEnlarge autoEnlarge = AutoEnlarge::No);
    // At the playhead.
    std::optional<ObjectList> addMovieFromPath(const std::string& path, EnlargeQuestion ask);
    std::optional<ObjectList> addMovieFromPath(const std::string& path);
    // The objects made from a recording package and its side files, with the pieces cut at its
    // pauses; one undo step. None when refused for disk space, or when a cut fails (everything the
    // import did is then taken back).
    std::optional<ObjectList> addVistrelRecordFromPath(const std::string& path, double time,
                                                       EnlargeQuestion ask, AutoEnlarge autoEnlarge);
    std::optional<ObjectList> addVistrelRecordFromPath(const std::string& path, double time);
    // Moves the objects to start at the time (keeping their durations) and adds them on free
    // tracks, in one undo group.
    void addTracks(const ObjectList& objects, double time);

    // Which files can be dropped (wouldAdd…) or picked in the import panel (canAdd…).
    bool wouldAddFileFromPath(const std::string& path) const;
    bool canAddFileFromURL(const std::string& fileURLOrPath) const;
    std::size_t numberOfFilesThatWouldGetAddedFromPaths(const std::vector<std::string>& paths) const;
    bool wouldAddAtLeastOneFileFromFilesAtPaths(const std::vector<std::string>& paths) const;
    // Everything made from the files, in their order, in one undo group.
    ObjectList addFilesFromPaths(const std::vector<std::string>& paths, double time);
    ObjectList addFilesFromURLs(const std::vector<std::string>& fileURLs, double time);
    // An image object per loadable picture, selected; one undo group.
    ObjectList addImagesFromPaths(const std::vector<std::string>& paths, double time);
    // New objects at the playhead, selected; each one undo group.
    void addText();
    void addGeneratedSpeech();
    void addShapeOfShapeKind(std::int32_t kind);
    // The effect goes to every selected object at the playhead that takes it; an alert when none.
    void addEffectsToCurrentSelectionAndTime(const PlistDictionary& effect);
    // Selects the object and lets the canvas edit the effect's centre or mask.
    void editCenterForObject(const std::shared_ptr<CompositionBaseObject>& object,
                             const std::string& effectName);
    void editMaskForObject(const std::shared_ptr<CompositionBaseObject>& object,
                           const std::string& effectName);

    // Selected objects covering [t − tolerance, t + tolerance], t the playhead.
    ObjectList selectedVisibleObjectsForCurrentTimeWithTolerance(double toleranceSeconds) const;
    // The same keeping, or dropping, the objects of one kind (and its kinds).
    template <typename Kind>
    ObjectList selectedVisibleObjectsForCurrentTimeWithToleranceOfClass(double toleranceSeconds) const {
        return filteredByKind<Kind>(selectedVisibleObjectsForCurrentTimeWithTolerance(toleranceSeconds),
                                    true);
    }
    template <typename Kind>
    ObjectList selectedVisibleObjectsForCurrentTimeWithToleranceNotOfClass(double toleranceSeconds) const {
        return filteredByKind<Kind>(selectedVisibleObjectsForCurrentTimeWithTolerance(toleranceSeconds),
                                    false);
    }
    // Visible objects touching [t − tolerance, t + tolerance].
    ObjectList visibleObjectsForCurrentTimeWithTolerance(double toleranceSeconds) const;
    // The first selected recording or movie track at the playhead, else the first visible one.
    std::shared_ptr<CompositionBaseObject> firstSelectedVideoTrackOrFirstVideoTrack() const;

private:
    template <typename Kind> static ObjectList filteredByKind(const ObjectList& objects, bool keep) {
        ObjectList result;
        for (const auto& object : objects)
            if ((dynamic_cast<const Kind*>(object.get()) != nullptr) == keep) result.push_back(object);
        return result;
    }
    // --- Import helpers (CompositionDocumentMediaImport.cpp)
    enum class ImportKind { Movie, Recording };
    bool askToEnlargeCanvas(ImportKind kind);
    void selectObjects(const ObjectList& objects);
    double playheadTime() const;
    void centerObjectsWithoutUndo(const ObjectList& objects);
    std::optional<ObjectList> importRecording(const std::string& path, double time, EnlargeQuestion ask,
                                              AutoEnlarge autoEnlarge);
    ObjectList addFileFromPath(const std::string& path, double time);

private:
    void startLife();
    void observeContainer();
    void stopObservingContainer();
    void objectsOfContainerChanged();
    // Swaps in a container read from a package (observation moves along).
    void replaceContainer(std::shared_ptr<CompositionObjectsContainer> container);
    // Takes what a package's root held; cannot fail.
    void adoptRoot(package::RootValues root, const std::optional<std::string>& path);
    Status readCompositionPackage(const std::string& path);
    Status runLegacyMovieCheck(const std::string& path);
    Status writePackageContents(const std::string& path, PackageIcon icon);
    // A failure once the save cancellation asks to stop.
    Status saveCancelled() const;
    Status writeIcon(const std::string& path);

    std::shared_ptr<CompositionObjectsContainer> container_;
    CompositionDocumentWindow* window_ = nullptr;
    UsageStatistics* statistics_ = nullptr;
    std::optional<std::string> fileURL_;
    double timeScale_ = 0.04;
    mutable std::string identifier_;
    std::weak_ptr<CompositionBaseObject> lastAddedShape_;
    std::weak_ptr<CompositionBaseObject> lastAddedText_;
    bool canChangeStats_ = true;
    bool dontAskAboutEnlargingAgain_ = false;
    bool needsToRedoThumbs_ = false;
    double currentExportProgress_ = 0;
    WindowHandOver windowHandOver_;
    SharedMediaManager* sharedMediaManager_ = nullptr;
    LegacyMovieConverter* legacyMovieConverter_ = nullptr;
    CompositionDocumentController* documentController_ = nullptr;
    std::shared_ptr<DocumentPackageFiles> packageFiles_;
    std::optional<DocumentError> lastReadError_;
    std::function<void()> synchronizePresetStores_;
    std::function<bool()> saveCancellation_;
    std::uint32_t copyBundleProgressSheetUseCounter_ = 0;
    bool hasRecentlyUsedVoices_ = false;
    bool tornDown_ = false;
    PlistDictionary snippetPreviewCache_;
    std::shared_ptr<DispatchTimer> snippetCacheTimer_;
    std::vector<ObservableObject::Token> containerObservations_;
    std::vector<ScopedNotificationObserver> notificationObservers_;
    // Declared last so it goes first: its steps may hold the last references to model objects.
    std::unique_ptr<CompositionUndoManager> undoManager_;
};

} // namespace vtl
