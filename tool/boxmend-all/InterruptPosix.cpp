#include "tool/boxmend-all/BatchRun.h"
#include "tool/boxmend-all/Interrupt.h"

#include <csignal>
#include <unistd.h>

namespace boxmend::batch {

namespace {

void onInterrupt(int) {
    if (noteInterruptRequest())
        ::_exit(batchStatus::interrupted);
}

} // namespace

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

} // namespace boxmend::batch
