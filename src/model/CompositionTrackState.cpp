#include "model/CompositionTrackState.h"

#include "model/CompositionBaseObject.h"
#include "model/MediaTrackCapability.h"

namespace vtl {

namespace {

using State = CompositionTrackState;

} // namespace

MouseCursorKind mouseCursorKindFromNumber(int32_t number) {
    if (number < static_cast<int32_t>(MouseCursorKind::Recorded) ||
        number > static_cast<int32_t>(MouseCursorKind::BlackDot))
        return MouseCursorKind::Recorded;
    return static_cast<MouseCursorKind>(number);
}

const ModelKeyTable<CompositionTrackState>& CompositionTrackState::keyValueTable() {
    static const auto table =
        ModelKeyTable<State>()
            // The optional forms, so an undo can take a number away again.
            .undoable("visualizesMouseCursor", &State::visualizesMouseCursorNumber,
                      &State::setVisualizesMouseCursorNumber)
            .undoable("mouseCursorKind", &State::mouseCursorKind, &State::setMouseCursorKind)
            .undoable("visualizesModifiers", &State::visualizesModifiers, &State::setVisualizesModifiers)
            .undoable("visualizesMouseEvents", &State::visualizesMouseEventsNumber,
                      &State::setVisualizesMouseEventsNumber)
            .undoable("playsSoundForMouseClicks", &State::playsSoundForMouseClicks,
                      &State::setPlaysSoundForMouseClicks)
            .undoable("playbackSpeed", &State::playbackSpeed, &State::setPlaybackSpeed);
    return table;
}

void State::setTime(double time) {
    writeTime(time);
    if (MediaTrackCapability* track = baseObject() ? baseObject()->asMediaTrack() : nullptr)
        track->recacheMouseEventsToVisualize();
    postTimeChanged();
}

void State::setPlaybackSpeed(double speed) {
    setObservedValue("playbackSpeed", playbackSpeed_, speed);
}
void State::setVisualizesMouseCursorNumber(const std::optional<bool>& flag) {
    setObservedValue("visualizesMouseCursor", visualizesMouseCursorNumber_, flag);
}
void State::setMouseCursorKind(MouseCursorKind kind) {
    setObservedValue("mouseCursorKind", mouseCursorKind_, kind);
}
void State::setVisualizesModifiers(bool flag) {
    setObservedValue("visualizesModifiers", visualizesModifers_, flag);
}
void State::setVisualizesMouseEventsNumber(const std::optional<bool>& flag) {
    setObservedValue("visualizesMouseEvents", visualizesMouseEventsNumber_, flag);
}
void State::setPlaysSoundForMouseClicks(bool flag) {
    setObservedValue("playsSoundForMouseClicks", playsSoundForMouseClicks_, flag);
}

bool State::hasFrame() const {
    return visualizesMouseCursorNumber_.has_value() || visualizesMouseEventsNumber_.has_value() ||
           CompositionRectangularState::hasFrame();
}

std::shared_ptr<CompositionBaseState> State::makeEmptyCopy() const {
    return makeModelObject<State>(baseObject());
}

std::shared_ptr<CompositionBaseState> CompositionMovieTrackState::makeEmptyCopy() const {
    return makeModelObject<CompositionMovieTrackState>(baseObject());
}

void State::copyValuesInto(CompositionBaseState& base) const {
    CompositionRectangularState::copyValuesInto(base);
    auto& target = static_cast<State&>(base);
    // A copy always carries both visualization numbers.
    target.visualizesMouseCursorNumber_ = visualizesMouseCursor();
    target.mouseCursorKind_ = mouseCursorKind_;
    target.visualizesMouseEventsNumber_ = visualizesMouseEvents();
    target.playsSoundForMouseClicks_ = playsSoundForMouseClicks_;
    target.playbackSpeed_ = playbackSpeed_;
    target.visualizesModifers_ = visualizesModifers_;
}

} // namespace vtl
