#pragma once
// The application object that text objects need for fonts and text layout, made once per fuzz
// process on the offscreen platform, with the toolkit's own messages silenced. It stays until the
// process ends: tearing it down among other static objects is not worth the risk.

#include <QGuiApplication>
#include <cstdlib>

namespace vtl::fuzz {

inline void ensureGuiApplication() {
    static const QGuiApplication* application = []() -> QGuiApplication* {
        if (QGuiApplication::instance()) return nullptr;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        static int argc = 1;
        static char name[] = "fuzzer";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)application;
}

} // namespace vtl::fuzz
