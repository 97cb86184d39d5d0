// Runs both programs on the recordings in data/other-recorders: files made
// by ffmpeg as muxers and taggers make them, and by make_other_recorders
// (QuickTime-style meta boxes in moov and udta beside the ISO form, codes
// with the copyright sign, boxes in the last 32 bytes, offsets beyond
// 2 GiB, and a defective camera recording carrying a phone's meta). For each
// input, boxdump's listing and JSON and boxmend's lines must be the ones kept
// beside it, and boxmend must leave the file as it was, or exactly as the
// kept repaired copy.

#include "tests/support/Bytes.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

const std::string boxdump = BOXDUMP_PATH;
const std::string boxmend = BOXMEND_PATH;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// What a run printed and its status, with the path of the copy (also as the
// JSON writes it) replaced by the file's name.
std::string transcript(const ProcessResult& run, const std::string& path, const std::string& name) {
    std::string text = run.out + "--- standard error\n" + run.err + "--- status " +
                       std::to_string(run.status) + "\n";
    std::string escaped = path;
    replaceAll(escaped, "\\", "\\\\");
    replaceAll(text, escaped, name);
    replaceAll(text, path, name);
    return text;
}

// Compares with the kept text; with BOXMEND_UPDATE_EXPECTED set, keeps it.
void expectKept(const std::string& text, const fs::path& kept) {
    if (std::getenv("BOXMEND_UPDATE_EXPECTED") != nullptr)
        std::ofstream(kept, std::ios::binary) << text;
    EXPECT_EQ(text, readText(kept)) << kept;
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
        const std::string original = readText(entry.path());
        const std::string path = dir.write(name, Bytes(original.begin(), original.end()));

        expectKept(transcript(runProcess(boxdump, {path}), path, name), kept + ".boxdump.txt");
        expectKept(transcript(runProcess(boxdump, {"--json", path}), path, name),
                   kept + ".boxdump.json");
        expectKept(transcript(runProcess(boxmend, {path}), path, name), kept + ".boxmend.txt");
        const bool repairs = fs::exists(kept + ".repaired");
        const std::string after = readText(fs::u8path(path));
        EXPECT_EQ(after, repairs ? readText(kept + ".repaired") : original);
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
    EXPECT_NE(run.out.find("[1] " + path + "\n    " + line), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 recording: 0 repaired, 0 already right, 1 failed\n"),
              std::string::npos);
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
