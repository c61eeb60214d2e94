#include "platform/mainloop/TerminationSignals.h"

#include "platform/foundation/DispatchQueue.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <signal.h>

namespace vtl {
namespace {

struct TerminationSignalsTest : ::testing::Test {
    int argc = 1;
    char name[16] = "mainloop_tests";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

TEST_F(TerminationSignalsTest, EachSignalArrivesAsOneCallOnTheMainThread) {
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        int calls = 0;
        bool onMainThread = false;
        TerminationSignals handlers([&] {
            ++calls;
            onMainThread = isMainThread();
            QCoreApplication::quit();
        });
        ASSERT_TRUE(handlers.isInstalled());
        QTimer::singleShot(0, [signalNumber] { std::raise(signalNumber); });
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(1); });
        safety.start(10000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << "signal " << signalNumber << " never arrived";
        EXPECT_EQ(calls, 1) << signalNumber;
        EXPECT_TRUE(onMainThread) << signalNumber;
    }
}

TEST_F(TerminationSignalsTest, GoingAwayRestoresTheDefaultHandling) {
    {
        TerminationSignals handlers([] {});
        struct sigaction installed = {};
        sigaction(SIGTERM, nullptr, &installed);
        EXPECT_NE(installed.sa_handler, SIG_DFL);
    }
    struct sigaction restored = {};
    sigaction(SIGTERM, nullptr, &restored);
    EXPECT_EQ(restored.sa_handler, SIG_DFL);
}

} // namespace
} // namespace vtl
