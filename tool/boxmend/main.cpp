// boxmend: repairs in place the audio and video track header defects of a
// camera recording. Usage: boxmend <file>

#include "tool/console/ConsolePause.h"
#include "tool/console/FileName.h"
#include "tool/console/Output.h"
#include "tool/repair/ExitStatus.h"
#include "tool/repair/FileRun.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

namespace console = boxmend::console;
namespace repair = boxmend::repair;
namespace exitStatus = repair::exitStatus;

int printUsage() {
    std::cout << "Usage: boxmend <file>" << std::endl;
    return exitStatus::usageOrVideoFailed;
}

// The file's run, then one line per outcome on standard output.
int repairArgument(const console::NativePath& argument) {
    const repair::FileRepair made = repair::repairFile(console::fileNameFor(argument));
    for (const std::string& line : made.lines)
        std::printf("%s\n", line.c_str());
    if (console::outputLost() && made.status == exitStatus::ok)
        return exitStatus::outputFailed;
    return made.status;
}

int run(int argc, const console::NativePath::value_type* const* argv) {
    console::ignoreBrokenPipe();
    const int status = argc != 2 ? printUsage() : repairArgument(argv[1]);
    console::pauseIfOwnConsole();
    return status;
}

} // namespace

#ifdef _WIN32
// The wide entry point, so the path arrives as UTF-16 whatever the code page.
int wmain(int argc, wchar_t* argv[]) {
    return run(argc, argv);
}
#else
int main(int argc, char* argv[]) {
    return run(argc, argv);
}
#endif
