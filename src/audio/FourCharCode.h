#pragma once
// Four-character codes: the stored identifiers of effect kinds ('aufx', 'lpas'), held as 32-bit
// numbers with the first character in the highest byte.

#include <cstdint>
#include <string>
#include <string_view>

namespace vtl {

using FourCharCode = std::uint32_t;

constexpr FourCharCode fourCharCode(const char (&text)[5]) {
    return (static_cast<FourCharCode>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<FourCharCode>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<FourCharCode>(static_cast<unsigned char>(text[3]));
}

// "lpas" for 'lpas'; unprintable bytes become '?'.
std::string fourCharCodeText(FourCharCode code);

} // namespace vtl
