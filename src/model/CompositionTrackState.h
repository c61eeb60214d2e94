#pragma once
// The keyframe of recording and movie tracks: playback speed and the mouse visualization switches
// on top of the rectangular values. Its time is not clamped to the object's duration.

#include "model/CompositionRectangularState.h"
#include "model/ModelKeyCoding.h"

namespace vtl {

// How the pointer of a recording is drawn; archives store the number.
enum class MouseCursorKind : int32_t {
    Recorded = 0, // the recorded cursor images
    Arrow = 1,
    RedRing = 2,
    BlackDot = 3,
};
// The kind of a stored number; numbers that name no kind draw the recorded cursor.
MouseCursorKind mouseCursorKindFromNumber(int32_t number);

class CompositionTrackState : public ModelKeyCoding<CompositionTrackState, CompositionRectangularState> {
public:
    explicit CompositionTrackState(CompositionBaseObject* owner)
        : ModelKeyCoding(owner) {}

    std::string className() const override { return "CompositionTrackState"; }

    void encodeWithCoder(KeyedArchiver& coder) const override;
    void initWithCoder(KeyedUnarchiver& coder) override;

    // Stores without clamping, has the track recache its visualized mouse events, then posts.
    void setTime(double time) override;
    void restoreTime(double time) override { setTime(time); }

    double playbackSpeed() const { return playbackSpeed_; }
    void setPlaybackSpeed(double speed);
    const std::optional<bool>& visualizesMouseCursorNumber() const { return visualizesMouseCursorNumber_; }
    bool visualizesMouseCursor() const { return visualizesMouseCursorNumber_.value_or(false); }
    void setVisualizesMouseCursor(bool flag) { setVisualizesMouseCursorNumber(flag); }
    void setVisualizesMouseCursorNumber(const std::optional<bool>& flag);
    MouseCursorKind mouseCursorKind() const { return mouseCursorKind_; }
    void setMouseCursorKind(MouseCursorKind kind);
    bool visualizesModifiers() const { return visualizesModifers_; }
    void setVisualizesModifiers(bool flag);
    const std::optional<bool>& visualizesMouseEventsNumber() const { return visualizesMouseEventsNumber_; }
    bool visualizesMouseEvents() const { return visualizesMouseEventsNumber_.value_or(false); }
    void setVisualizesMouseEvents(bool flag) { setVisualizesMouseEventsNumber(flag); }
    void setVisualizesMouseEventsNumber(const std::optional<bool>& flag);
    bool playsSoundForMouseClicks() const { return playsSoundForMouseClicks_; }
    void setPlaysSoundForMouseClicks(bool flag);

    // The frame group of a track keyframe covers the mouse visualization values too.
    bool hasFrame() const override;

    static const ModelKeyTable<CompositionTrackState>& keyValueTable();

protected:
    std::shared_ptr<CompositionBaseState> makeEmptyCopy() const override;
    void copyValuesInto(CompositionBaseState& target) const override;

    double playbackSpeed_ = 1.0;
    std::optional<bool> visualizesMouseCursorNumber_;
    MouseCursorKind mouseCursorKind_ = MouseCursorKind::Recorded;
    bool visualizesModifers_ = false;
    std::optional<bool> visualizesMouseEventsNumber_;
    bool playsSoundForMouseClicks_ = false;
};

// The keyframe of movie tracks; adds nothing to the track keyframe.
class CompositionMovieTrackState : public CompositionTrackState {
public:
    explicit CompositionMovieTrackState(CompositionBaseObject* owner)
        : CompositionTrackState(owner) {}
    std::string className() const override { return "CompositionMovieTrackState"; }

protected:
    std::shared_ptr<CompositionBaseState> makeEmptyCopy() const override;
};

} // namespace vtl
