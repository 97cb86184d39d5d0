#include "tool/console/ConsolePause.h"

namespace boxmend::console {

bool shouldPauseBeforeExit(bool inputIsConsole, bool outputIsConsole,
                           unsigned long processesOnConsole) {
    return inputIsConsole && outputIsConsole && processesOnConsole == 1;
}

} // namespace boxmend::console
