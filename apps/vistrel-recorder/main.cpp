// The recorder program: started by the main application (without arguments) for one recording,
// which it then drives over the session bus.
#include "platform/foundation/Log.h"
#include "platform/mainloop/QtMainLoop.h"
#include "recorder/app/VistrelRecorderAppDelegate.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalSocket[2] = {-1, -1};

void forwardSignal(int) {
    char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(gSignalSocket[0], &byte, 1);
}

} // namespace

int main(int argc, char** argv) {
    // The recorder outlives the main application's end of its inherited output: a log line must
    // not end it in the middle of finishing a recording.
    std::signal(SIGPIPE, SIG_IGN);

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
    vtl::VistrelRecorderAppDelegate delegate(std::move(services));

    // Asked to end (logout, shutdown, Ctrl-C): a running recording is finished first.
    std::unique_ptr<QSocketNotifier> signalNotifier;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, gSignalSocket) == 0) {
        signalNotifier = std::make_unique<QSocketNotifier>(gSignalSocket[1], QSocketNotifier::Read);
        QObject::connect(signalNotifier.get(), &QSocketNotifier::activated, [&delegate] {
            char byte;
            [[maybe_unused]] ssize_t read = ::read(gSignalSocket[1], &byte, 1);
            vtl::logMessage("The recorder is asked to end; a running recording is finished first.");
            delegate.terminate();
        });
        struct sigaction action = {};
        action.sa_handler = forwardSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
            sigaction(signalNumber, &action, nullptr);
    }

    std::string error;
    if (!delegate.awakeFromNib(error)) {
        vtl::logMessage("The recorder cannot offer its remote control: " + error);
        return 1;
    }
    if (!delegate.applicationDidFinishLaunching()) return 0;
    return app.exec();
}
