#pragma once
// Stored hot keys use the original's virtual key codes (US keyboard) and modifier masks; this one
// table gives each code its display name and its X11 key symbol, and maps the masks to X11's.

#include <cstdint>
#include <optional>
#include <string>

namespace vtl {

// The original's modifier masks as stored.
inline constexpr std::uint32_t kCommandKeyMask = 0x100;
inline constexpr std::uint32_t kShiftKeyMask = 0x200;
inline constexpr std::uint32_t kOptionKeyMask = 0x800;
inline constexpr std::uint32_t kControlKeyMask = 0x1000;

// The key's name ("C", "Return", "KP 7", "F5"); others: the code in lower-case hexadecimal.
std::string stringFromKeyCode(std::uint32_t keyCode);
// 0–9 to their key codes; anything else 0.
std::uint32_t keyCodeForDigit(int digit);
// The X11 key symbol of a stored key code; nullopt for codes without one.
std::optional<std::uint32_t> keySymbolForKeyCode(std::uint32_t keyCode);
// X11 modifier bits (Shift 1, Control 4, Mod1 8, Mod4 64) of a stored mask; other bits are dropped.
std::uint16_t x11ModifiersForMask(std::uint32_t modifiers);
// "Control-Option-C": the modifiers in the original's order, then the key's name.
std::string hotKeyText(std::uint32_t keyCode, std::uint32_t modifiers);

} // namespace vtl
