// The recorder program: started by the main application (without arguments) for one recording,
// which it then drives over the session bus.
#include "platform/foundation/Log.h"
#include "platform/mainloop/QtMainLoop.h"
#include "platform/mainloop/TerminationSignals.h"
#include "recorder/app/VistrelRecorderAppDelegate.h"
#include "recorder/views/CameraPreviewView.h"
#include "recorder/views/DesktopOverlay.h"
#include "recorder/views/RecordOverlayView.h"
#include "recorder/views/RecordingCoordinatorStatusItem.h"
#include "recorder/views/WaitWindow.h"

#include <QApplication>
#include <QDir>
#include <QProcess>

int main(int argc, char** argv) {
    // The recorder outlives the main application's end of its inherited output: a log line must
    // not end it in the middle of finishing a recording.
    vtl::TerminationSignals::ignoreBrokenPipes();

    // A widgets application for the status item in the system tray; it has no window to close.
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QCoreApplication::setOrganizationDomain("morlunesoftware.com");
    QCoreApplication::setApplicationName("VistrelRecorder");
    vtl::installQtMainLoop();

    vtl::VistrelRecorderAppDelegate::Services services;
    services.quitApplication = [] { QCoreApplication::quit(); };
    services.installedMainApplicationPath =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vistrel")).toStdString();
    services.launchApplication = [](const std::string& path) {
        return QProcess::startDetached(QString::fromStdString(path), {});
    };
    services.coordinatorServices.makeStatusItem = vtl::RecordingCoordinatorStatusItem::create;
    services.coordinatorServices.makeCameraPreviewWindow = vtl::makeCameraPreviewWindow;
    services.coordinatorServices.makeDesktopCover = vtl::DesktopOverlay::create;
    services.coordinatorServices.makeRecordAreaFrame = vtl::RecordOverlayView::create;
    services.coordinatorServices.makeWaitWindow = vtl::WaitWindow::showWindow;
    vtl::VistrelRecorderAppDelegate delegate(std::move(services));

    // Asked to end (logout, shutdown, Ctrl-C): a running recording is finished first.
    vtl::TerminationSignals terminationSignals([&delegate] {
        vtl::logMessage("The recorder is asked to end; a running recording is finished first.");
        delegate.terminate();
    });

    if (vtl::Status vended = delegate.awakeFromNib(); !vended) {
        vtl::logMessage("The recorder cannot offer its remote control: " + vended.error());
        return 1;
    }
    if (!delegate.applicationDidFinishLaunching()) return 0;
    return app.exec();
}
