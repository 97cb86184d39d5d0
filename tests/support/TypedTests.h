#pragma once

#include <string>

namespace testsupport {

// Names the cases of a typed test suite by their index. Passing a generator
// explicitly keeps the suite macros free of an empty variadic argument, which
// strict compilers reject.
struct IndexNames {
    template <typename T> static std::string GetName(int index) { return std::to_string(index); }
};

} // namespace testsupport
