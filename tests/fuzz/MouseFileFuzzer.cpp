// Prepares a recording's "mouse" file made of fuzzer bytes (a property list in either form) the
// way a recording track does, then runs the lookups over what it kept.
#include "tracks/metadata/RecordedMetadataLookups.h"
#include "tracks/metadata/RecordedMouseData.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto file = vtl::PropertyList::fromBytes(std::span<const std::uint8_t>(data, size));
    if (!file) return 0;
    const double scale = size > 0 ? data[0] / 64.0 : 1.0;
    vtl::PreparedMouseMetadata prepared = vtl::prepareMouseMetadata(&file.value(), scale);
    for (double t : {-1.0, 0.0, 0.5, 1.0, 7200.0}) {
        bool valid = false;
        (void)vtl::mouseLocationAtTime(*prepared.locations, t, &valid);
        (void)vtl::focusRectAtTime(*prepared.focusRects, t, &valid);
        (void)vtl::focusEntriesValidAtTime(*prepared.focusRects, t);
        (void)vtl::mouseWheelEventsFromTo(*prepared.wheelEvents, t - 1, t);
        (void)vtl::mouseEventsFromTo(*prepared.clicks, 1, t - 1, t);
        (void)vtl::indexOfClosestEventInArray(*prepared.clicks, t);
        (void)vtl::smoothedMouseLocationAtTime(*prepared.locations, t, &valid, 0.5, 0.5);
    }
    (void)vtl::plistArrayOfClicks(*prepared.clicks);
    (void)vtl::plistArrayOfFocusRects(*prepared.focusRects);
    return 0;
}
