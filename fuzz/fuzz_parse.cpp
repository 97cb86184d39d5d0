// libFuzzer target: parses arbitrary bytes and walks, prints and encodes the
// tree (the properties are those of fuzzcheck::checkParse).

#include "fuzz/SafetyChecks.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = fuzzcheck::checkParse(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "parse check failed: %s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
