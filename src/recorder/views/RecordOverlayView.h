#pragma once
// The frame around the recorded area while recording: everything outside the area is dimmed with
// 50 % grey at 50 % alpha, the area stays clear. The window lets clicks through and has the area
// cut out of its shape, so no screen grab ever sees the frame inside the recorded area, with or
// without a compositor. Owned by the recording coordinator; main thread.

#include "recorder/RecorderWindows.h"

#include <QImage>
#include <QWidget>
#include <memory>

namespace vtl {

class RecordOverlayView : public QWidget {
public:
    RecordOverlayView();
    // The record rectangle in the view's coordinates (y down).
    void setRecordRect(const QRect& rect);
    void setFrameSize(const QSize& size);
    void redoImage();
    const QImage& cachedImage() const { return cachedImage_; }

    // The frame window of `options`; nullptr without a widgets application.
    static std::unique_ptr<RecorderWindow> create(const RecordAreaFrameOptions& options);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect recordRect_;
    QImage cachedImage_;
};

} // namespace vtl
