#pragma once
// The window that shows the recorded camera's live picture on another screen while recording.
// The coordinator owns it from the prepare to the stop; the window itself (a widget of the
// recorder program) comes through the coordinator's services.

#include "platform/foundation/Geometry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

// The newest picture (B, G, R, A rows) and its size; false while there is none yet.
using CameraPictureSource =
    std::function<bool(std::vector<std::uint8_t>& pixels, int& widthPixels, int& heightPixels)>;

class CameraPreviewWindow {
public:
    virtual ~CameraPreviewWindow() = default;
    virtual void hide() = 0;
};

// Makes the window: titled, resizable, its content at `contentRect` (global points, y up).
using CameraPreviewWindowFactory = std::function<std::unique_ptr<CameraPreviewWindow>(
    const std::string& title, const Rect& contentRect, CameraPictureSource source)>;

} // namespace vtl
