#pragma once
// The object graph of one composition: its timeline objects, the numbered tracks they lie on, the
// canvas, background and global shadow, chapter marks, the content language being played and free
// metadata. The document owns the container (and sets itself as its document, not owned); the
// container owns its objects, tracks and chapter marks. Main thread only, except the extraction
// lock (extractionPlayMutex) that background extraction threads take per step.

#include "model/BaseVisualization.h"
#include "model/CompositionObjectsContainerTrack.h"
#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"
#include "model/RGBAColor.h"
#include "model/VisualCapability.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/ThreadAnnotations.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class CompositionChapterMark;
class CompositionDocumentServices;
class DispatchTimer;
class VistrelLanguage;

using ObjectList = std::vector<std::shared_ptr<CompositionBaseObject>>;

// Notifications of the container (object: the container unless said otherwise).
inline constexpr const char* kObjectsAddedOrRemovedNotification = "VistrelObjectsAddedOrRemovedNotification";
inline constexpr const char* kObjectsAddedKey = "added";
inline constexpr const char* kObjectsRemovedKey = "removed";
inline constexpr const char* kNumberOfTracksChangedNotification = "VistrelNumberOfTracksChangedNotification";
// Object: the track.
inline constexpr const char* kTrackWillBeDeletedNotification = "VistrelTrackWillBeDeletedNotification";
inline constexpr const char* kObjectTrackChangedNotification = "VistrelObjectTrackChangedNotification";
inline constexpr const char* kManuallyChangedTimeNotification = "Vistrel_ManuallyChangedTimeNotification";
inline constexpr const char* kCurrentLanguageScriptChangedNotification =
    "VistrelCurrentLanguageScriptChangedNotification";
// Object: the document.
inline constexpr const char* kChapterMarksChangedNotification = "Vistrel_ChapterMarksChangedNotification";
// User info kExtractedTrackKey → the track.
inline constexpr const char* kWaveformGeneratedNotification = "VistrelWaveformGeneratedNotificationName";
inline constexpr const char* kThumbnailsPartiallyGeneratedNotification =
    "VistrelThumbnailsPartiallyGeneratedNotificationName";
inline constexpr const char* kExtractedTrackKey = "track";

// Whether an object added to the container moves to the lowest track it fits on or keeps its track.
enum class TrackAssignment { FreeTrack, KeepTrack };
// Whether a change is a step of a drag in the timeline: drag steps leave the track list as it is
// (no trimming, no tracks made or removed by shifts) until the drag ends.
enum class DuringDrag { No, Yes };
// Whether asking for a track above the top one makes the missing tracks.
enum class TrackCreation { IfMissing, Never };

// How the canvas background is drawn from its two colours; archives store the number.
enum class BackgroundKind : int32_t {
    LinearGradient = 0,
    RadialGradient = 1,
    None = 2,
};
// The kind of a stored number; numbers that name no gradient draw no background.
BackgroundKind backgroundKindFromNumber(int32_t number);

class CompositionObjectsContainer
    : public ModelKeyCoding<CompositionObjectsContainer, CompositionUndoObject> {
public:
    CompositionObjectsContainer();
    ~CompositionObjectsContainer() override;

    // Starts observing its notifications once held by std::shared_ptr.
    void didConstruct() override;

    std::string className() const override { return "CompositionObjectsContainer"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // Not owned: the document owns the container.
    CompositionDocumentServices* document() const { return document_; }
    void setDocument(CompositionDocumentServices* document) { document_ = document; }
    CompositionUndoManager* undoManager() const override;

    // A container used only for offscreen rendering or previews registers no undo.
    bool isOffscreen() const { return isOffscreen_; }
    void setIsOffscreen(bool offscreen) { isOffscreen_ = offscreen; }
    // Passes the flag to every track, then keeps it.
    void setUndoDisabledForContainer(bool disabled);

    // --- Canvas
    Size canvasSize() const { return canvasSize_; }
    void setCanvasSize(Size size);
    bool wouldIncreaseCanvasSize(Size size) const;
    bool wouldDecreaseCanvasSize(Size size) const;
    void increaseCanvasSizeTo(Size size);

    // --- Objects
    bool addObject(const std::shared_ptr<CompositionBaseObject>& object) {
        return addObjectAndAssignFreeTrackID(object, TrackAssignment::FreeTrack);
    }
    void addObjectsFromArray(const ObjectList& objects);
    // True when the object landed on a newly made track.
    bool addObjectAndAssignFreeTrackID(const std::shared_ptr<CompositionBaseObject>& object,
                                       TrackAssignment assignment);
    bool addObjectsOnNextFreeTrack(const ObjectList& objects);
    void removeObject(const CompositionBaseObject* object);
    const ObjectList& objects() const { return objects_; }
    const ObjectList& allObjects() const { return objects_; }
    void setObjects(const ObjectList& objects);
    std::size_t countOfObjects() const { return objects_.size(); }
    std::shared_ptr<CompositionBaseObject> objectInObjectsAtIndex(std::size_t index) const;
    void insertObjectInObjectsAtIndex(const std::shared_ptr<CompositionBaseObject>& object,
                                      std::size_t index);
    void removeObjectFromObjectsAtIndex(std::size_t index);
    bool containsObject(const CompositionBaseObject* object) const;
    std::shared_ptr<CompositionBaseObject> objectWithID(const std::string& uniqueID) const;
    const PlistDictionary& metaData() const { return metaData_; }
    PlistDictionary& mutableMetaData() { return metaData_; }

    // Cached arrays, each ascending by track number.
    const ObjectList& cachedOnlyObjects() const { return cachedOnlyObjects_; }
    const ObjectList& transitions() const { return cachedOnlyTransitions_; }
    const ObjectList& transitionsAndObjects() const { return cachedTransitionsAndObjects_; }
    const ObjectList& objectsIgnoringVisibility() const { return cachedOnlyObjectsIgnoringVisibility_; }
    const ObjectList& transitionsIgnoringVisibility() const {
        return cachedOnlyTransitionsIgnoringVisibility_;
    }
    const ObjectList& transitionsAndObjectsIgnoringVisibility() const {
        return cachedTransitionsAndObjectsIgnoringVisibility_;
    }
    void recacheObjectsAndTransitionsDuringDrag(DuringDrag duringDrag);

    // Time extents (composition seconds).
    double minimumTime() const;
    double maximumTime() const;
    double maximumVisibleTime() const;
    double earliestTimeOnSameTrackForObject(const CompositionBaseObject& object) const;
    void moveAllObjectsBeginningAfter(double time, double delta);
    void shiftObjectToOtherTrackIfNecessary(const std::shared_ptr<CompositionBaseObject>& object);
    void reinitializeAfterPathChanged();
    void loadTrackResources();
    void tearDownObjects();

    // --- Tracks
    const TrackList& tracks() const { return tracks_; }
    std::size_t countOfTracks() const { return tracks_.size(); }
    std::shared_ptr<CompositionObjectsContainerTrack> objectInTracksAtIndex(std::size_t index) const;
    int32_t maxTrackID() const { return maxTrackID_; }
    int32_t uncachedMaxTrackID() const { return static_cast<int32_t>(tracks_.size()); }
    std::shared_ptr<CompositionObjectsContainerTrack>
    trackByNumber(int32_t number, TrackCreation creation = TrackCreation::IfMissing);
    void increaseNumberOfTracksTo(int32_t count);
    // Replaces the list (registering the old one for undo) and rebuilds the caches.
    void setTracks(const TrackList& tracks);
    void sortTracks();
    void recomputeAllTrackHeights();
    void insertEmptyTrackAtop();
    void moveTrackID(int32_t from, int32_t to, DuringDrag duringDrag);
    void shiftTracks(int32_t from, int32_t to, int32_t delta, DuringDrag duringDrag);
    void separateDependentTracksOfTrack(const std::shared_ptr<CompositionBaseObject>& owner);
    bool trackIsDisabled(int32_t number) const;
    bool trackIsLocked(int32_t number) const;
    void setTrackDisabled(int32_t number, bool disabled);
    void toggleTrackDisabled(int32_t number);
    void toggleTrackLocked(int32_t number);
    TrackList disabledTracks() const;

    // --- Languages
    int32_t languageScript() const { return currentLanguageScript_; }
    void setLanguageScript(int32_t languageScript);
    bool shouldPlay(const CompositionBaseObject& object) const;
    // Distinct by code, first occurrence kept.
    std::vector<std::shared_ptr<VistrelLanguage>> usedLanguages() const;
    std::vector<std::shared_ptr<VistrelLanguage>> languagesToExport() const;
    ObjectList activeUncachedAudioTracks() const;
    ObjectList activeUncachedAudioTracksWithLanguageScript(int32_t languageScript) const;
    float audioExtentScale() const { return audioExtentScale_; }
    void setAudioExtentScale(float scale);

    // --- Chapter marks
    const std::vector<std::shared_ptr<CompositionChapterMark>>& chapterMarks() const { return chapterMarks_; }
    bool hasChapterMarks() const { return !chapterMarks_.empty(); }
    void addChapterMark(const std::shared_ptr<CompositionChapterMark>& mark);
    void removeChapterMark(const std::shared_ptr<CompositionChapterMark>& mark);
    std::vector<std::shared_ptr<CompositionChapterMark>> chronologicallySortedChapterMarks() const;
    std::shared_ptr<CompositionChapterMark> createChapterMarkAtTime(double time);

    // --- Playback, export
    void prepareForPlayBackAtTime(double time);
    void donePlayBackAtTime(double time);
    // Set while an export reads the composition (see beginExportFreeze): changes to the objects,
    // tracks, chapter marks and canvas are then refused, and so are undo and redo. Any thread may
    // ask.
    bool isInExport() const { return inExport_.load(); }
    void setIsInExport(bool inExport);
    // Counted, so overlapping exports keep the composition still until the last one ends. The end
    // may come from the export's own thread: it only lowers the count and the flag.
    void beginExportFreeze();
    void endExportFreeze();
    // Background extraction steps hold the mutex; the main thread interrupts them for playback,
    // saving and teardown. A second interrupt or resume in a row does nothing.
    // The lock is held from the one to the other, across calls, which the analysis cannot follow.
    void interruptExtraction() VTL_NO_THREAD_SAFETY_ANALYSIS;
    void resumeExtraction() VTL_NO_THREAD_SAFETY_ANALYSIS;
    Mutex& extractionPlayMutex() { return extractionPlayMutex_; }
    bool extractionInterrupted() const { return extractionInterrupted_.load(); }

    // --- Editing
    // Each split object followed by its second half.
    ObjectList splitObjects(const ObjectList& objects, double time);
    void arrangeObjects(const ObjectList& objects, double time, ArrangeCriterion criterion);

    // --- Names of copies
    bool objectWithNameExists(const std::string& name) const;
    std::string originalObjectNameOfObjectNamed(const std::string& name) const;
    // The name a copy of the object is given.
    virtual std::string nameOfCopyForObject(const CompositionBaseObject& object) const;

    // --- Masks and anchors
    bool canUseObjectAsMaskForObject(const CompositionBaseObject& mask,
                                     const CompositionBaseObject& masked) const;
    // A null mask removes the relation.
    void establishMaskRelation(const std::shared_ptr<CompositionBaseObject>& mask,
                               const std::shared_ptr<CompositionBaseObject>& masked);
    std::shared_ptr<CompositionBaseObject>
    objectTrackIsAnchoredToBefore(const CompositionBaseObject& object) const;
    std::shared_ptr<CompositionBaseObject>
    objectTrackIsAnchoredToAfter(const CompositionBaseObject& object) const;
    bool objectIsAnchoredObject(const CompositionBaseObject& object) const;

    // --- Project copies of visualization presets
    const VisualizationList& projectTextVisualizations() const { return projectTextVisualizations_; }
    const VisualizationList& projectMouseVisualizations() const { return projectMouseVisualizations_; }
    // The preset itself when it is a project copy or built in; else the composition's copy of it,
    // made on first use.
    std::shared_ptr<BaseVisualization>
    projectTextVisualizationForVisualization(const std::shared_ptr<BaseVisualization>& preset);
    std::shared_ptr<BaseVisualization>
    projectMouseVisualizationForVisualization(const std::shared_ptr<BaseVisualization>& preset);
    // The entry copied from that uid when exactly one is.
    static std::shared_ptr<BaseVisualization>
    visualizationWithOriginalVisualizationUID(const std::string& uid, const VisualizationList& list);
    // Drops the copies no object uses (anonymous text copies stay) and sorts the lists by name.
    void recacheVisualizations();

    // --- Appearance and global shadow
    RGBAColor backgroundColor1() const { return backgroundColor1_; }
    RGBAColor backgroundColor2() const { return backgroundColor2_; }
    BackgroundKind backgroundKind() const { return backgroundKind_; }
    bool backgroundReflects() const { return backgroundReflects_; }
    void setBackgroundColor1(const RGBAColor& color);
    void setBackgroundColor2(const RGBAColor& color);
    void setBackgroundKind(BackgroundKind kind);
    void setBackgroundReflects(bool reflects);
    // Counts the background rebuilds (the renderer draws the picture from the values above).
    uint64_t backgroundGeneration() const { return backgroundGeneration_; }
    void recacheBackground();
    RGBAColor globalShadowColor() const { return globalShadowColor_; }
    float globalShadowAngle() const { return globalShadowAngle_; }
    float globalShadowOpacity() const { return globalShadowOpacity_; }
    float globalShadowDistance() const { return globalShadowDistance_; }
    float globalShadowRadius() const { return globalShadowRadius_; }
    void setGlobalShadowColor(const RGBAColor& color);
    void setGlobalShadowAngle(float value);
    void setGlobalShadowOpacity(float value);
    void setGlobalShadowDistance(float value);
    void setGlobalShadowRadius(float value);
    void createGlobalShadow();
    void invalidateAllObjectsWithGlobalShadow();

    // --- Extraction queues (main thread; null starts the queues)
    void waveformExtractionDone(const std::shared_ptr<CompositionBaseObject>& track);
    void thumbnailGenerationDone(const std::shared_ptr<CompositionBaseObject>& track);
    void takeAudioExtractionProgress(double progress);
    void takeVideoExtractionProgress(double progress);

    // --- Undo
    // Schedules one delayed refresh (caches and views) shortly after; repeated calls coalesce.
    void updateAfterUndo() override;
    void delayedUpdateAfterUndo();

    static const ModelKeyTable<CompositionObjectsContainer>& keyValueTable();

protected:
    bool acceptsUndoRegistration() const override {
        return !isOffscreen_ && CompositionUndoObject::acceptsUndoRegistration();
    }

private:
    // Registers the inverse on the document's undo manager unless offscreen or undo is disabled.
    bool registersUndo() const;
    bool isReplayingUndoOrRedo() const;
    void registerUndoAction(std::function<void()> action);
    void askDocumentToUpdateViews() const;
    void setTracksReplacingList(const TrackList& tracks);
    std::shared_ptr<CompositionObjectsContainerTrack> makeTrack(int32_t number);
    void postNumberOfTracksChanged() const;
    // A change while an export reads the composition is a programming error: reported, refused.
    bool refusesChangeDuringExport(const char* operation) const;

    CompositionDocumentServices* document_ = nullptr;
    TrackList tracks_;
    ObjectList objects_;
    Size canvasSize_{1280, 720};
    // A new composition is not being exported (a frozen new document could not be edited).
    std::atomic<bool> inExport_ = false;
    std::atomic<int> exportFreezes_ = 0;
    ObjectList cachedOnlyObjects_;
    ObjectList cachedOnlyTransitions_;
    ObjectList cachedTransitionsAndObjects_;
    ObjectList cachedOnlyObjectsIgnoringVisibility_;
    ObjectList cachedOnlyTransitionsIgnoringVisibility_;
    ObjectList cachedTransitionsAndObjectsIgnoringVisibility_;
    PlistDictionary metaData_;
    std::vector<std::shared_ptr<CompositionChapterMark>> chapterMarks_;
    VisualizationList projectTextVisualizations_;
    VisualizationList projectMouseVisualizations_;
    int32_t maxTrackID_ = 0;
    RGBAColor backgroundColor1_ = RGBAColor::device(0.5, 0.5, 0.5, 1);
    RGBAColor backgroundColor2_ = RGBAColor::device(0.35, 0.35, 0.35, 1);
    BackgroundKind backgroundKind_ = BackgroundKind::LinearGradient;
    bool backgroundReflects_ = false;
    uint64_t backgroundGeneration_ = 0;
    float audioExtentScale_ = 0.25f;
    int32_t currentLanguageScript_ = 0;
    Mutex extractionPlayMutex_;
    std::atomic<bool> extractionInterrupted_{false};
    bool isOffscreen_ = false;
    RGBAColor globalShadowColor_{0, 0, 0, 1, false};
    float globalShadowAngle_ = 135;
    float globalShadowOpacity_ = 0.7f;
    float globalShadowDistance_ = 5;
    float globalShadowRadius_ = 5;
    std::shared_ptr<DispatchTimer> delayedUpdateTimer_;
    std::vector<ScopedNotificationObserver> observers_;
};

} // namespace vtl
