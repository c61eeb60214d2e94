#pragma once
// One timed-text (subtitle) track of a MovieWriter. Plain value.

#include <cstdint>
#include <string>
#include <vector>

namespace vtl {

struct TextTrackSettings {
    // The tx3g sample entry body (see Tx3gSampleEntry).
    std::vector<std::uint8_t> sampleEntry;
    int widthPixels = 0; // the text box the track spans
    int heightPixels = 0;
    std::string languageCode;
    std::string title;
};

} // namespace vtl
