#include "platform/mainloop/QtMainLoop.h"

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/DispatchTimer.h"
#include "platform/foundation/UndoManager.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace vtl {
namespace {

// Quits with 1 when the test's own condition never ends the loop.
void quitAfterSafetyTimeout(QCoreApplication& app) {
    QTimer::singleShot(10000, &app, [&app] { app.exit(1); });
}

TEST(QtMainLoop, MainQueueTaskFromAWorkerRunsInsideTheEventLoopAndThePassEnds) {
    int argc = 1;
    char name[] = "mainloop_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    installQtMainLoop();

    std::atomic<bool> ran{false};
    bool onQtMainThread = false;
    int passesEndedAfterTask = 0;
    auto token = MainLoop::addEndOfPassObserver([&] {
        if (!ran) return;
        if (++passesEndedAfterTask == 1) QCoreApplication::quit();
    });
    std::thread worker([&] {
        DispatchQueue::mainQueue()->async([&] {
            onQtMainThread = isMainThread() && QThread::currentThread() == app.thread();
            ran = true;
        });
    });
    quitAfterSafetyTimeout(app);
    int result = app.exec();
    worker.join();
    MainLoop::removeEndOfPassObserver(token);

    EXPECT_EQ(result, 0);
    EXPECT_TRUE(ran);
    EXPECT_TRUE(onQtMainThread);
    EXPECT_EQ(passesEndedAfterTask, 1);
}

TEST(QtMainLoop, UndoGroupOfAPassClosesAndTimersFire) {
    int argc = 1;
    char name[] = "mainloop_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    installQtMainLoop();

    UndoManager undo;
    int value = 0;
    int levelInLaterTask = -1;
    std::size_t stepsInLaterTask = 0;
    QTimer::singleShot(0, &app, [&] {
        // Two changes in one event: one undo step once the pass is over.
        value = 1;
        undo.registerUndo(&value, [&] { value = 0; });
        value = 2;
        undo.registerUndo(&value, [&] { value = 1; });
        DispatchTimer::scheduleOnce(0.02, [&] {
            levelInLaterTask = undo.groupingLevel();
            stepsInLaterTask = undo.undoStepCount();
            QCoreApplication::quit();
        });
    });
    quitAfterSafetyTimeout(app);
    EXPECT_EQ(app.exec(), 0);
    EXPECT_EQ(levelInLaterTask, 0);
    EXPECT_EQ(stepsInLaterTask, 1u);
    undo.undo();
    EXPECT_EQ(value, 0);
}

} // namespace
} // namespace vtl
