// boxmend-all: repairs every camera recording among the files and folders
// given, each as boxmend alone would.
// Usage: boxmend-all [--dry-run] <file or folder>...

#include "tool/boxmend-all/BatchRun.h"
#include "tool/console/ConsolePause.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

const char* const usage = "Usage: boxmend-all [--dry-run] <file or folder>...";

bool is(const boxmend::NativePath& argument, const std::string& option) {
    return argument.size() == option.size() &&
           std::equal(option.begin(), option.end(), argument.begin());
}

int run(const std::vector<boxmend::NativePath>& arguments) {
    bool dryRun = false;
    bool options = true;
    std::vector<boxmend::NativePath> paths;
    for (const boxmend::NativePath& argument : arguments) {
        if (options && is(argument, "--")) {
            options = false;
        } else if (options && is(argument, "--dry-run")) {
            dryRun = true;
        } else if (options && (is(argument, "--help") || is(argument, "--version"))) {
            std::printf("%s\n", is(argument, "--help") ? usage : "boxmend-all " BOXMEND_VERSION);
            return std::fflush(stdout) == 0 ? boxmend::batchStatus::ok
                                            : boxmend::batchStatus::outputFailed;
        } else if (options && argument.size() > 1 && argument[0] == '-') {
            paths.clear();
            break;
        } else {
            paths.push_back(argument);
        }
    }
    if (paths.empty()) {
        std::printf("%s\n", usage);
        std::fflush(stdout);
        return boxmend::batchStatus::usageOrNoMovie;
    }
    return boxmend::runBatch(paths, dryRun);
}

} // namespace

#ifdef _WIN32

// The wide entry point, so that every path dropped on the program arrives
// as UTF-16 whatever the code page.
int wmain(int argc, wchar_t* argv[]) {
    // Paths are printed in UTF-8; a console is told so for the run.
    const UINT codePage = GetConsoleOutputCP();
    if (codePage != 0)
        SetConsoleOutputCP(CP_UTF8);
    const int status = run(std::vector<std::wstring>(argv + 1, argv + argc));
    boxmend::pauseIfOwnConsole();
    if (codePage != 0)
        SetConsoleOutputCP(codePage);
    return status;
}

#else

int main(int argc, char* argv[]) {
    // A reader that goes away makes writes fail, not the program end in the
    // middle of the card.
    std::signal(SIGPIPE, SIG_IGN);
    return run(std::vector<std::string>(argv + 1, argv + argc));
}

#endif
