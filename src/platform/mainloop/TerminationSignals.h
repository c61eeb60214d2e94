#pragma once
// Turns the requests to end the process (SIGTERM, SIGINT, SIGHUP) into one call on the main
// loop, so that a program can finish what it is writing instead of dying in the middle of it.
// One at a time per process, made and owned by a program's main(), after the Qt application
// object exists; main thread only. Destroying it restores the default handling.

#include <functional>
#include <memory>

namespace vtl {

class TerminationSignals {
public:
    // `requested` runs on the main thread, once for every signal received.
    explicit TerminationSignals(std::function<void()> requested);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // False when the handlers could not be installed (logged); nothing is delivered then.
    bool isInstalled() const { return impl_ != nullptr; }

    // A write to a pipe whose reader is gone fails instead of ending the program (a program that
    // outlives the one reading its output).
    static void ignoreBrokenPipes();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
