// Runs both programs on the recordings in data/other-recorders: files made
// by ffmpeg as muxers and taggers make them, and by make_other_recorders
// (QuickTime-style meta boxes in moov and udta beside the ISO form, codes
// with the copyright sign, boxes in the last 32 bytes, offsets beyond
// 2 GiB, and a defective camera recording carrying a phone's meta). For each
// input, boxdump's listing and JSON and boxmend's lines must be the ones kept
// beside it, and boxmend must leave the file as it was, or exactly as the
// kept repaired copy.

#include "tests/support/Expected.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const std::string boxdump = BOXDUMP_PATH;
const std::string boxmend = BOXMEND_PATH;

// What a run printed and its status, with the path of the copy (also as the
// JSON writes it) replaced by the file's name, compared with the kept text.
void expectKept(const ProcessResult& run, const std::string& path, const std::string& name,
                const std::string& kept) {
    expectFile(anonymous(run.out + "--- standard error\n" + run.err + "--- status " +
                             std::to_string(run.status) + "\n",
                         path, name),
               kept);
}

} // namespace

TEST(OtherRecorders, ListingsAndRepairsAreTheKeptOnes) {
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(fs::u8path(OTHER_RECORDERS_DIR))) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".mov" && extension != ".mp4" && extension != ".m4a" &&
            extension != ".3gp")
            continue;
        ++inputs;
        const std::string kept = entry.path().string();
        SCOPED_TRACE(kept);
        TempDir dir;
        // A name whose short form is itself, as boxmend prints it on Windows.
        const std::string name = "clip" + extension;
        const Bytes original = readFile(entry.path());
        const std::string path = dir.write(name, original);

        expectKept(runProcess(boxdump, {path}), path, name, kept + ".boxdump.txt");
        expectKept(runProcess(boxdump, {"--json", path}), path, name, kept + ".boxdump.json");
        expectKept(runProcess(boxmend, {path}), path, name, kept + ".boxmend.txt");
        const bool repairs = fs::exists(kept + ".repaired");
        EXPECT_TRUE(dir.read(name) == (repairs ? readFile(kept + ".repaired") : original));
        if (repairs) {
            EXPECT_EQ(runProcess(boxmend, {path}).out, "No issues found in Lumacode Video Track\n");
        }
    }
    EXPECT_EQ(inputs, 11);
}

// Recordings sit in deep folders; boxdump names the path as given, boxmend
// by its short form where there is one, never in the extended-length form.
TEST(OtherRecorders, EveryProgramOpensPathsOfMoreThan260Characters) {
    TempDir dir;
    fs::path deep = fs::u8path(dir.path());
    for (char letter : std::string("abcdef"))
        deep /= std::string(50, letter);
    fs::create_directories(deep);
    const std::string path = (deep / "clip.mov").u8string();
    ASSERT_GT(path.size(), 300u);
    fs::copy_file(fs::u8path(OTHER_RECORDERS_DIR) / "tail-moov-cut.mov", deep / "clip.mov");
    const std::string line = "error 8 (invalid object / null pointer) checking audio track ";

    ProcessResult run = runProcess(boxdump, {path});
    // Named as boxmend names it, by its short alias where the system has one.
    EXPECT_EQ(run.err, runProcess(boxmend, {path}).out);
    EXPECT_EQ(run.status, 2);
    run = runProcess(boxmend, {path});
    EXPECT_EQ(run.out.rfind(line + dir.path(), 0), 0u) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - 9), "clip.mov\n") << run.out;
    EXPECT_EQ(run.out.find('?'), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 4);
    // Walked down to from a folder, too.
    run = runProcess(BOXMEND_ALL_PATH, {dir.path()});
    EXPECT_TRUE(contains(run.out, "[1] " + path + "\n    " + line));
    EXPECT_TRUE(contains(run.out, "1 recording: 0 repaired, 0 already right, 1 failed\n"));
    EXPECT_EQ(run.status, 1);
}

#ifndef _WIN32
TEST(OtherRecorders, BoxdumpFailsWhenItsListingIsLost) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here to make writing to standard output fail";
    const fs::path input = fs::u8path(OTHER_RECORDERS_DIR) / "meta-forms.mov";
    for (const char* option : {"", "--json "}) {
        const ProcessResult run =
            runProcess("/bin/sh", {"-c", std::string("exec \"$0\" ") + option + "\"$1\" >/dev/full",
                                   boxdump, input.string()});
        EXPECT_EQ(run.status, 2) << option;
        EXPECT_EQ(run.err, "boxdump: cannot write to standard output\n");
    }
}
#endif
