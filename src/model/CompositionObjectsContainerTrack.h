#pragma once
// One numbered track of a composition's timeline: the set of timeline objects (clips) that lie on
// it, whether it is disabled or locked, and its height in the timeline view. The objects container
// owns its tracks; a track holds its clips weakly (each clip holds its track), so no ownership
// cycle forms. Main thread only.

#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class CompositionBaseObject;
class CompositionObjectsContainer;

class CompositionObjectsContainerTrack
    : public ModelKeyCoding<CompositionObjectsContainerTrack, CompositionUndoObject> {
public:
    static constexpr float kDefaultHeightInSequencer = 106.0f;

    explicit CompositionObjectsContainerTrack(CompositionObjectsContainer* container = nullptr,
                                              int32_t trackNumber = 0);

    std::string className() const override { return "CompositionObjectsContainerTrack"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // Null once a container held by std::shared_ptr has gone (a track decoded from a damaged
    // archive may name a container nobody keeps).
    CompositionObjectsContainer* objectsContainer() const;
    void setObjectsContainer(CompositionObjectsContainer* container);

    int32_t trackNumber() const { return trackNumber_; }
    void setTrackNumber(int32_t number);
    void shiftTrackNumberBy(int32_t delta) { setTrackNumber(trackNumber_ + delta); }

    bool isDisabled() const { return disabled_; }
    // Tells every clip that its track was enabled or disabled.
    void setDisabled(bool disabled);
    bool trackLocked() const { return trackLocked_; }
    void setTrackLocked(bool locked);

    // The clips in the order they joined (a set: each object at most once).
    std::vector<std::shared_ptr<CompositionBaseObject>> clips() const;
    std::size_t countOfClips() const;
    bool isEmptyTrack() const { return countOfClips() == 0; }
    bool containsClip(const CompositionBaseObject* object) const;
    void addClip(const std::shared_ptr<CompositionBaseObject>& object);
    void removeClip(const CompositionBaseObject* object);
    // Ascending by snap start time.
    std::vector<std::shared_ptr<CompositionBaseObject>> chronologicallySortedClips() const;
    // No clip overlaps the object in time (the object itself does not count against itself).
    bool wouldFitObject(const CompositionBaseObject& object) const;

    float heightInSequencer() const { return heightInSequencer_; }
    void setHeightInSequencer(float height) {
        if (height != heightInSequencer_) heightInSequencer_ = height;
    }
    float accumulatedHeightBelow() const { return accumulatedHeightBelow_; }
    void setAccumulatedHeightBelow(float height) { accumulatedHeightBelow_ = height; }

    // Neighbours in chronological order. Time gaps are −1.0 at the ends; transitions are stepped
    // over by previousObject/nextObject but count for the gaps. An object not on this track logs,
    // and answers −1.0 or null.
    double timeToPreviousObject(const CompositionBaseObject& object) const;
    double timeToNextObject(const CompositionBaseObject& object) const;
    std::shared_ptr<CompositionBaseObject> previousObject(const CompositionBaseObject& object) const;
    std::shared_ptr<CompositionBaseObject> nextObject(const CompositionBaseObject& object) const;

    CompositionUndoManager* undoManager() const override;
    void updateAfterUndo() override;
    std::string description() const;

    static const ModelKeyTable<CompositionObjectsContainerTrack>& keyValueTable();

protected:
    bool acceptsUndoRegistration() const override;

private:
    // Index in the chronological order, or nullopt (logged) when the object is not a clip.
    std::ptrdiff_t chronologicalIndex(const std::vector<std::shared_ptr<CompositionBaseObject>>& sorted,
                                      const CompositionBaseObject& object) const;

    CompositionObjectsContainer* container_ = nullptr;
    std::weak_ptr<CompositionUndoObject> containerRef_;
    bool containerTracked_ = false;
    std::vector<std::weak_ptr<CompositionBaseObject>> clips_;
    int32_t trackNumber_ = 0;
    bool disabled_ = false;
    bool trackLocked_ = false;
    float heightInSequencer_ = kDefaultHeightInSequencer;
    float accumulatedHeightBelow_ = 0;
};

using TrackList = std::vector<std::shared_ptr<CompositionObjectsContainerTrack>>;

} // namespace vtl
