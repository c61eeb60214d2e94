#pragma once
// Runs the main queue on the Qt event loop: main-queue tasks are posted to the application
// object, and each time the loop is about to wait for events the current pass ends (which closes
// the undo manager's group of that pass). Installed once by each program's main().

namespace vtl {

// Main thread, after the QCoreApplication (or subclass) exists. Uninstalls itself when the
// application object goes away. Installing again replaces the earlier installation.
void installQtMainLoop();
void uninstallQtMainLoop();

} // namespace vtl
