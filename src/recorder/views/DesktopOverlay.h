#pragma once
// The desktop cover: a window over the recorded screen in the fill colour, beneath every program's
// windows, on every virtual desktop, optionally with a picture fitted by a stretch mode. Desktop
// icons are always covered: on X11 a desktop's icons are drawn on the desktop window, which the
// cover lies above. Owned by the recording coordinator; main thread.

#include "recorder/RecorderWindows.h"

#include <QImage>
#include <memory>

namespace vtl {

class DesktopOverlayWindow;
class VTLSimpleImageView;

class DesktopOverlay final : public RecorderWindow {
public:
    // The cover of `options` (the picture, when it loads; otherwise logged and left out); nullptr
    // without a widgets application.
    static std::unique_ptr<RecorderWindow> create(const DesktopCoverOptions& options);

    DesktopOverlay(const Rect& screenX11, const DesktopFillColor& color);
    ~DesktopOverlay() override;
    void setImage(const QImage& image, int stretchMode);
    DesktopOverlayWindow* window() const { return window_.get(); }

private:
    std::unique_ptr<DesktopOverlayWindow> window_;
    VTLSimpleImageView* imageView_ = nullptr; // owned by the window
};

} // namespace vtl
