// Feeds arbitrary bytes to the decoding of an imported movie's track object from a keyed archive
// (its movie wrapper, override size and archived thumbnails), then reads its thumbnails, lays out
// a thumbnail strip and archives it again. The movie file itself is not opened.

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "tracks/CompositionMovieTrackObject.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        vtl::CompositionMovieTrackObject::registerClasses();
        return true;
    }();
    (void)registered;
    auto track = vtl::KeyedUnarchiver::unarchive<vtl::CompositionMovieTrackObject>(
        std::span<const std::uint8_t>(data, size));
    if (!track.ok() || !track.value()) return 0;
    vtl::CompositionMovieTrackObject& movie = *track.value();
    (void)movie.originalSize();
    (void)movie.currentBitmapImageSize();
    for (double time : {-1.0, 0.0, 0.4, 1e9})
        (void)movie.thumbAtTime(time);
    (void)movie.thumbPlacements(vtl::Size{300, 40}, 0.5, 30.0, vtl::Point{17, 3}, 1.2);
    (void)vtl::KeyedArchiver::archivedData(track.value());
    return 0;
}
