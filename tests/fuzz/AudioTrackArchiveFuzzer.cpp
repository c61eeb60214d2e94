// Feeds arbitrary bytes to the decoding of an audio track object from a keyed archive (its effect
// settings, switches and the two archived waveform arrays), then scales and lays out its waveform
// and archives it again; the same bytes also go straight to the waveform arrays' decoder, split in
// two. The sound file itself is not opened.

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "tracks/AudioWaveform.h"
#include "tracks/CompositionAudioTrackObject.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        vtl::CompositionAudioTrackObject::registerClasses();
        return true;
    }();
    (void)registered;
    const std::size_t half = size / 2;
    const vtl::waveform::Arrays arrays = vtl::waveform::decodeArrays(
        vtl::PlistBytes(data, data + half), vtl::PlistBytes(data + half, data + size));
    (void)vtl::waveform::band(arrays.extents, vtl::Size{300, 40}, 0.3, 20.0, 25.0, vtl::Point{0, 0});

    auto track = vtl::KeyedUnarchiver::unarchive<vtl::CompositionAudioTrackObject>(
        std::span<const std::uint8_t>(data, size));
    if (!track.ok() || !track.value()) return 0;
    vtl::CompositionAudioTrackObject& audio = *track.value();
    audio.rescaleSamplesWithScale(0.95f);
    (void)vtl::waveform::band(audio.waveformExtents(), vtl::Size{300, 40}, 1.03, 5.0, 25.0,
                              vtl::Point{17, 3});
    (void)vtl::KeyedArchiver::archivedData(track.value());
    return 0;
}
