// boxdump: lists the boxes of a camera recording and what boxmend would
// repair in it, without writing to the file. Usage: boxdump [--json] FILE

#include "tool/boxdump/BoxDump.h"
#include "tool/console/ConsolePause.h"
#include "tool/console/FileName.h"
#include "tool/console/Output.h"
#include "tool/repair/PlanVerdict.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

namespace console = boxmend::console;
namespace dump = boxmend::dump;
namespace dumpStatus = boxmend::repair::dumpStatus;

// The name the file is opened and shown by: boxmend's, so that both look at
// the same file under the same name. A path that names nothing keeps its
// own, which the message about it shows.
std::string nameOf(const console::NativePath& argument) {
    const std::string name = console::fileNameFor(argument);
    return name.empty() ? console::shownName(argument) : name;
}

int run(const std::vector<console::NativePath>& arguments) {
    CLI::App app{"Lists the boxes of an MP4 or QuickTime recording and what boxmend would repair "
                 "in it, without writing to the file.",
                 "boxdump"};
    app.footer("Exit status: 0 nothing to repair, 1 a repair is needed, 2 trouble (the file "
               "cannot be opened or parsed, a check cannot be completed, or the command line is "
               "wrong).");
    app.set_version_flag("--version", std::string("boxdump ") + BOXMEND_VERSION);
    bool json = false;
    app.add_flag("--json", json, "Print the tree and the diagnosis as JSON");
    std::string given;
    app.add_option("FILE", given, "The recording to examine; it is only read")->required();

    // The parser takes UTF-8; each argument as it is printed.
    std::vector<std::string> shown;
    for (const console::NativePath& argument : arguments)
        shown.push_back(console::shownName(argument));
    std::vector<char*> pointers;
    for (std::string& argument : shown)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    try {
        app.parse(static_cast<int>(shown.size()), pointers.data());
    } catch (const CLI::ParseError& error) {
        // Help and version end with 0; every usage error with 2, as cmp and diff do.
        const int code = app.exit(error);
        return code == 0 ? 0 : dumpStatus::trouble;
    }
    // Back to the argument as the system gave it, to be named as boxmend
    // names it; each shown text comes from one argument only.
    const auto found = std::find(shown.begin(), shown.end(), given);
    const std::string fileName =
        found == shown.end() ? given : nameOf(arguments[std::size_t(found - shown.begin())]);
    return dump::runDump(fileName, json ? dump::DumpFormat::json : dump::DumpFormat::text);
}

template <typename Char> int start(int argc, Char* argv[]) {
    console::ignoreBrokenPipe();
    int status = run(std::vector<console::NativePath>(argv, argv + argc));
    // A listing that is lost is trouble, whatever it said.
    if (console::outputLost()) {
        std::fprintf(stderr, "boxdump: cannot write to standard output\n");
        status = dumpStatus::trouble;
    }
    console::pauseIfOwnConsole();
    return status;
}

} // namespace

#ifdef _WIN32
// The wide entry point, so that the path arrives as UTF-16 whatever the code page.
int wmain(int argc, wchar_t* argv[]) {
    return start(argc, argv);
}
#else
int main(int argc, char* argv[]) {
    return start(argc, argv);
}
#endif
