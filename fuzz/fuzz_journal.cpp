// libFuzzer target: arbitrary journals beside a recording with both
// defects, part of whose repair may already have reached the file; no
// journal may make the run write a byte that the repair would not (the
// property of fuzzcheck::checkJournal).

#include "fuzz/SafetyChecks.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = fuzzcheck::checkJournal(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "journal check failed: %s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
