#pragma once
// One QApplication for a widget test binary, on the offscreen platform unless the environment
// names another; torn down by the test framework before Qt's own exit handlers run. Also the
// helpers widget tests share.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace vtl::test {

class WidgetsTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QApplication::instance()) return;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "widget_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

// Runs the event loop until the predicate holds or the time is up; returns the predicate.
inline bool processEventsUntil(const std::function<bool()>& predicate, int timeoutMs = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs) return predicate();
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        // Deferred deletions wait for an event loop to return to; run them as the loop would.
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

inline void processEventsFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// What the widget shows, as an image of its own size (subviews and layer effects included).
inline QImage renderWidget(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

} // namespace vtl::test
