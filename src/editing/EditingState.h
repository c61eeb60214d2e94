#pragma once
// The editing state of one composition window: the playhead, whether the composition plays, and
// the selection (objects, chapter marks, one keyframe state, one triggered state). Observable by
// key: "currentTime", "isPlaying", "selectedObjects", "selectedChaptermarks", "selectedState" and
// "selectedTriggeredState"; a setter that changes nothing notifies nobody. The selection rules
// live here so every pane selects alike; what a window adds (scrolling the timeline, closing a
// popover) its controller does around these calls. Owned by the window controller; the preview,
// the timeline and the inspector observe it, never each other. Main thread only.

#include "model/CompositionObjectsContainer.h"
#include "platform/foundation/KeyValueCodingTable.h"

#include <memory>
#include <vector>

namespace vtl {

class CompositionBaseState;
class CompositionBaseTriggeredState;
class CompositionChapterMark;

using ChapterMarkList = std::vector<std::shared_ptr<CompositionChapterMark>>;

// Whether selecting objects first clears the chapter marks and states selected.
enum class SelectionScope { DeselectEverythingElse, KeepOtherSelections };

class EditingState : public KeyValueCodingBase<EditingState, ObservableObject> {
public:
    static const KeyValueCodingTable<EditingState>& keyValueTable();

    // --- Time, in composition seconds
    double currentTime() const { return currentTime_; }
    // The value currentTime had before the last setCurrentTime.
    double previousTime() const { return previousTime_; }
    // Never below 0; past the end is kept (stopping clamps it, see clampCurrentTimeToMaxTime). A
    // time that is not finite is a programming error: reported and ignored.
    void setCurrentTime(double seconds);
    // Moves the playhead by delta within 0…upperSeconds (the document's duration); previousTime
    // stays.
    void addTimeInterval(double deltaSeconds, double upperSeconds);
    // The end of the composition, read by the controller from the container; not observable.
    double maxTime() const { return maxTime_; }
    void setMaxTime(double seconds);
    // Brings a playhead past maxTime back to it (playback stops there).
    void clampCurrentTimeToMaxTime();

    bool isPlaying() const { return playing_; }
    void setIsPlaying(bool playing);

    // --- Selection
    // Never holds an object twice; the order is not kept.
    const ObjectList& selectedObjects() const { return selectedObjects_; }
    // The same objects in the same order change nothing. With DeselectEverythingElse the chapter
    // marks and states are cleared first.
    void setSelectedObjects(const ObjectList& objects,
                            SelectionScope scope = SelectionScope::DeselectEverythingElse);
    const ChapterMarkList& selectedChaptermarks() const { return selectedChaptermarks_; }
    // Selecting other chapter marks clears every other selection.
    void setSelectedChaptermarks(const ChapterMarkList& marks);
    const std::shared_ptr<CompositionBaseState>& selectedState() const { return selectedState_; }
    // A state with an object selects that object alone; chapter marks stay selected.
    void setSelectedState(const std::shared_ptr<CompositionBaseState>& state);
    const std::shared_ptr<CompositionBaseTriggeredState>& selectedTriggeredState() const {
        return selectedTriggeredState_;
    }
    // Another triggered state clears every other selection, then selects its object alone.
    void setSelectedTriggeredState(const std::shared_ptr<CompositionBaseTriggeredState>& state);
    // Chapter marks, objects, state and triggered state, in that order; not re-entered.
    void deselectEverything();

    // An object leaves the composition: drops it from the selection (null: clears the selection).
    void objectWillBeDeleted(const CompositionBaseObject* object);
    // Keeps only the selected objects still among the given ones; sets the selection only when
    // something went.
    void keepSelectedObjectsAmong(const ObjectList& present);

    // A new document in the window: time 0 and nothing selected, without notifying anyone.
    void resetWithoutNotifying();

private:
    enum class ClearObjects { No, Yes };
    // Chapter marks, objects (unless told not to), state and triggered state; not re-entered.
    void clearSelections(ClearObjects objects);

    double currentTime_ = 0;
    double previousTime_ = 0;
    double maxTime_ = 0;
    bool playing_ = false;
    ObjectList selectedObjects_;
    ChapterMarkList selectedChaptermarks_;
    std::shared_ptr<CompositionBaseState> selectedState_;
    std::shared_ptr<CompositionBaseTriggeredState> selectedTriggeredState_;
    bool deselecting_ = false;
};

} // namespace vtl
