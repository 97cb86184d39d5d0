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

const char* const help =
    "Usage: boxmend-all [--dry-run] <file or folder>...\n"
    "\n"
    "Repairs in place every camera recording among the files and folders given\n"
    "(folders are searched to 100 levels), each as boxmend would alone. Movies\n"
    "from other devices and other files are left as they are and only counted.\n"
    "\n"
    "Options:\n"
    "  --dry-run   open nothing for writing; say what each recording needs\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "  --          end the options; every argument after it is a path\n"
    "\n"
    "Ctrl-C stops after the movie being repaired; a second Ctrl-C stops at once,\n"
    "and the next run completes the repair left under way.\n"
    "\n"
    "Exit status:\n"
    "  0    every recording was repaired or already right\n"
    "  1    a recording failed, or a path could not be read\n"
    "  2    wrong command line, or no movie found\n"
    "  3    standard output could not be written (the repairs were made)\n"
    "  130  interrupted by Ctrl-C\n"
    "With --dry-run: 0 nothing to repair, 1 a repair to make, 2 trouble.\n";

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
            std::fputs(is(argument, "--help") ? help : "boxmend-all " BOXMEND_VERSION "\n", stdout);
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
