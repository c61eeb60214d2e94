#include "platform/graphics/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace vtl {

Rect Screen::globalRectFromWindowSystem(const Rect& r, double primaryHeight) {
    return {r.minX(), primaryHeight - r.maxY(), r.width(), r.height()};
}

std::vector<Screen> Screen::screens() {
    std::vector<Screen> out;
    if (!QGuiApplication::instance()) return out;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return out;
    double primaryHeight = primary->geometry().height();
    QList<QScreen*> list = QGuiApplication::screens();
    list.removeAll(primary);
    list.prepend(primary);
    for (QScreen* s : list) {
        QRect g = s->geometry(), v = s->availableGeometry();
        Screen screen;
        screen.name = s->name().toStdString();
        screen.frame = globalRectFromWindowSystem(Rect(g.x(), g.y(), g.width(), g.height()), primaryHeight);
        screen.visibleFrame =
            globalRectFromWindowSystem(Rect(v.x(), v.y(), v.width(), v.height()), primaryHeight);
        screen.backingScaleFactor = s->devicePixelRatio();
        out.push_back(screen);
    }
    return out;
}

} // namespace vtl
