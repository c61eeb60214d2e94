#pragma once
// Base of every timeline object that shows a span of a media file (recordings, imported movies
// and audio): the trim window into the media, two anchored neighbours that move with it, the
// recorded pointer metadata of recordings with its lookups, the switches for showing the pointer
// and clicks (kept in its keyframes), the mouse style it draws with, and the class-wide
// extracting track. Held by std::shared_ptr like every timeline object; the anchored neighbours
// are not owned (held weakly, so a neighbour that is gone reads as none).
//
// Times: startTime() is the global time of media time 0; keyframes and every recorded entry are
// in media time. Main thread, except the metadata lists, which render threads read as immutable
// snapshots (the track replaces them whole).

#include "model/CompositionTrackState.h"
#include "model/MediaTrackCapability.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/foundation/KeyedArchiveRegistry.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ThreadAnnotations.h"
#include "tracks/metadata/RecordedMetadataLookups.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class AudioPlayer;
class DispatchTimer;
class MouseVisualization;

// Every recorded pointer list of a track, replaced together.
struct TrackMetadata {
    MetadataSnapshot<MouseLocationEntry> mouseLocations;
    MetadataSnapshot<MouseClickEntry> mouseClicks;
    MetadataSnapshot<MouseWheelEntry> mouseWheelEvents;
    MetadataSnapshot<FocusRectEntry> focusedWindowRects;
    MetadataSnapshot<CursorImageEntry> mouseCursorImages;
    // The clicks inside the spans where click visualisation is on.
    MetadataSnapshot<MouseClickEntry> mouseEventsToVisualize;
};

class CompositionTrackObject : public ModelKeyCoding<CompositionTrackObject, CompositionRectangularObject>,
                               public MediaTrackCapability {
public:
    // A visible part shorter than this cannot be set.
    static constexpr double kMinimumVisibleDuration = 0.25;
    // The inspector panes every track starts with.
    static const std::vector<std::string>& defaultPropertyNames();
    // The style values a track follows.
    static const std::vector<std::string>& observedProperties();

    explicit CompositionTrackObject(CompositionObjectsContainer* container);
    // Copies: the given keyframe becomes the none-animation state and keeps its switches.
    CompositionTrackObject(CompositionObjectsContainer* container,
                           std::shared_ptr<CompositionBaseState> baseState);
    ~CompositionTrackObject() override;
    void didConstruct() override;

    std::string className() const override { return "CompositionTrackObject"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    static const ModelKeyTable<CompositionTrackObject>& keyValueTable();
    // Registers the archived class name (with the visual-object classes).
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());

    std::shared_ptr<CompositionBaseState> newStateOfStateClass() override;

    // Both bases declare it (the object's image pipeline and the container's media walk); one
    // answer serves both.
    void reinitializeAfterPathChanged() override {}

    // Playback notifications come from the new container.
    void setObjectsContainer(CompositionObjectsContainer* container) override;

    // --- Deletion
    void prepareForDeletion() override;
    void awakeAfterUndelete() override;

    // --- Trim window (media seconds)
    double movieStartTime() const override { return movieStartTime_; }
    double movieEndTime() const override { return movieEndTime_; }
    // Both at once, written directly (copies and reloading).
    void setMovieStartTimeMovieEndTime(double start, double end);
    bool canSetMovieStartTimeTo(double time) const override;
    bool canSetMovieEndTimeTo(double time) const override;
    void setMovieStartTime(double time) override;
    void setMovieEndTime(double time) override;
    double snapStartTime() const override { return startTime() + movieStartTime_; }
    double snapEndTime() const override { return startTime() + movieEndTime_; }
    // Moving the clip moves its anchored neighbours along.
    void setStartTime(double startTime) override;
    void setStartTimeEndTime(double startTime, double endTime) override;

    // The media's duration; none in the base.
    double duration() const override { return 0.0; }
    virtual std::uint32_t timeScale() const;
    virtual std::optional<std::string> underlyingTrackName() const;
    virtual double recordingContentScale() const { return 1.0; }
    double trackOffset() const { return trackOffset_; }
    void setTrackOffset(double offset) { trackOffset_ = offset; }
    std::uint32_t trackIndex() const { return trackIndex_; }
    virtual void setTrackIndex(std::uint32_t index) { trackIndex_ = index; }
    virtual void prepareWithTrackIndex(std::uint32_t) {}
    virtual bool isVideoTrack() const { return true; }
    Size size() const { return size_; }
    bool extractionOK() const { return extractionOK_.load(); }
    bool codecWarningShown() const { return codecWarningShown_; }
    void setCodecWarningShown(bool shown) { codecWarningShown_ = shown; }
    std::string startEndTimeDescriptionString() const override;

    // --- Anchored neighbours (not owned); a new one can no longer be timed by hand.
    std::shared_ptr<CompositionBaseObject> beforeAnchoredObject() const override {
        return beforeAnchored_.lock();
    }
    std::shared_ptr<CompositionBaseObject> afterAnchoredObject() const override {
        return afterAnchored_.lock();
    }
    void setBeforeAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) override;
    void setAfterAnchoredObject(const std::shared_ptr<CompositionBaseObject>& object) override;

    // --- Pointer and click switches (global times, read from the keyframes of the "hasFrame" group)
    bool visualizesMouseCursorAtTime(double time) const;
    bool visualizesMouseEventsAtTime(double time) const;
    MouseCursorKind mouseCursorKindAtTime(double time) const;
    void setVisualizesMouseCursor(bool flag, double time);
    void setVisualizesMouseEvents(bool flag, double time);
    void setMouseCursorKind(MouseCursorKind kind, double time);
    void fillStateWithInterpolatedValuesForTime(CompositionBaseState& state, double compositionTime) override;
    void addNewState(const std::shared_ptr<CompositionBaseState>& state) override;

    bool audiblizesMouseClicks() const { return audiblizesMouseClicks_; }
    void setAudiblizesMouseClicks(bool flag);

    // --- Click sounds during playback (media times) and for export
    // The first click at or after `time` inside the trim window.
    std::optional<MouseClickEntry> firstMouseClickToAudiblizeAfterTime(double time) const;
    // Schedules the sound of the next click after the playhead (currentMovieTime).
    void makeTimerForTime(double time);
    void scheduledMouseClickPlay();
    // Also reschedules the click sounds.
    void setCurrentMovieTime(double time) override;
    bool hasMouseClickTimer() const { return mouseClickScheduleTimer_ != nullptr; }
    const std::optional<MouseClickEntry>& nextMouseClickToAudiblize() const {
        return nextMouseClickToAudiblize_;
    }
    // One {"path", "time" (global), "duration"} per click inside the visible part; none while the
    // switch is off.
    std::optional<std::vector<PlistDictionary>> mouseClickAudiblizationDictionariesForExport() const;
    static std::string mouseClickSoundPath();
    static double mouseClickSoundDuration();

    // --- Mouse styles: the one drawn with, and the one stored with the recording.
    const std::shared_ptr<MouseVisualization>& mouseVisualizationStyle() const { return mouseVisualization_; }
    void setMouseVisualization(std::shared_ptr<MouseVisualization> style);
    std::shared_ptr<BaseVisualization> mouseVisualization() const override;
    const std::shared_ptr<MouseVisualization>& recordMouseVisualization() const {
        return recordMouseVisualization_;
    }
    void setRecordMouseVisualization(std::shared_ptr<MouseVisualization> style);
    void addObservers();
    void removeObservers();

    // --- Recorded metadata: snapshots that stay valid while the track replaces its lists.
    TrackMetadata metadata() const VTL_EXCLUDES(metadataMutex_);
    MetadataSnapshot<MouseClickEntry> mouseClicks() const { return metadata().mouseClicks; }
    MetadataSnapshot<MouseLocationEntry> mouseLocations() const { return metadata().mouseLocations; }
    MetadataSnapshot<FocusRectEntry> focusedWindowRects() const { return metadata().focusedWindowRects; }
    MetadataSnapshot<MouseWheelEntry> mouseWheelEvents() const { return metadata().mouseWheelEvents; }
    MetadataSnapshot<CursorImageEntry> mouseCursorImages() const { return metadata().mouseCursorImages; }
    MetadataSnapshot<MouseClickEntry> mouseEventsToVisualize() const {
        return metadata().mouseEventsToVisualize;
    }
    bool hasMouseClicks() const { return !mouseClicks()->empty(); }
    bool hasFocusWindowRects() const { return !focusedWindowRects()->empty(); }
    // Rebuilds the clicks to visualize from the keyframes' switches.
    void recacheMouseEventsToVisualize() override;
    // The positions as the triggered states read them (built on first use, main thread).
    const PlistArray& mouseLocationsArray() const override;

    // --- Lookups over the lists (media seconds)
    Point mouseLocationAtTime(double time, bool* isValid = nullptr) const;
    Point smoothedMouseLocationAtTime(double time, bool* isValid, double windowSeconds,
                                      double smoothingFactor) const;
    Rect focusRectAtTime(double time, bool* isValid = nullptr) const;
    std::optional<std::vector<FocusRectEntry>> focusEntriesValidAtTime(double time) const;
    std::optional<std::vector<MouseWheelEntry>> mouseWheelEventsFrom(double from, double to) const;
    std::optional<std::vector<MouseClickEntry>> mouseEvents(std::int64_t eventTypeMask, double from,
                                                            double to) const;

    // --- Triggered states (global times)
    std::shared_ptr<CompositionBaseTriggeredState>
    addNewTriggeredStateAtGlobalTimes(double globalStart, double globalEnd) override;
    bool triggeredStateCanBeDragged(const CompositionBaseTriggeredState& state, double globalStart,
                                    double globalEnd,
                                    std::shared_ptr<CompositionBaseTriggeredState>* inTheWay) const override;

    // --- Background extraction, one track at a time for the whole program.
    static std::shared_ptr<CompositionTrackObject> currentlyExtractingTrack();
    // Makes a track the extracting one for its life; clears it however the extraction ends.
    class ExtractionScope {
    public:
        explicit ExtractionScope(std::shared_ptr<CompositionTrackObject> track);
        ~ExtractionScope();
        ExtractionScope(const ExtractionScope&) = delete;
        ExtractionScope& operator=(const ExtractionScope&) = delete;
    };
    // Stops this track's extraction and returns once it has let go.
    void cancelExtraction();

protected:
    MediaTrackCapability* mediaTrackCapability() override { return this; }
    void copyValuesInto(CompositionBaseObject& target) const override;
    std::shared_ptr<CompositionBaseObject>
    makeEmptyCopy(std::shared_ptr<CompositionBaseState> baseState) const override;

    // Replaces every list (the visualized clicks are recached).
    void setMetadata(TrackMetadata metadata) VTL_EXCLUDES(metadataMutex_);
    void setSize(Size size) { size_ = size; }
    // A track brought back after deletion may extract again.
    void allowExtraction() { extractionOK_ = true; }
    // Playback of the container started or stopped: the click sounds follow it.
    virtual void didStartPlay(const Notification& notification);
    virtual void didStopPlay(const Notification& notification);
    void registerForPlayNotifications();
    // The playhead (global seconds): the document's, else counted from the last start of playback.
    void notePlayStart(double globalTime);
    double playheadTime() const;
    bool containerTrackDisabled() const;

    double movieStartTime_ = 0;
    double movieEndTime_ = 0;
    std::uint32_t trackIndex_ = 0;

private:
    void restoreMovieStartTime(double time);
    void restoreMovieEndTime(double time);
    CompositionTrackState* trackStateAtTime(double time, bool allStates) const;
    std::shared_ptr<CompositionTrackState> stateToSetSwitchAt(double time, bool restrictToFrameGroup);
    static void moveAnchoredEnd(CompositionBaseObject& object, double delta);

    bool initialSetup_ = true;
    bool codecWarningShown_ = false;
    std::atomic<bool> extractionOK_{true};
    double trackOffset_ = 0;
    Size size_;
    bool audiblizesMouseClicks_ = false;
    std::shared_ptr<MouseVisualization> recordMouseVisualization_;
    std::shared_ptr<MouseVisualization> mouseVisualization_;
    std::weak_ptr<CompositionBaseObject> beforeAnchored_;
    std::weak_ptr<CompositionBaseObject> afterAnchored_;
    bool mouseVisualizationObserverRegistered_ = false;
    std::vector<ObservableObject::Token> styleTokens_;
    std::vector<NotificationCenter::Token> playTokens_;
    std::shared_ptr<DispatchTimer> mouseClickScheduleTimer_;
    std::optional<MouseClickEntry> nextMouseClickToAudiblize_;
    std::size_t nextMouseClickIndex_ = 0;
    std::unique_ptr<AudioPlayer> mouseClickPlayer_;
    double playStartGlobalTime_ = 0;
    double playStartClockSeconds_ = 0;

    mutable Mutex metadataMutex_;
    TrackMetadata metadata_ VTL_GUARDED_BY(metadataMutex_);
    mutable std::optional<PlistArray> locationsArray_;
};

} // namespace vtl
