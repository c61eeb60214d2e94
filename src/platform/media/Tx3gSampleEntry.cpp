#include "platform/media/Tx3gSampleEntry.h"

#include <algorithm>

namespace vtl {

namespace {

void put8(std::vector<std::uint8_t>& out, std::uint8_t value) {
    out.push_back(value);
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, static_cast<std::uint16_t>(value >> 16));
    put16(out, static_cast<std::uint16_t>(value));
}

} // namespace

std::vector<std::uint8_t> Tx3gSampleEntry::bytes() const {
    std::vector<std::uint8_t> out;
    put32(out, displayFlags);
    put8(out, static_cast<std::uint8_t>(horizontalJustification));
    put8(out, static_cast<std::uint8_t>(verticalJustification));
    for (std::uint8_t component : backgroundRGBA)
        put8(out, component);
    for (std::int16_t edge : textBox)
        put16(out, static_cast<std::uint16_t>(edge));
    put16(out, styleStartChar);
    put16(out, styleEndChar);
    put16(out, styleFontId);
    put8(out, styleFaceFlags);
    put8(out, styleFontSize);
    for (std::uint8_t component : textRGBA)
        put8(out, component);

    std::vector<std::uint8_t> table;
    put16(table, static_cast<std::uint16_t>(std::min<std::size_t>(fonts.size(), 0xFFFF)));
    for (std::size_t i = 0; i < fonts.size() && i < 0xFFFF; ++i) {
        const std::string& name = fonts[i].second;
        const std::size_t length = std::min<std::size_t>(name.size(), 255);
        put16(table, fonts[i].first);
        put8(table, static_cast<std::uint8_t>(length));
        table.insert(table.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
    }
    put32(out, static_cast<std::uint32_t>(table.size() + 8));
    out.insert(out.end(), {'f', 't', 'a', 'b'});
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

std::vector<std::uint8_t> tx3gSample(const std::string& utf8Text) {
    std::size_t length = std::min<std::size_t>(utf8Text.size(), 0xFFFF);
    // Back off continuation bytes so no character is cut in half.
    if (length < utf8Text.size())
        while (length > 0 && (static_cast<std::uint8_t>(utf8Text[length]) & 0xC0) == 0x80)
            --length;
    std::vector<std::uint8_t> sample;
    sample.reserve(length + 2);
    put16(sample, static_cast<std::uint16_t>(length));
    sample.insert(sample.end(), utf8Text.begin(), utf8Text.begin() + static_cast<std::ptrdiff_t>(length));
    return sample;
}

} // namespace vtl
