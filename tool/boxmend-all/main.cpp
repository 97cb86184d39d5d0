// boxmend-all: repairs every camera recording among the files and folders
// given, each as boxmend alone would.
// Usage: boxmend-all [--dry-run] <file or folder>...

#include "tool/boxmend-all/BatchRun.h"
#include "tool/console/ConsolePause.h"
#include "tool/console/FileName.h"
#include "tool/console/Output.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace batch = boxmend::batch;
namespace batchStatus = boxmend::batch::batchStatus;
namespace console = boxmend::console;
using console::NativePath;

const char* const usage = "Usage: boxmend-all [--dry-run] <file or folder>...";

bool is(const NativePath& argument, const std::string& option) {
    return argument.size() == option.size() &&
           std::equal(option.begin(), option.end(), argument.begin());
}

int run(const std::vector<NativePath>& arguments) {
    bool dryRun = false;
    bool options = true;
    std::vector<NativePath> paths;
    for (const NativePath& argument : arguments) {
        if (options && is(argument, "--")) {
            options = false;
        } else if (options && is(argument, "--dry-run")) {
            dryRun = true;
        } else if (options && (is(argument, "--help") || is(argument, "--version"))) {
            std::printf("%s\n", is(argument, "--help") ? usage : "boxmend-all " BOXMEND_VERSION);
            return console::outputLost() ? batchStatus::outputFailed : batchStatus::ok;
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
        return batchStatus::usageOrNoMovie;
    }
    return batch::runBatch(paths, dryRun);
}

template <typename Char> int start(int argc, Char* argv[]) {
    // A reader that goes away makes writes fail, not the program end in the
    // middle of the card.
    console::ignoreBrokenPipe();
    // Paths are printed in UTF-8, and a console shows them so.
    const console::Utf8Console utf8;
    const int status = run(std::vector<NativePath>(argv + 1, argv + argc));
    console::pauseIfOwnConsole();
    return status;
}

} // namespace

#ifdef _WIN32
// The wide entry point, so that every path dropped on the program arrives
// as UTF-16 whatever the code page.
int wmain(int argc, wchar_t* argv[]) {
    return start(argc, argv);
}
#else
int main(int argc, char* argv[]) {
    return start(argc, argv);
}
#endif
