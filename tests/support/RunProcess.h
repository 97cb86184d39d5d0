#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    // The exit status; 128 plus the signal number when a signal ended the
    // process; -1 when it could not be started.
    int status = -1;
    std::string out;
    std::string err;
};

// Runs program with the arguments (not including the program name), standard
// input from the null device, and waits for it, capturing standard output and
// standard error separately. Strings are UTF-8. On Windows the program's
// CR LF line ends are turned into LF, so expected output is written once.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args);

#ifndef _WIN32
// The same with variables ("NAME=value") in the program's environment, in
// place of any of the same name this process has.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::vector<std::string> environment);
#endif

} // namespace testsupport
