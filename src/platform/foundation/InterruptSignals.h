#pragma once
// Ctrl-C (SIGINT) and SIGTERM for the command-line tools: once caught, they no longer end the
// program at once but are noted, so that the work under way can be cancelled and its temporaries
// removed; the program then ends as the signal would have ended it. Process-wide; free functions.

namespace vtl::interrupts {

// Installs the handlers (once; later calls do nothing).
void catchInterrupts();
// The signal caught so far, 0 when none.
int caughtSignal();
// Ends the program as the caught signal would have (its default action); returns when none was caught.
void endAsInterrupted();

} // namespace vtl::interrupts
