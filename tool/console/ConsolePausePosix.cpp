#include "tool/console/ConsolePause.h"

namespace boxmend::console {

// A terminal outlives the program that runs in it: nothing to wait for.
void pauseIfOwnConsole() {}

} // namespace boxmend::console
