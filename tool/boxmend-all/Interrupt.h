#pragma once

#include <cstddef>
#include <string>

namespace boxmend::batch {

// Ctrl-C (SIGINT, or the console's Ctrl-C and Ctrl-Break on Windows): the
// first asks the run to stop once the current file is done; a second ends
// the program at once with status 130, which the repair's journal covers.
// System calls the signal interrupts are restarted, so that it never makes
// a repair under way fail.
void installInterruptHandler();

// Whether an interruption was asked for.
bool interruptRequested();

// While the program works and prints nothing (a file's run, the walk), a
// Ctrl-C is answered at once: the handler clears screenLine (the progress
// line shown, empty when none), prints the acknowledgement of a first
// Ctrl-C and shows screenLine again, or for a second one prints hardStop
// before the program ends. Standard output must be flushed before. Texts
// are whole lines without their line end.
void beginQuietWork(const std::string& screenLine, const std::string& acknowledgement,
                    const std::string& hardStop);
// Ends that time; the main thread may print again.
void endQuietWork();

// What the platform's handler does on each request, which runs in a signal
// handler or on the console's own thread: records the request and prints
// what beginQuietWork gave when the main thread is quiet. Returns whether
// the program is to end now.
bool answerInterrupt();

// Writes to standard output from the handler: async-signal-safe on POSIX,
// straight to the handle on Windows, with no buffer shared with stdio.
void writeFromHandler(const char* bytes, std::size_t count);

} // namespace boxmend::batch
