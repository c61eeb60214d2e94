#pragma once
// A panel that can become key and main and paints its own translucent rounded background, which
// it paints again whenever any window resizes or changes key or main state. Owned by whoever
// creates it.

#include "platform/foundation/Geometry.h"

#include <QWidget>

namespace vtl {

class ActivatablePanel : public QWidget {
public:
    // The original's style mask and deferral have no Qt counterpart; the panel is a tool window.
    explicit ActivatablePanel(const Rect& contentRect);
    ~ActivatablePanel() override;

    bool canBecomeKeyWindow() const { return true; }
    bool canBecomeMainWindow() const { return true; }
    void adjustBackgroundForFullscreen() { paintBackground(); }
    void adjustBackgroundForWindowed() { paintBackground(); }
    // How often the background was painted (tests read it).
    int backgroundPaintCount() const { return backgroundPaintCount_; }
    // The background image: the panel's size, a rounded rectangle (radius 7) in white 0.93 at 0.97.
    const QImage& backgroundImage() const { return background_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void initCustomBackground();
    void deallocCustomBackground();
    void windowDidResize();
    void paintBackground();

    QImage background_;
    int backgroundPaintCount_ = 0;
};

} // namespace vtl
