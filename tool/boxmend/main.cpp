// boxmend: repairs in place the audio and video track header defects of a
// camera recording. Usage: boxmend <file>

#include "tool/boxmend/Driver.h"
#include "tool/boxmend/FileName.h"
#include "tool/console/ConsolePause.h"

#ifndef _WIN32
#include <csignal>
#endif

#ifdef _WIN32

// The wide entry point, so the path arrives as UTF-16 whatever the code page.
int wmain(int argc, wchar_t* argv[]) {
    const int status =
        argc != 2 ? boxmend::printUsage() : boxmend::runRepair(boxmend::fileNameFor(argv[1]));
    boxmend::pauseIfOwnConsole();
    return status;
}

#else

int main(int argc, char* argv[]) {
    // A reader that went away makes writing the messages fail (status 7)
    // rather than end the run by a signal.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 2)
        return boxmend::printUsage();
    return boxmend::runRepair(boxmend::fileNameFor(argv[1]));
}

#endif
