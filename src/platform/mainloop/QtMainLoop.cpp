#include "platform/mainloop/QtMainLoop.h"

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/Log.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QMetaObject>

namespace vtl {
namespace {

QMetaObject::Connection gPassConnection;

} // namespace

void uninstallQtMainLoop() {
    MainLoop::setWakeUpHook(nullptr);
    if (gPassConnection) QObject::disconnect(gPassConnection);
    gPassConnection = {};
}

void installQtMainLoop() {
    VTL_ASSERT(isMainThread(), "installQtMainLoop must run on the main thread");
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        assertionFailure(__FILE__, __LINE__, "installQtMainLoop needs the application object");
        return;
    }
    uninstallQtMainLoop();
    // Runs in the application object's destructor, before it is gone for other threads. The
    // application forgets its post routines once run, so each installation adds its own.
    qAddPostRoutine([] { uninstallQtMainLoop(); });
    if (auto* dispatcher = QAbstractEventDispatcher::instance(app->thread()))
        gPassConnection = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [] {
            MainLoop::performPendingTasks();
            MainLoop::endPass();
        });
    // Called from any thread; the hook is cleared (under the main loop's lock) before the
    // application object is destroyed, so the pointer is valid whenever this runs.
    MainLoop::setWakeUpHook([app] {
        QMetaObject::invokeMethod(
            app, [] { MainLoop::performPendingTasks(); }, Qt::QueuedConnection);
    });
}

} // namespace vtl
