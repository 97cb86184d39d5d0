#include "tool/boxmend-all/BatchRun.h"
#include "tool/boxmend-all/Interrupt.h"

#include "mediafmt/io/WindowsApi.h"

namespace boxmend::batch {

namespace {

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (noteInterruptRequest())
        TerminateProcess(GetCurrentProcess(), batchStatus::interrupted);
    return TRUE;
}

} // namespace

void installInterruptHandler() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

} // namespace boxmend::batch
