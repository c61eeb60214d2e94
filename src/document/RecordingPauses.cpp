#include "document/RecordingPauses.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

#include <cmath>

namespace vtl {

namespace {
// Beyond this no device records a picture.
constexpr double maximumPauseSizePixels = 32768;
} // namespace

Result<std::vector<RecordingPause>> readRecordingPauses(std::span<const std::uint8_t> bytes,
                                                        const std::string& name) {
    Result<PropertyList> list = PropertyList::fromBytes(bytes);
    if (!list) return fail("The pause list of " + name + " cannot be read: " + list.error());
    const PlistArray* entries = list.value().arrayValue();
    if (!entries) return fail("The pause list of " + name + " is not a list.");
    std::vector<RecordingPause> pauses;
    for (const PropertyList& entry : *entries) {
        const std::optional<double> time = entry.numberForKey("time");
        if (!time || !std::isfinite(*time) || *time <= 0) {
            logMessage("A pause of " + name + " without a usable time is skipped.");
            continue;
        }
        RecordingPause pause{*time, std::nullopt};
        if (const std::string* text = entry.stringForKey("size")) {
            const std::optional<Size> size = parseSize(*text);
            if (size && std::isfinite(size->width) && std::isfinite(size->height) && size->width > 0 &&
                size->height > 0 && size->width <= maximumPauseSizePixels &&
                size->height <= maximumPauseSizePixels)
                pause.size = *size;
            else
                logMessage("The size \"" + *text + "\" of a pause of " + name + " is ignored.");
        }
        pauses.push_back(pause);
    }
    return pauses;
}

} // namespace vtl
