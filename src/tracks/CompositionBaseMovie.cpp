#include "tracks/CompositionBaseMovie.h"

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"

namespace vtl {

void CompositionBaseMovie::encodeWithCoder(KeyedArchiver& coder) const {
    coder.encodeObject("key_mediaEntry", ArchivedValue(mediaEntry_));
}

void CompositionBaseMovie::initWithCoder(KeyedUnarchiver& coder) {
    mediaEntry_ = coder.decodeObjectOfClass<CompositionMediaEntry>("key_mediaEntry");
}

void CompositionBaseMovie::registerClasses(ArchiveClassRegistry& registry) {
    registry.registerClass("CompositionBaseMovie", "NSObject", nullptr);
}

double CompositionBaseMovie::longestTrackDuration() const {
    assertionFailure("CompositionBaseMovie", 0, "implement me");
    return 0;
}

} // namespace vtl
