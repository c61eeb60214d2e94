#include "platform/capture/KeyCodes.h"

#include <array>
#include <cstdio>

namespace vtl {

namespace {

struct KeyEntry {
    std::uint32_t keyCode;
    const char* name;
    std::uint32_t keySymbol;
};

// Key symbols are X11's (keysymdef): letters in lower case, as the key map lists them first.
constexpr KeyEntry kKeys[] = {
    {0, "A", 0x61},
    {1, "S", 0x73},
    {2, "D", 0x64},
    {3, "F", 0x66},
    {4, "H", 0x68},
    {5, "G", 0x67},
    {6, "Z", 0x7a},
    {7, "X", 0x78},
    {8, "C", 0x63},
    {9, "V", 0x76},
    {11, "B", 0x62},
    {12, "Q", 0x71},
    {13, "W", 0x77},
    {14, "E", 0x65},
    {15, "R", 0x72},
    {16, "Y", 0x79},
    {17, "T", 0x74},
    {18, "1", 0x31},
    {19, "2", 0x32},
    {20, "3", 0x33},
    {21, "4", 0x34},
    {22, "6", 0x36},
    {23, "5", 0x35},
    {24, "=", 0x3d},
    {25, "9", 0x39},
    {26, "7", 0x37},
    {27, "-", 0x2d},
    {28, "8", 0x38},
    {29, "0", 0x30},
    {30, "]", 0x5d},
    {31, "O", 0x6f},
    {32, "U", 0x75},
    {33, "[", 0x5b},
    {34, "I", 0x69},
    {35, "P", 0x70},
    {36, "Return", 0xff0d},
    {37, "L", 0x6c},
    {38, "J", 0x6a},
    {39, "'", 0x27},
    {40, "K", 0x6b},
    {41, ";", 0x3b},
    {42, "|", 0x5c},
    {43, "<", 0x2c},
    {44, "?", 0x2f},
    {45, "N", 0x6e},
    {46, "M", 0x6d},
    {47, ">", 0x2e},
    {48, "Tab", 0xff09},
    {49, "Space", 0x20},
    {50, "~", 0x60},
    {51, "Delete", 0xff08},
    {52, "Enter", 0xff8d},
    {53, "Escape", 0xff1b},
    {55, "Command", 0xffeb},
    {56, "Shift", 0xffe1},
    {57, "Caps Lock", 0xffe5},
    {58, "Option", 0xffe9},
    {59, "Control", 0xffe3},
    {65, "KP .", 0xffae},
    {67, "KP *", 0xffaa},
    {69, "KP +", 0xffab},
    {71, "KP Clear", 0xff7f},
    {75, "KP /", 0xffaf},
    {76, "Enter", 0xff8d},
    {78, "KP -", 0xffad},
    {81, "KP =", 0xffbd},
    {82, "KP 0", 0xffb0},
    {83, "KP 1", 0xffb1},
    {84, "KP 2", 0xffb2},
    {85, "KP 3", 0xffb3},
    {86, "KP 4", 0xffb4},
    {87, "KP 5", 0xffb5},
    {88, "KP 6", 0xffb6},
    {89, "KP 7", 0xffb7},
    {91, "KP 8", 0xffb8},
    {92, "KP 9", 0xffb9},
    {96, "F5", 0xffc2},
    {97, "F6", 0xffc3},
    {98, "F7", 0xffc4},
    {99, "F3", 0xffc0},
    {100, "F8", 0xffc5},
    {101, "F9", 0xffc6},
    {103, "F11", 0xffc8},
    {105, "F13", 0xffca},
    {109, "F10", 0xffc7},
    {111, "F12", 0xffc9},
    {115, "Home", 0xff50},
    {116, "Page Up", 0xff55},
    {117, "Forward Delete", 0xffff},
    {118, "F4", 0xffc1},
    {119, "End", 0xff57},
    {120, "F2", 0xffbf},
    {121, "Page Down", 0xff56},
    {122, "F1", 0xffbe},
    {123, "Left Arrow", 0xff51},
    {124, "Right Arrow", 0xff53},
    {125, "Down Arrow", 0xff54},
    {126, "Up Arrow", 0xff52},
};

const KeyEntry* entryFor(std::uint32_t keyCode) {
    for (const KeyEntry& entry : kKeys)
        if (entry.keyCode == keyCode) return &entry;
    return nullptr;
}

} // namespace

std::string stringFromKeyCode(std::uint32_t keyCode) {
    if (const KeyEntry* entry = entryFor(keyCode)) return entry->name;
    char text[16];
    std::snprintf(text, sizeof text, "%x", keyCode);
    return text;
}

std::uint32_t keyCodeForDigit(int digit) {
    constexpr std::array<std::uint32_t, 10> codes = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
    if (digit < 0 || digit > 9) return 0;
    return codes[static_cast<std::size_t>(digit)];
}

std::optional<std::uint32_t> keySymbolForKeyCode(std::uint32_t keyCode) {
    if (const KeyEntry* entry = entryFor(keyCode)) return entry->keySymbol;
    return std::nullopt;
}

std::uint16_t x11ModifiersForMask(std::uint32_t modifiers) {
    std::uint16_t x11 = 0;
    if (modifiers & kShiftKeyMask) x11 |= 1;    // Shift
    if (modifiers & kControlKeyMask) x11 |= 4;  // Control
    if (modifiers & kOptionKeyMask) x11 |= 8;   // Mod1
    if (modifiers & kCommandKeyMask) x11 |= 64; // Mod4
    return x11;
}

std::string hotKeyText(std::uint32_t keyCode, std::uint32_t modifiers) {
    std::string text;
    if (modifiers & kControlKeyMask) text += "Control-";
    if (modifiers & kOptionKeyMask) text += "Option-";
    if (modifiers & kShiftKeyMask) text += "Shift-";
    if (modifiers & kCommandKeyMask) text += "Command-";
    return text + stringFromKeyCode(keyCode);
}

} // namespace vtl
