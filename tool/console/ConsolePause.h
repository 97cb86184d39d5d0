#pragma once

namespace boxmend::console {

// The line shown before waiting.
inline constexpr const char* pausePrompt = "Press Enter to close this window.";

// Whether a program should wait for Enter before it ends: only when its
// standard input and output are both a console and it is the one process
// attached to that console. That console is then a window opened for this
// process alone, as when a file is dropped on the program in Explorer, and
// it closes as the process ends. Started from a console window (whose shell
// is attached as well), a script or a pipe, the program ends at once.
bool shouldPauseBeforeExit(bool inputIsConsole, bool outputIsConsole,
                           unsigned long processesOnConsole);

// On Windows, when shouldPauseBeforeExit holds, prints the prompt on
// standard output after everything printed before, and waits for Enter (or
// the end of the input). Elsewhere it does nothing.
void pauseIfOwnConsole();

} // namespace boxmend::console
