// boxdump: lists the boxes of a camera recording and what boxmend would
// repair in it, without writing to the file. Usage: boxdump [--json] FILE

#include "tool/boxdump/BoxDump.h"
#include "tool/boxdump/Diagnosis.h"
#include "tool/console/ConsolePause.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "mediafmt/io/WindowsPath.h"
#else
#include <csignal>
#endif

namespace {

int run(int argc, char** argv) {
    CLI::App app{"Lists the boxes of an MP4 or QuickTime recording and what boxmend would repair "
                 "in it, without writing to the file.",
                 "boxdump"};
    app.footer("Exit status: 0 nothing to repair, 1 a repair is needed, 2 trouble (the file "
               "cannot be opened or parsed, a check cannot be completed, or the command line is "
               "wrong).");
    app.set_version_flag("--version", std::string("boxdump ") + BOXMEND_VERSION);
    bool json = false;
    app.add_flag("--json", json, "Print the tree and the diagnosis as JSON");
    std::string fileName;
    app.add_option("FILE", fileName, "The recording to examine; it is only read")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version end with 0; every usage error with 2, as cmp and diff do.
        const int code = app.exit(error);
        return code == 0 ? 0 : boxmend::dumpStatus::trouble;
    }
    return boxmend::runDump(fileName, json ? boxmend::DumpFormat::json : boxmend::DumpFormat::text);
}

// The status of the run, unless what it printed could not all be written: a
// listing that is lost is trouble, whatever it said.
int finish(int status) {
    std::cout.flush();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout) {
        std::fprintf(stderr, "boxdump: cannot write to standard output\n");
        status = boxmend::dumpStatus::trouble;
    }
    boxmend::pauseIfOwnConsole();
    return status;
}

} // namespace

#ifdef _WIN32

// The arguments arrive as UTF-16; the stream layer takes UTF-8 names.
int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        std::u16string wide;
        for (const wchar_t* unit = argv[i]; *unit != L'\0'; ++unit)
            wide += static_cast<char16_t>(*unit);
        std::string narrow;
        if (!mediafmt::io::toUtf8(wide, narrow)) {
            std::fprintf(stderr, "boxdump: an argument is not valid UTF-16\n");
            return boxmend::dumpStatus::trouble;
        }
        args.push_back(std::move(narrow));
    }
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    return finish(run(argc, pointers.data()));
}

#else

int main(int argc, char* argv[]) {
    // A reader that went away makes the output fail (trouble) rather than
    // end the program by a signal.
    std::signal(SIGPIPE, SIG_IGN);
    return finish(run(argc, argv));
}

#endif
