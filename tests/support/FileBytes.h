#pragma once

// Whole files read and written as bytes.

#include "tests/support/Bytes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace testsupport {

// The whole content of the file; empty when it cannot be read.
inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Creates or replaces the file, and any missing folder above it, with the
// bytes; false when they could not all be written.
inline bool writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace testsupport
