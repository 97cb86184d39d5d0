// boxmend killed at each of its writes and flushes in turn, on a long
// recording made by the benchmark's generator: one more run always leaves
// the header exactly as an uninterrupted repair does.

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <fstream>
#include <string>

using namespace testsupport;

namespace {

const std::string boxmend = BOXMEND_PATH;
const std::string boxdump = BOXDUMP_PATH;

// A recording of six minutes with both defects; its header lies at the end.
struct LongRecording {
    std::string path;
    std::uint64_t moov = 0;
    std::uint64_t size = 0;
};

LongRecording makeRecording(const TempDir& dir) {
    LongRecording made{dir.file("long.mov")};
    const ProcessResult run = runProcess(MAKE_LONG_RECORDING_PATH, {made.path, "0.1"});
    EXPECT_EQ(run.status, 0) << run.err;
    // "<path>: <length> bytes, moov <size> bytes at offset <offset>"
    const std::string out = run.out;
    made.size = std::stoull(out.substr(out.find(", moov ") + 7));
    made.moov = std::stoull(out.substr(out.find("at offset ") + 10));
    return made;
}

std::string header(const LongRecording& made) {
    std::ifstream in(made.path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(made.moov));
    std::string bytes(made.size, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

TEST(Kill, EveryKilledRepairIsCompletedExactlyByTheNextRun) {
    TempDir dir;
    LongRecording made = makeRecording(dir);
    ASSERT_EQ(runProcess(boxmend, {made.path}).status, 0);
    const std::string repaired = header(made);

    bool finished = false;
    for (int call = 1; !finished && call < 100; ++call) {
        SCOPED_TRACE("killed at call " + std::to_string(call));
        made = makeRecording(dir);
        // boxmend with the kill shim, killed at this call.
        ::setenv("LD_PRELOAD", KILL_SHIM_PATH, 1);
        ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        ::setenv("BOXMEND_KILL_AT", std::to_string(call).c_str(), 1);
        const ProcessResult killed = runProcess(boxmend, {made.path});
        ::unsetenv("LD_PRELOAD");
        ::unsetenv("BOXMEND_KILL_AT");
        finished = killed.status != 128 + SIGKILL;
        if (!finished) {
            // A journal left behind is a repair to make, which the next run
            // completes, unless its repairs already reached the file whole.
            if (std::ifstream(dir.file(".long.mov.boxmend-journal"))) {
                const ProcessResult dump = runProcess(boxdump, {made.path});
                const bool completed = dump.out.find("    completed: ") != std::string::npos;
                EXPECT_EQ(dump.status, completed ? 0 : 1);
                EXPECT_NE(dump.out.find("  repair journal: "), std::string::npos) << dump.out;
            }
            const ProcessResult next = runProcess(boxmend, {made.path});
            EXPECT_EQ(next.status, 0) << next.out;
        }
        EXPECT_EQ(header(made), repaired);
    }
    EXPECT_TRUE(finished);
}

TEST(Kill, AResultNobodyCanReadIsNotASuccess) {
    TempDir dir;
    const LongRecording made = makeRecording(dir);
    const ProcessResult lost =
        runProcess("/bin/sh", {"-c", "exec \"$0\" \"$1\" >/dev/full", boxmend, made.path});
    EXPECT_EQ(lost.status, 7);
    EXPECT_EQ(runProcess(boxmend, {made.path}).out, "No issues found in Lumacode Video Track\n");
}

} // namespace
