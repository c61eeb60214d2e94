// The recorder program: started by the main application (without arguments) for one recording,
// which it then drives over the session bus.
#include "platform/foundation/Log.h"
#include "platform/mainloop/QtMainLoop.h"
#include "recorder/VistrelRecorderAppDelegate.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationDomain("morlunesoftware.com");
    QCoreApplication::setApplicationName("VistrelRecorder");
    vtl::installQtMainLoop();

    vtl::recording::VistrelRecorderAppDelegate::Services services;
    services.quitApplication = [] { QCoreApplication::quit(); };
    services.installedMainApplicationPath =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("vistrel")).toStdString();
    services.launchApplication = [](const std::string& path) {
        return QProcess::startDetached(QString::fromStdString(path), {});
    };
    vtl::recording::VistrelRecorderAppDelegate delegate(std::move(services));

    std::string error;
    if (!delegate.awakeFromNib(error)) {
        vtl::logMessage("The recorder cannot offer its remote control: " + error);
        return 1;
    }
    if (!delegate.applicationDidFinishLaunching()) return 0;
    return app.exec();
}
