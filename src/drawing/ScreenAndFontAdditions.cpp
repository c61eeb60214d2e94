#include "drawing/ScreenAndFontAdditions.h"

namespace vtl {

std::optional<Screen> referenceScreen(const std::vector<Screen>& screens) {
    if (screens.empty()) return std::nullopt;
    for (const Screen& s : screens)
        if (s.frame.origin == Point{0, 0}) return s;
    return screens.front();
}

std::optional<Screen> referenceScreen() {
    return referenceScreen(Screen::screens());
}

float xPositionOfScreen(const Screen& screen) {
    return static_cast<float>(screen.frame.origin.x);
}

Font systemFontFallbackFontWithName(const std::string& name, double size) {
    if (auto font = Font::withName(name, size)) return *font;
    return Font::systemFont(size);
}

} // namespace vtl
