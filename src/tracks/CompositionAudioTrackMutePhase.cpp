#include "tracks/CompositionAudioTrackMutePhase.h"

namespace vtl {

std::shared_ptr<CompositionBaseTriggeredState> CompositionAudioTrackMutePhase::copy() const {
    auto target = makeModelObject<CompositionAudioTrackMutePhase>();
    copyRangeInto(*target);
    return target;
}

void CompositionAudioTrackMutePhase::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionAudioTrackMutePhase", "CompositionTrackTriggeredState", [] {
        return std::static_pointer_cast<Archivable>(makeModelObject<CompositionAudioTrackMutePhase>());
    });
}

} // namespace vtl
