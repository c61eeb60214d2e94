#pragma once
// Test support: a D-Bus session bus of this test process alone (tests run in parallel and
// would otherwise compete for the same well-known names), and the Qt application object that
// delivers bus messages. Both are made on first use and live until the process ends.

#include "platform/foundation/DispatchMainLoop.h"
#include "platform/mainloop/QtMainLoop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vtl::testing {

// Starts a private dbus-daemon and points DBUS_SESSION_BUS_ADDRESS at it. Call before anything
// touches the bus. False with a message when no daemon can be started.
inline bool startPrivateSessionBus(std::string& error) {
    static std::string failure;
    static bool started = false;
    if (started) return true;
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    int out[2];
    if (::pipe(out) != 0) {
        error = failure = "no pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const char* argv[] = {"dbus-daemon", "--session",         "--nofork",
                          "--nopidfile", "--print-address=1", nullptr};
    static pid_t pid = 0;
    int rc = posix_spawnp(&pid, "dbus-daemon", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        error = failure = "dbus-daemon cannot be started";
        return false;
    }
    std::string address;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        address += c;
    ::close(out[0]);
    if (address.empty()) {
        error = failure = "dbus-daemon gave no address";
        return false;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    std::atexit([] {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    });
    started = true;
    return true;
}

// The application object, with the main queue on its event loop.
inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "vistrel-tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance()) return;
    new QCoreApplication(argc, argv);
    installQtMainLoop();
}

// Handles events until the predicate holds or the time is up; answers the predicate.
inline bool processEventsUntil(const std::function<bool()>& predicate, double timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    // Wakes the waiting loop now and then, so the deadline is seen without busy waiting.
    QTimer tick;
    tick.start(20);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        MainLoop::performPendingTasks();
    }
    return true;
}

// Handles events for a while.
inline void processEventsFor(double seconds) {
    processEventsUntil([] { return false; }, seconds);
}

} // namespace vtl::testing
