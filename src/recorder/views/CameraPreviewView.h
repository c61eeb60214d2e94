#pragma once
// Shows a camera's live picture, fitted into the view with its proportions kept, refreshed at the
// camera's pace. Owned by its window (the recorder's camera preview window); main thread only.

#include "recorder/CameraPreviewWindow.h"

#include <QTimer>
#include <QWidget>

namespace vtl {

class CameraPreviewView : public QWidget {
public:
    explicit CameraPreviewView(QWidget* parent = nullptr);
    // The camera to show; an empty source shows black.
    void setCamera(CameraPictureSource source);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CameraPictureSource source_;
    QTimer timer_;
    std::vector<std::uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

// The recorder program's camera preview window.
std::unique_ptr<CameraPreviewWindow>
makeCameraPreviewWindow(const std::string& title, const Rect& contentRect, CameraPictureSource source);

} // namespace vtl
