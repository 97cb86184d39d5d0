#include "tool/console/Output.h"

#include <csignal>
#include <unistd.h>

namespace boxmend::console {

bool outputIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void ignoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

Utf8Console::Utf8Console() = default;

Utf8Console::~Utf8Console() {
    (void)codePage_;
}

} // namespace boxmend::console
