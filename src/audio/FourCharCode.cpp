#include "audio/FourCharCode.h"

namespace vtl {

std::string fourCharCodeText(FourCharCode code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>((code >> (24 - 8 * i)) & 0xFF);
        if (c >= 0x20 && c < 0x7F) text[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return text;
}

} // namespace vtl
