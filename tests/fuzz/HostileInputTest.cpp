// The built program on hostile files: whatever the bytes, it ends with one of
// its documented messages and statuses, never a signal; it leaves the file
// byte for byte as it was unless it reports a correction; and headers of a
// few megabytes built to be slow or greedy still take only seconds.

#include "mediafmt/ResultCode.h"
#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace testsupport;

namespace {

namespace fs = std::filesystem;

const std::string boxmend = BOXMEND_PATH;
const fs::path fuzzDir = FUZZ_DIR;
// The seeds of each target, then the inputs fuzz runs found faults with.
const fs::path inputDirs[] = {fuzzDir / "corpus" / "parse", fuzzDir / "corpus" / "repair",
                              fuzzDir / "regressions"};

// Far below what a fault of order n squared would take on these files, and
// far above what the program needs, even built for debugging with the
// sanitizers.
constexpr double secondsAllowed = 30;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The exit status a line of output stands for: 0 for an outcome that lets the
// run go on, -1 for a line that is not documented.
int statusOfLine(const std::string& line, const std::string& file) {
    if (line == "Corrected error in Ambisonic Audio Track Format Header" ||
        line == "No issues found in Lumacode Video Track" ||
        line == "Corrected error in Lumacode Video Track Format Header")
        return 0;
    if (line == "Error processing file " + file + " while repairing Lumacode Video")
        return 1;
    const struct {
        const char* step;
        int status;
    } steps[] = {{"opening file", 2},
                 {"parsing file", 3},
                 {"checking audio track", 4},
                 {"repairing audio track", 5}};
    for (const auto& step : steps) {
        for (mediafmt::ResultCode code = 2; code <= mediafmt::result::divideByZero; ++code) {
            if (line == "error " + std::to_string(code) + " (" + mediafmt::resultCodeText(code) +
                            ") " + step.step + " " + file)
                return step.status;
        }
    }
    return -1;
}

struct Outcome {
    ProcessResult run;
    // The processor time the program took where the system reports it for a
    // child process, so that other work on the machine does not count; else
    // the time it took to finish.
    double seconds = 0;
    Bytes after;
};

#ifndef _WIN32
double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Processor time and peak memory of the child processes waited for so far.
rusage childUsage() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage;
}
#endif

Outcome repair(const TempDir& dir, const Bytes& bytes) {
    const std::string path = dir.write("clip.mov", bytes);
#ifdef _WIN32
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome{runProcess(boxmend, {path}), 0, {}};
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
#else
    const rusage before = childUsage();
    Outcome outcome{runProcess(boxmend, {path}), 0, {}};
    const rusage after = childUsage();
    outcome.seconds = seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) -
                      seconds(before.ru_stime);
#endif
    outcome.after = dir.read("clip.mov");
    return outcome;
}

// Documented output and status, and the file unchanged unless a line says
// it was corrected.
void expectDocumentedEnd(const Outcome& outcome, const std::string& file, const Bytes& before) {
    EXPECT_EQ(outcome.run.err, "");
    const std::vector<std::string> lines = linesOf(outcome.run.out);
    ASSERT_FALSE(lines.empty());
    bool corrected = false;
    for (const std::string& line : lines) {
        EXPECT_NE(statusOfLine(line, file), -1) << line;
        corrected = corrected || line.rfind("Corrected", 0) == 0;
    }
    EXPECT_EQ(outcome.run.status, statusOfLine(lines.back(), file)) << outcome.run.out;
    EXPECT_EQ(outcome.after.size(), before.size());
    if (!corrected) {
        EXPECT_TRUE(outcome.after == before);
    }
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes repeated(const Bytes& unit, std::size_t times) {
    Bytes bytes;
    bytes.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    return bytes;
}

constexpr std::size_t fourMegabytes = 4u << 20;

const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});

// A movie whose moov holds a Lumacode track to repair and then the filling.
Bytes movieAround(const Bytes& filling) {
    const Bytes video =
        trakBox(1, "vide", 30000, 3003,
                box("stbl", {stsdBox({lmcdEntry(0)}), sttsBox({{3, 1001}}), stscBox({{1, 1, 1}}),
                             stszBox(0, 3, {64, 64, 64}), stcoBox({40, 104, 168})}));
    return concat({ftyp, box("mdat", {zeros(64)}), box("moov", {video, filling})});
}

// depth udta boxes, each the only child of the one before, around a free box:
// as deep as the reader goes.
Bytes nested(std::uint32_t depth) {
    Bytes inner = box("free", {zeros(4)});
    for (std::uint32_t level = 0; level < depth; ++level)
        inner = box("udta", {inner});
    return inner;
}

} // namespace

TEST(HostileInput, EveryKeptInputEndsAsDocumented) {
    for (const fs::path& inputs : inputDirs) {
        for (const auto& entry : fs::directory_iterator(inputs)) {
            SCOPED_TRACE(entry.path().string());
            TempDir dir;
            const Bytes before = readFile(entry.path());
            const Outcome outcome = repair(dir, before);
            expectDocumentedEnd(outcome, dir.file("clip.mov"), before);
        }
    }
}

TEST(HostileInput, HeadersOfFourMegabytesTakeSeconds) {
    const std::uint32_t sizes = 1u << 20;
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"half a million empty boxes in moov",
         movieAround(repeated(box("free"), fourMegabytes / 8))},
        {"half a million top-level boxes",
         concat({repeated(box("skip"), fourMegabytes / 8), movieAround({})})},
        {"thousands of chains nested as deep as allowed",
         movieAround(repeated(box("udta", {nested(61)}), fourMegabytes / 512))},
        {"a million sample sizes to rewrite",
         movieAround(trakBox(
             2, "soun", 48000, sizes,
             box("stbl", {stsdBox({in32Entry()}), sttsBox({{sizes, 1024}}), stscBox({{1, 1, 1}}),
                          fullBox("stsz", 0, 0, {u32(0), u32(sizes), repeated(u32(16), sizes)}),
                          stcoBox({0})})))},
        {"tables that count four billion entries",
         movieAround(box("udta", {repeated(fullBox("stts", 0, 0, {u32(0xFFFFFFFF), zeros(8)}),
                                           fourMegabytes / 20)}))},
        {"a box claiming four gigabytes more than the file holds",
         concat({movieAround({}), u32(0xFFFFFFFF), text("free"), zeros(fourMegabytes)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const Outcome outcome = repair(dir, c.file);
        expectDocumentedEnd(outcome, dir.file("clip.mov"), c.file);
        EXPECT_LT(outcome.seconds, secondsAllowed);
#ifndef _WIN32
        // The largest any run took so far, sanitizers' own memory included.
        EXPECT_LT(childUsage().ru_maxrss, 1024 * 1024) << "kilobytes";
#endif
        std::printf("[          ] %s: %.2f s, status %d\n", c.name, outcome.seconds,
                    outcome.run.status);
    }
}
