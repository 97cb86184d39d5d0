#pragma once

// Files the tests read: inputs kept in the repository, and the expected
// outputs they compare with; and checks of what a run printed.

#include "tests/support/FileBytes.h"
#include "tests/support/RunProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace testsupport {

// The output with the file's path replaced by FILE (or by shownAs), so that
// it does not depend on where the test runs; JSON shows it with its
// backslashes escaped.
inline std::string anonymous(std::string text, const std::string& path,
                             const std::string& shownAs = "FILE") {
    std::string escaped;
    for (char c : path)
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    for (const std::string& name : {path, escaped}) {
        for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos;
             at += shownAs.size())
            text.replace(at, name.size(), shownAs);
    }
    return text;
}

// Whether text holds part; when it does not, the failure shows the whole text.
inline ::testing::AssertionResult contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// The run ended with status, having printed exactly out and err.
inline void expectRun(const ProcessResult& run, int status, const std::string& out,
                      const std::string& err = "") {
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, err);
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
