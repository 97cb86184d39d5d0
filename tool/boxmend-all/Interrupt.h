#pragma once

namespace boxmend::batch {

// Ctrl-C (SIGINT, or the console's Ctrl-C and Ctrl-Break on Windows): the
// first asks the run to stop once the current file is done; a second ends
// the program at once with status 130, which the repair's journal covers.
// System calls the signal interrupts are restarted, so that it never makes
// a repair under way fail.
void installInterruptHandler();

// Whether an interruption was asked for.
bool interruptRequested();

// Records a request from the platform's handler, which runs in a signal
// handler or on the console's own thread; whether one had been made before.
bool noteInterruptRequest();

} // namespace boxmend::batch
