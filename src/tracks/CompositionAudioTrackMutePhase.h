#pragma once
// A time range of an audio track (media seconds, like every triggered state of a track) during
// which the track is silent. Owned by its track's list of triggered states; main thread only.

#include "model/CompositionEventTriggeredState.h"
#include "platform/foundation/KeyedArchiveRegistry.h"

namespace vtl {

class CompositionAudioTrackMutePhase : public CompositionTrackTriggeredState {
public:
    using CompositionTrackTriggeredState::CompositionTrackTriggeredState;
    std::string className() const override { return "CompositionAudioTrackMutePhase"; }
    // A new phase with the same range and object.
    std::shared_ptr<CompositionBaseTriggeredState> copy() const override;
    static void registerClasses(ArchiveClassRegistry& registry = ArchiveClassRegistry::shared());
};

} // namespace vtl
