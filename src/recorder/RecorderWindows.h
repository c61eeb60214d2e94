#pragma once
// The recorder's windows as the recording coordinator asks for them: the desktop cover, the frame
// around the recorded area and the wait window shown while the recording is finished. The
// recorder program makes them with its widget library; the coordinator owns each one it gets and
// closes it by letting it go. Main thread.

#include "platform/foundation/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vtl {

class RecorderWindow {
public:
    virtual ~RecorderWindow() = default;
};

struct DesktopFillColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool operator==(const DesktopFillColor&) const = default;
};

struct DesktopCoverOptions {
    Rect screenX11;         // the recorded screen in X11 root pixels, y down
    DesktopFillColor color; // what covers the desktop
    bool hideIcons = false;
    std::string imagePath; // a picture over the colour; empty for none
    int stretchMode = 0;   // how the picture is fitted (RecorderStretchMode)
};

struct RecordAreaFrameOptions {
    Rect screenX11; // the recorded screen in X11 root pixels, y down
    Rect areaX11;   // the recorded area in the same pixels: left clear, everything else dimmed
};

// "desktopFillColor": the "r;g;b;a" text of components from 0 to 1; nullopt when it is not.
std::optional<DesktopFillColor> parseDesktopFillColor(std::string_view text);
std::string desktopFillColorText(const DesktopFillColor& color);

} // namespace vtl
