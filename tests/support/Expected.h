#pragma once

// Files the tests read: inputs kept in the repository, and the expected
// outputs they compare with.

#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares actual with the file at path; with BOXMEND_UPDATE_EXPECTED set in
// the environment, writes it there instead, for a deliberate change to be
// reviewed in the diff before it is committed.
inline void expectFile(const std::string& actual, const std::filesystem::path& path) {
    if (std::getenv("BOXMEND_UPDATE_EXPECTED") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    const Bytes expected = readFile(path);
    EXPECT_EQ(actual, std::string(expected.begin(), expected.end())) << "differs from " << path;
}

} // namespace testsupport
