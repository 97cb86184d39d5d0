#pragma once

#include <string>

namespace boxmend {

// Exit statuses of a run.
namespace exitStatus {
inline constexpr int ok = 0;
inline constexpr int usageOrVideoFailed = 1;
inline constexpr int openFailed = 2;
inline constexpr int parseFailed = 3;
inline constexpr int audioCheckFailed = 4;
inline constexpr int audioRepairFailed = 5;
} // namespace exitStatus

// Prints the usage line; the status for a wrong argument count.
int printUsage();

// Runs the whole repair sequence on the file and prints one line per outcome
// on standard output. fileName is the name used both to open the file and in
// every message. Returns the exit status.
int runRepair(const std::string& fileName);

} // namespace boxmend
