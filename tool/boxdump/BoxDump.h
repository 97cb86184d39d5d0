#pragma once

#include <string>

namespace boxmend::dump {

enum class DumpFormat { text, json };

// Opens the file read-only, parses it once, and prints its box tree and
// what boxmend would repair on standard output; on trouble also the line
// boxmend would print on standard error. Never writes to the file. Returns
// the exit status.
int runDump(const std::string& fileName, DumpFormat format);

} // namespace boxmend::dump
