#pragma once
// The description of a 3GPP timed-text track (sample entry "tx3g"): display flags, justification,
// colours, the default text box and style, and the font table. Plain value; bytes() gives the
// entry's body as a movie file stores it after the generic sample-entry header.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vtl {

struct Tx3gSampleEntry {
    std::uint32_t displayFlags = 0;
    std::int8_t horizontalJustification = 0;
    std::int8_t verticalJustification = 0;
    std::uint8_t backgroundRGBA[4] = {0, 0, 0, 255};
    // Default text box: top, left, bottom, right.
    std::int16_t textBox[4] = {0, 0, 0, 0};
    // Default style.
    std::uint16_t styleStartChar = 0;
    std::uint16_t styleEndChar = 0;
    std::uint16_t styleFontId = 1;
    std::uint8_t styleFaceFlags = 0;
    std::uint8_t styleFontSize = 255;
    std::uint8_t textRGBA[4] = {255, 255, 255, 255};
    // Font identifiers and names (names longer than 255 bytes are cut).
    std::vector<std::pair<std::uint16_t, std::string>> fonts = {{1, "Sans-Serif"}};

    std::vector<std::uint8_t> bytes() const;
};

// One timed-text sample: the UTF-8 text after its 16-bit big-endian length. Text longer than
// 65535 bytes is cut at the last whole character that fits.
std::vector<std::uint8_t> tx3gSample(const std::string& utf8Text);

} // namespace vtl
