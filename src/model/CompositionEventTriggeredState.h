#pragma once
// A triggered state driven by recorded events (a zoom that follows clicks and focus changes):
// caches the mouse and focus events inside its range and the moments the mouse enters or leaves
// the focus rectangle. The recorded lists are shared with the owner and set by it after loading.

#include "model/CompositionBaseTriggeredState.h"
#include "model/ModelKeyCoding.h"
#include "platform/foundation/PropertyList.h"

namespace vtl {

class CompositionEventTriggeredState
    : public ModelKeyCoding<CompositionEventTriggeredState, CompositionBaseTriggeredState> {
public:
    static constexpr double kMinimumDuration = 1.0;
    static constexpr double kEffectDuration = 0.5;
    // Re-entering the same focus rectangle sooner than this after leaving it counts as staying.
    static constexpr double kQuickReentrySeconds = 1.0;

    // An empty state: zoom factor 2.0, zoom time 0 (decoding fills it).
    CompositionEventTriggeredState() = default;
    CompositionEventTriggeredState(double startTime, double endTime);

    std::string className() const override { return "CompositionEventTriggeredState"; }
    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;
    double minimumDuration() const override { return kMinimumDuration; }
    double effectDuration() const override { return kEffectDuration; }

    void setStartTime(double time) override;
    void setEndTime(double time) override;
    void shiftStateBy(double delta, OwnerUpdate ownerUpdate = OwnerUpdate::Invalidate) override;

    int32_t kind() const { return kind_; }
    void setKind(int32_t kind);
    int32_t suspensionBehaviour() const { return suspensionBehaviour_; }
    void setSuspensionBehaviour(int32_t behaviour);
    int32_t followBehaviour() const { return followBehaviour_; }
    void setFollowBehaviour(int32_t behaviour);
    double maximumZoomFactor() const { return maximumZoomFactor_; }
    void setMaximumZoomFactor(double factor);
    double zoomTime() const { return zoomTime_; }
    void setZoomTime(double seconds);

    // Dictionaries with "time" (mouse) and "time" + "focusRect" (focus), ascending by time.
    void setMouseEvents(const PlistArray& events);
    void setFocusEvents(const PlistArray& events);
    const PlistArray& relevantMouseEvents() const { return relevantEvents_; }
    const PlistArray& relevantFocusEvents() const { return relevantFocusEvents_; }
    // {"inside": bool, "time": seconds[, "focusRect": rectangle text]}.
    const PlistArray& mouseEnterLeaveFocusRectsEvents() const { return mouseEnterLeaveFocusRectEvents_; }

    void recacheRelevantEvents();
    void recacheMouseEnterLeaveEvents();

    std::shared_ptr<CompositionBaseTriggeredState> copy() const override;
    std::string description() const override;

    static const ModelKeyTable<CompositionEventTriggeredState>& keyValueTable();

private:
    int32_t kind_ = 0;
    int32_t suspensionBehaviour_ = 0;
    int32_t followBehaviour_ = 0;
    PlistArray events_;
    PlistArray relevantEvents_;
    PlistArray focusEvents_;
    PlistArray relevantFocusEvents_;
    PlistArray mouseEnterLeaveFocusRectEvents_;
    double maximumZoomFactor_ = 2.0;
    double zoomTime_ = 0;
};

// A triggered state of a media track, aware of the part of the movie cut away at its start.
class CompositionTrackTriggeredState : public CompositionBaseTriggeredState {
public:
    using CompositionBaseTriggeredState::CompositionBaseTriggeredState;
    std::string className() const override { return "CompositionTrackTriggeredState"; }
    double cropCorrectedStartTime() const;
    double cropCorrectedEndTime() const { return cropCorrectedStartTime() + duration(); }
    std::shared_ptr<CompositionBaseTriggeredState> copy() const override;
};

} // namespace vtl
