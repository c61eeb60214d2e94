#pragma once
// The desktop cover's window: borderless, kept beneath every other window, never focused or
// activated (it can become neither key nor main window). Owned by the DesktopOverlay.

#include <QWidget>

namespace vtl {

class DesktopOverlayWindow : public QWidget {
public:
    DesktopOverlayWindow();
};

} // namespace vtl
