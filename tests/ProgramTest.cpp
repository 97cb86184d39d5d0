// The built programs where their own output, exit status or effect on the
// file is the point: the command lines, files that cannot be opened or are
// in use, the listings of tests/golden/, a repaired recording as a real
// player decodes it, and headers built to be slow or greedy.

#include "mediafmt/io/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/Expected.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"
#include "tool/console/FileName.h"
#include "tool/repair/JournalStore.h"
#include "tool/repair/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace testsupport;
using mediafmt::io::File;
using mediafmt::io::OpenMode;

namespace {

const std::string mend = BOXMEND_PATH;
const std::string dump = BOXDUMP_PATH;
const std::string corrected = "Corrected error in Ambisonic Audio Track Format Header\n"
                              "Corrected error in Lumacode Video Track Format Header\n";

// Twelve audio chunks, so that the size and offset lists wrap.
Bytes recording(bool defective) {
    return cameraRecording(defective, 12);
}

#ifndef _WIN32
// The status of the program run on path with standard output a pipe whose
// reading end is closed, SIGPIPE as it is by default.
int statusWritingToAClosedPipe(const std::string& program, const std::string& path) {
    int ends[2];
    if (::pipe(ends) != 0)
        return -1;
    ::close(ends[0]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    std::string arguments[] = {program, path};
    char* argv[] = {arguments[0].data(), arguments[1].data(), nullptr};
    pid_t pid = 0;
    int wstatus = 0;
    const bool ran =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, nullptr) == 0 &&
        ::waitpid(pid, &wstatus, 0) == pid;
    ::close(ends[1]);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return !ran ? -1 : WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}
#endif

} // namespace

TEST(Programs, CommandLines) {
    const std::string usage = "Usage: boxmend <file>\n";
    expectRun(runProcess(mend, {}), 1, usage);
    expectRun(runProcess(mend, {"a.mov", "b.mov"}), 1, usage);
    TempDir dir;
    // A name that leads nowhere is printed empty; a directory by its name.
    expectRun(runProcess(mend, {dir.file("missing.mov")}), 2,
              "error 12 (I/O open error) opening file \n");
    expectRun(runProcess(mend, {dir.path()}), 2,
              "error 12 (I/O open error) opening file " + dir.path() + "\n");

    EXPECT_EQ(runProcess(dump, {"--version"}).out, "boxdump " BOXMEND_VERSION "\n");
    EXPECT_EQ(runProcess(dump, {"--help"}).status, 0);
    EXPECT_EQ(runProcess(dump, {}).status, 2);
    EXPECT_EQ(runProcess(dump, {"--jsn", "a.mov"}).status, 2);
    const std::string missing = dir.file("missing.mov");
    expectRun(runProcess(dump, {missing}), 2, "",
              "error 12 (I/O open error) opening file " + missing + "\n");
    const ProcessResult json = runProcess(dump, {"--json", missing});
    EXPECT_TRUE(contains(json.out, "\"code\": 12,"));
    EXPECT_EQ(json.status, 2);

    // Each UTF-16 unit on its own, surrogates included, at the edges of each form.
    EXPECT_EQ(boxmend::console::unitsToUtf8(u"A\u007F\u0080\u07FF\u0800\U0001F600"),
              "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\xA0\xBD\xED\xB8\x80");
}

// boxmend takes the file for itself; boxdump shares it with other readers
// and never writes, even where it could.
TEST(Programs, FilesInUseAndReadOnlyFiles) {
    TempDir dir;
    const Bytes original = recording(true);
    const std::string path = dir.write("clip.mov", original);
    {
        File holder;
        ASSERT_EQ(holder.open(path, OpenMode::readWrite), 0u);
        expectRun(runProcess(mend, {path}), 2,
                  "error 12 (I/O open error) opening file " + path + "\n");
        expectRun(runProcess(dump, {path}), 2, "",
                  "error 12 (I/O open error) opening file " + path + "\n");
    }
    {
        File reader;
        ASSERT_EQ(reader.open(path, OpenMode::read), 0u);
        EXPECT_EQ(runProcess(dump, {path}).status, 1);
        EXPECT_EQ(runProcess(mend, {path}).status, 2);
    }
#ifndef _WIN32
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(runProcess(dump, {path}).status, 1);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
#endif
    EXPECT_EQ(dir.read("clip.mov"), original);
    expectRun(runProcess(mend, {path}), 0, corrected);
}

TEST(Programs, ListingsOfTheGoldens) {
    const std::filesystem::path golden = std::filesystem::u8path(GOLDEN_DIR);
    TempDir dir;
    const std::string path = dir.write("clip.mov", recording(true));
    ProcessResult run = runProcess(dump, {path});
    expectFile(run.out, golden / "boxdump-defective.txt");
    EXPECT_EQ(run.status, 1);
    expectFile(anonymous(runProcess(dump, {"--json", path}).out, path),
               golden / "boxdump-defective.json");

    // Repaired, the recording is listed as one made healthy.
    expectRun(runProcess(mend, {path}), 0, corrected);
    run = runProcess(dump, {path});
    expectFile(run.out, golden / "boxdump-healthy.txt");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(dir.read("clip.mov"), recording(false));
}

// The bundled sample is the generated recording, so that a fix to the
// generator cannot leave it behind, and it has both defects to repair.
TEST(Programs, TheBundledSampleIsTheGeneratedRecording) {
    const Bytes sample = readFile(std::filesystem::u8path(SAMPLE_PATH));
    EXPECT_TRUE(sample == cameraRecording(true));
}

// Headers of 4 MB built to be slow or greedy: each run ends as documented,
// leaves the file alone unless it corrects something, and takes seconds.
TEST(Programs, HostileHeadersOfFourMegabytesTakeSeconds) {
    constexpr std::size_t fourMegabytes = 4u << 20;
    auto repeated = [](const Bytes& unit, std::size_t times) {
        Bytes bytes;
        for (std::size_t i = 0; i < times; ++i)
            bytes.insert(bytes.end(), unit.begin(), unit.end());
        return bytes;
    };
    const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
    auto movieAround = [&](const Bytes& filling) {
        return concat(
            {ftyp, box("mdat", {zeros(64)}), box("moov", {videoTrak(lmcdEntry(0)), filling})});
    };
    const std::uint32_t sizes = 1u << 20;
    TempDir dir;
    const std::string path = dir.file("clip.mov");
    const std::string videoCorrected = "Corrected error in Lumacode Video Track Format Header\n";
    const struct {
        Bytes file;
        std::string out;
    } cases[] = {
        {movieAround(repeated(box("free"), fourMegabytes / 8)), videoCorrected},
        {concat({repeated(box("skip"), fourMegabytes / 8), movieAround({})}), videoCorrected},
        {movieAround(repeated(nestedBoxes(62), fourMegabytes / 512)), videoCorrected},
        {movieAround(trakBox(
             2, "soun", 48000, sizes,
             box("stbl", {stsdBox({in32Entry()}), sttsBox({{sizes, 1024}}), stscBox({{1, 1, 1}}),
                          fullBox("stsz", 0, 0, {u32(0), u32(sizes), repeated(u32(16), sizes)}),
                          stcoBox({0})}))),
         corrected},
        {movieAround(box("udta", {repeated(fullBox("stts", 0, 0, {u32(0xFFFFFFFF), zeros(8)}),
                                           fourMegabytes / 20)})),
         "error 10 (I/O read error) parsing file " + path + "\n"},
        {concat({movieAround({}), u32(0xFFFFFFFF), text("free"), zeros(fourMegabytes)}),
         videoCorrected},
    };
    for (const auto& c : cases) {
        dir.write("clip.mov", c.file);
        const auto start = std::chrono::steady_clock::now();
        const ProcessResult run = runProcess(mend, {path});
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("[          ] %.2f s: %s", took.count(), run.out.c_str());
        // An emulated build runs many times slower; quadratic work would
        // still take hours.
        EXPECT_LT(took.count(), 30 * BOXMEND_TEST_SLOWDOWN);
        EXPECT_EQ(run.out, c.out);
        const Bytes after = dir.read("clip.mov");
        EXPECT_EQ(after.size(), c.file.size());
        EXPECT_EQ(after == c.file, c.out.find("Corrected") == std::string::npos);
    }
}

#ifndef _WIN32
// Players skip a track much shorter than its movie as a preview image, so the
// movie must last as long as its longest track, before a repair and after.
TEST(Programs, TheMovieLastsAsLongAsItsLongestTrack) {
    if (std::system("/usr/bin/ffprobe -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe is not installed";
    TempDir dir;
    const std::string path = dir.write("clip.mov", cameraRecording());
    for (const bool repaired : {false, true}) {
        if (repaired)
            expectRun(runProcess(mend, {path}), 0, corrected);
        const ProcessResult probe = runProcess(
            "/usr/bin/ffprobe", {"-v", "error", "-show_entries", "format=duration:stream=duration",
                                 "-of", "flat", path});
        ASSERT_EQ(probe.status, 0) << probe.err;
        // Lines such as streams.stream.0.duration="0.100100" and format.duration="0.100000".
        double movie = -1;
        double longestTrack = -1;
        int tracks = 0;
        std::istringstream lines(probe.out);
        for (std::string line; std::getline(lines, line);) {
            const std::size_t quote = line.find('"');
            ASSERT_NE(quote, std::string::npos) << line;
            const double seconds = std::strtod(line.c_str() + quote + 1, nullptr);
            if (line.rfind("format.", 0) == 0) {
                movie = seconds;
            } else {
                longestTrack = std::max(longestTrack, seconds);
                ++tracks;
            }
        }
        EXPECT_EQ(tracks, 2) << probe.out;
        // The movie's timescale counts milliseconds.
        EXPECT_NEAR(movie, longestTrack, 0.001) << probe.out;
    }
}

// The 4-channel 32-bit PCM must come out of the repaired recording, as a
// real player decodes it, exactly as it went in.
TEST(Programs, RepairedRecordingDecodesToThePcmPutIn) {
    if (std::system("/usr/bin/ffmpeg -version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string path = dir.write("clip.mov", cameraRecording(true, 10));
    expectRun(runProcess(mend, {path}), 0, corrected);
    const ProcessResult decoded = runProcess(
        "/usr/bin/ffmpeg", {"-v", "error", "-i", path, "-map", "0:a", "-f", "s32be", "-"});
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    EXPECT_TRUE(Bytes(decoded.out.begin(), decoded.out.end()) == pcmPattern(10));
}

// Names are bytes, printed with their control bytes escaped, one line each;
// anything at the journal's name but a regular file is left alone, without
// waiting on it, and the run ends with 6 (2 for boxdump).
TEST(Programs, OddNamesAndThingsThatAreNotJournals) {
    TempDir dir;
    const std::string latin1 = dir.write("caf\xE9.mov", recording(true));
    expectRun(runProcess(mend, {latin1}), 0, corrected);

    const std::string path = dir.write("a\nb\x1B.mov", recording(true));
    const std::string shown = dir.path() + "/a\\x0ab\\x1b.mov";
    ASSERT_EQ(::mkfifo(dir.file(".a\nb\x1B.mov.boxmend-journal").c_str(), 0600), 0);
    const std::string unreadable = "error 12 (I/O open error) reading the repair journal for ";
    expectRun(runProcess(mend, {path}), 6, unreadable + shown + "\n");
    const ProcessResult dumped = runProcess(dump, {path});
    EXPECT_TRUE(contains(dumped.out, "  repair journal: " + dir.path() + "/.a\\x0ab\\x1b.mov"));
    expectRun(dumped, 2, dumped.out, unreadable + shown + "\n");
    const ProcessResult all = runProcess(BOXMEND_ALL_PATH, {"--dry-run", path});
    EXPECT_TRUE(contains(all.out, "[1] " + shown + "\n    repair journal " + dir.path() +
                                      "/.a\\x0ab\\x1b.mov"));
    for (const std::string& line : {boxmend::repair::message::halfWritten(path),
                                    boxmend::repair::message::completedJournalLeft(path)})
        EXPECT_EQ(line.find_first_of("\n\x1B"), std::string::npos) << line;

    // A link is not followed, so neither is it taken for a damaged journal
    // and removed.
    const std::string clip = dir.write("clip.mov", recording(true));
    dir.write("junk", Bytes(64, 0));
    ASSERT_EQ(::symlink("junk", dir.file(".clip.mov.boxmend-journal").c_str()), 0);
    expectRun(runProcess(mend, {clip}), 6, unreadable + clip + "\n");
    EXPECT_EQ(dir.read(".clip.mov.boxmend-journal"), Bytes(64, 0));

    // A journal beyond the longest name is none.
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(
        boxmend::repair::DirectoryJournal(dir.file(std::string(300, 'd')) + "/c.mov").load(bytes),
        mediafmt::result::noOp);

    // A reader gone away: the repair is made, then status 7; boxdump 2.
    std::remove(dir.file(".clip.mov.boxmend-journal").c_str());
    EXPECT_EQ(statusWritingToAClosedPipe(mend, clip), 7);
    EXPECT_EQ(dir.read("clip.mov"), recording(false));
    EXPECT_EQ(statusWritingToAClosedPipe(dump, clip), 2);
}
#endif
