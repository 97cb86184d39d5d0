#pragma once

#include <string>

namespace boxmend {

// Exit statuses of boxdump, in the convention of cmp and diff.
namespace dumpStatus {
inline constexpr int nothingToRepair = 0;
inline constexpr int repairNeeded = 1;
// The file cannot be opened or parsed, a check cannot be completed, or the
// command line is wrong.
inline constexpr int trouble = 2;
} // namespace dumpStatus

enum class DumpFormat { text, json };

// Opens the file read-only, parses it, and prints its box tree and what
// boxmend would repair on standard output; on trouble also the line boxmend
// would print on standard error. Never writes to the file. Returns the exit
// status.
int runDump(const std::string& fileName, DumpFormat format);

} // namespace boxmend
