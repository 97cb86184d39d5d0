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
// input from /dev/null, and waits for it, capturing standard output and
// standard error separately.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args);

} // namespace testsupport
