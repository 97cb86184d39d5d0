// Both programs on inputs too large for a sanitized build, so registered
// for unsanitized POSIX builds only: boxes of several GiB in sparse files,
// run under a 1 GiB memory limit (where AddressSanitizer would abort a
// failed allocation by design), and boxdump's JSON for half a million boxes.

#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr std::uint64_t threeGiB = 3ull << 30;

// Whether the shell can limit a program's address space (macOS's cannot).
bool canLimitMemory() {
    static const bool can = runProcess("/bin/sh", {"-c", "ulimit -v 1048576"}).status == 0;
    return can;
}

// The program run with at most 1 GiB of address space.
ProcessResult runLimited(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"-c", "ulimit -v 1048576 && exec \"$0\" \"$@\"", program};
    all.insert(all.end(), args.begin(), args.end());
    return runProcess("/bin/sh", all);
}

// The camera recording, then a header of a box of size 3 GiB + 16 around
// the given start of a payload; the rest of the file is a hole.
std::string sparseFile(const TempDir& dir, const Bytes& box) {
    const Bytes camera = cameraRecording();
    const std::string path = dir.write("clip.mov", concat({camera, box}));
    fs::resize_file(path, camera.size() + threeGiB + 16);
    return path;
}

Bytes firstBytes(const std::string& path, std::size_t n) {
    std::ifstream in(path, std::ios::binary);
    Bytes bytes(n);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n));
    return bytes;
}

} // namespace

TEST(LargeInput, HugeBoxesOfRawBytesStayOnDisk) {
    if (!canLimitMemory())
        GTEST_SKIP() << "the shell cannot limit a program's address space (ulimit -v) here";
    TempDir dir;
    const std::string path = sparseFile(dir, concat({u32(1), text("skip"), u64(threeGiB + 16)}));
    ProcessResult run = runLimited(BOXDUMP_PATH, {path});
    const std::string skip = "skip  offset " + std::to_string(cameraRecording().size()) +
                             "  size 3221225488\n  data: <3221225472 byte block>\n";
    EXPECT_NE(run.out.find(skip), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 1);
    run = runLimited(BOXMEND_PATH, {path});
    EXPECT_EQ(run.out, "Corrected error in Ambisonic Audio Track Format Header\n"
                       "Corrected error in Lumacode Video Track Format Header\n");
    Recording repaired;
    repaired.audioDefective = false;
    repaired.videoDataReferenceIndex = 1;
    const Bytes expected = cameraRecording(repaired);
    EXPECT_EQ(firstBytes(path, expected.size()), expected);
    EXPECT_EQ(fs::file_size(path), expected.size() + threeGiB + 16);
}

TEST(LargeInput, MemoryThatRunsOutEndsWithTheParseFailure) {
    if (!canLimitMemory())
        GTEST_SKIP() << "the shell cannot limit a program's address space (ulimit -v) here";
    TempDir dir;
    // A container is read whole, however large.
    const std::string path = sparseFile(dir, concat({u32(1), text("udta"), u64(threeGiB + 16),
                                                     u32(1), text("free"), u64(threeGiB)}));
    ProcessResult run = runLimited(BOXMEND_PATH, {path});
    EXPECT_EQ(run.out, "error 2 (error) parsing file " + path + "\n");
    EXPECT_EQ(run.status, 3);
    run = runLimited(BOXDUMP_PATH, {path});
    EXPECT_EQ(run.err, "error 2 (error) parsing file " + path + "\n");
    EXPECT_EQ(run.status, 2);
}

TEST(LargeInput, JsonOfHalfAMillionBoxesEnds) {
    TempDir dir;
    Bytes file;
    for (int i = 0; i < 1 << 19; ++i)
        file.insert(file.end(), {0, 0, 0, 8, 's', 'k', 'i', 'p'});
    const Bytes camera = cameraRecording();
    file.insert(file.end(), camera.begin(), camera.end());
    const std::string path = dir.write("clip.mov", file);
    const ProcessResult run = runProcess(BOXDUMP_PATH, {"--json", path});
    EXPECT_NE(run.out.find("\"path\": \"skip[524287]\""), std::string::npos);
    EXPECT_EQ(run.status, 1);
}
