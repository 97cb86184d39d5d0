#ifdef _WIN32

#include "tool/console/ConsolePause.h"

#include "mediafmt/io/WindowsApi.h"

#include <cstdio>
#include <iostream>

namespace boxmend::console {

namespace {

bool isConsole(DWORD standardHandle) {
    HANDLE handle = GetStdHandle(standardHandle);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

} // namespace

void pauseIfOwnConsole() {
    DWORD processes[2];
    const DWORD attached = GetConsoleProcessList(processes, 2);
    if (!shouldPauseBeforeExit(isConsole(STD_INPUT_HANDLE), isConsole(STD_OUTPUT_HANDLE), attached))
        return;
    std::cout.flush();
    std::printf("%s\n", pausePrompt);
    std::fflush(stdout);
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
    }
}

} // namespace boxmend::console

#endif // _WIN32
