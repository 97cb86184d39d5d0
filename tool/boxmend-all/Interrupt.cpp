#include "tool/boxmend-all/Interrupt.h"

#include <atomic>
#include <csignal>

#include "mediafmt/io/WindowsApi.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace boxmend::batch {

namespace {

// Lock-free, so safe in a signal handler and from the console's own thread.
std::atomic<int> requests{0};

constexpr int interruptedStatus = 130;

#ifdef _WIN32

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (requests != 0)
        TerminateProcess(GetCurrentProcess(), interruptedStatus);
    requests = 1;
    return TRUE;
}

#else

void onInterrupt(int) {
    if (requests != 0)
        ::_exit(interruptedStatus);
    requests = 1;
}

#endif

} // namespace

void installInterruptHandler() {
#ifdef _WIN32
    SetConsoleCtrlHandler(onControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
#endif
}

bool interruptRequested() {
    return requests != 0;
}

} // namespace boxmend::batch
