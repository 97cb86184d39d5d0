#ifdef _WIN32

#include "tool/boxmend-all/BatchRun.h"
#include "tool/boxmend-all/Interrupt.h"

#include "mediafmt/io/WindowsApi.h"

namespace boxmend::batch {

namespace {

BOOL WINAPI onControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (answerInterrupt())
        TerminateProcess(GetCurrentProcess(), batchStatus::interrupted);
    return TRUE;
}

void writeWhole(HANDLE out, const char* bytes, DWORD count) {
    DWORD written = 0;
    while (count != 0 && WriteFile(out, bytes, count, &written, nullptr) && written != 0) {
        bytes += written;
        count -= written;
    }
}

} // namespace

// Line ends as the C runtime's text mode writes them.
void writeFromHandler(const char* bytes, std::size_t count) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE)
        return;
    const char* end = bytes + count;
    for (const char* start = bytes; start != end;) {
        const char* line = start;
        while (line != end && *line != '\n')
            ++line;
        writeWhole(out, start, static_cast<DWORD>(line - start));
        if (line == end)
            break;
        writeWhole(out, "\r\n", 2);
        start = line + 1;
    }
}

void installInterruptHandler() {
    SetConsoleCtrlHandler(onControl, TRUE);
}

} // namespace boxmend::batch

#endif // _WIN32
