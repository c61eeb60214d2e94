#include "recorder/RecorderWindows.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace vtl {

std::optional<DesktopFillColor> parseDesktopFillColor(std::string_view text) {
    std::vector<double> components;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string_view::npos) end = text.size();
        std::string part(text.substr(start, end - start));
        char* stop = nullptr;
        double value = std::strtod(part.c_str(), &stop);
        if (part.empty() || stop != part.c_str() + part.size() || !std::isfinite(value) || value < 0 ||
            value > 1)
            return std::nullopt;
        components.push_back(value);
        start = end + 1;
    }
    if (components.size() != 4) return std::nullopt;
    return DesktopFillColor{components[0], components[1], components[2], components[3]};
}

std::string desktopFillColorText(const DesktopFillColor& color) {
    char text[128];
    std::snprintf(text, sizeof text, "%g;%g;%g;%g", color.red, color.green, color.blue, color.alpha);
    return text;
}

} // namespace vtl
