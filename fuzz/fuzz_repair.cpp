// libFuzzer target: runs the whole repair sequence twice on a copy of
// arbitrary bytes and checks that nothing outside the repaired boxes changed
// (the properties are those of fuzzcheck::checkRepair).

#include "fuzz/SafetyChecks.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = fuzzcheck::checkRepair(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "repair check failed: %s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
