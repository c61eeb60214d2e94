#pragma once
// A triggered state: a time range on a timeline object (times relative to the object's start)
// during which an effect driven by recorded events applies. Owned by its object's list of
// triggered states; the pointer back to the object is not owned. Main thread only.

#include "model/CompositionUndoObject.h"
#include "model/ModelKeyCoding.h"

#include <memory>
#include <string>

namespace vtl {

class CompositionBaseObject;

class CompositionBaseTriggeredState
    : public ModelKeyCoding<CompositionBaseTriggeredState, CompositionUndoObject> {
public:
    static constexpr double kMinimumDuration = 0.5;
    static constexpr double kEffectDuration = 0.1;

    CompositionBaseTriggeredState() = default;
    CompositionBaseTriggeredState(double startTime, double endTime)
        : startTime_(startTime)
        , endTime_(endTime) {}

    std::string className() const override { return "CompositionBaseTriggeredState"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    virtual double minimumDuration() const { return kMinimumDuration; }
    virtual double effectDuration() const { return kEffectDuration; }

    double startTime() const { return startTime_; }
    double endTime() const { return endTime_; }
    double duration() const { return endTime_ - startTime_; }
    CompositionBaseObject* object() const { return object_; }
    void setObject(CompositionBaseObject* object) { object_ = object; }

    // Store and invalidate the owner.
    virtual void setStartTime(double time);
    virtual void setEndTime(double time);
    double globalStartTime() const;
    double globalEndTime() const;
    void setGlobalStartTime(double time);
    void setGlobalEndTime(double time);
    // All three at once, without notification.
    void setStartTimeEndTimeObject(double start, double end, CompositionBaseObject* object);
    // A zero delta does nothing. The setters invalidate the owner; it is told once more at the end
    // unless asked not to.
    enum class OwnerUpdate { Invalidate, Skip };
    virtual void shiftStateBy(double delta, OwnerUpdate ownerUpdate = OwnerUpdate::Invalidate);

    // A copy with the same range and owner (a state of the same kind).
    virtual std::shared_ptr<CompositionBaseTriggeredState> copy() const;

    // Whether the state could be dragged (whole, start, end) to the time; when not, the state in
    // the way is handed out.
    bool canBeDraggedToTime(double time,
                            std::shared_ptr<CompositionBaseTriggeredState>* inTheWay = nullptr) const;
    bool startCanBeDraggedToTime(double time,
                                 std::shared_ptr<CompositionBaseTriggeredState>* inTheWay = nullptr) const;
    bool endCanBeDraggedToTime(double time,
                               std::shared_ptr<CompositionBaseTriggeredState>* inTheWay = nullptr) const;

    CompositionUndoManager* undoManager() const override;
    void updateAfterUndo() override;
    virtual std::string description() const;

    static const ModelKeyTable<CompositionBaseTriggeredState>& keyValueTable();

protected:
    void invalidateOwner() const;
    void copyRangeInto(CompositionBaseTriggeredState& target) const;

    double startTime_ = 0;
    double endTime_ = 0;
    CompositionBaseObject* object_ = nullptr;
};

using TriggeredStateList = std::vector<std::shared_ptr<CompositionBaseTriggeredState>>;

} // namespace vtl
