#include "model/CompositionTrackState.h"

#include "model/CompositionBaseObject.h"
#include "platform/foundation/KeyValueCodingTable.h"

namespace vtl {

namespace {

using State = CompositionTrackState;

const KeyValueCodingTable<State>& table() {
    static const auto t =
        KeyValueCodingTable<State>()
            // The optional forms, so an undo can take a number away again.
            .property("visualizesMouseCursor", &State::visualizesMouseCursorNumber,
                      &State::setVisualizesMouseCursorNumber)
            .property("mouseCursorKind", &State::mouseCursorKind, &State::setMouseCursorKind)
            .property("visualizesModifiers", &State::visualizesModifiers, &State::setVisualizesModifiers)
            .property("visualizesMouseEvents", &State::visualizesMouseEventsNumber,
                      &State::setVisualizesMouseEventsNumber)
            .property("playsSoundForMouseClicks", &State::playsSoundForMouseClicks,
                      &State::setPlaysSoundForMouseClicks)
            .property("playbackSpeed", &State::playbackSpeed, &State::setPlaybackSpeed);
    return t;
}

} // namespace

void State::setTime(double time) {
    writeTime(time);
    if (baseObject()) baseObject()->recacheMouseEventsToVisualize();
    postTimeChanged();
}

void State::setPlaybackSpeed(double speed) {
    setObservedValue("playbackSpeed", playbackSpeed_, speed);
}
void State::setVisualizesMouseCursorNumber(const std::optional<bool>& flag) {
    setObservedValue("visualizesMouseCursor", visualizesMouseCursorNumber_, flag);
}
void State::setMouseCursorKind(int32_t kind) {
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

std::vector<std::string> State::undoKeyPaths() const {
    std::vector<std::string> keys = CompositionRectangularState::undoKeyPaths();
    keys.insert(keys.end(), {"visualizesMouseCursor", "mouseCursorKind", "visualizesModifiers",
                             "visualizesMouseEvents", "playsSoundForMouseClicks", "playbackSpeed"});
    return keys;
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

std::any State::valueForKey(const std::string& key) const {
    if (auto* entry = table().find(key)) return entry->get(*this);
    return CompositionRectangularState::valueForKey(key);
}

bool State::setValueForKey(const std::string& key, const std::any& value) {
    if (auto* entry = table().find(key)) return entry->set(*this, value);
    return CompositionRectangularState::setValueForKey(key, value);
}

} // namespace vtl
