// boxmend-all on one folder tree that holds every kind of file a card can:
// it must leave each file exactly as boxmend alone leaves it, touch nothing
// the walk should skip, and say so in its statuses and summary.

#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/Expected.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"
#include "tool/repair/Journal.h"
#include "tool/repair/RepairRun.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::string all = BOXMEND_ALL_PATH;

// The journal of a run that was stopped before its first write.
void putPendingJournal(const std::string& path) {
    mediafmt::io::File file;
    ASSERT_EQ(file.open(path, mediafmt::io::OpenMode::read), 0u);
    boxmend::repair::DirectoryJournal store(path);
    boxmend::repair::Journaling journaling{store, {}};
    ASSERT_EQ(file.identity(journaling.identity.device, journaling.identity.index), 0u);
    mediafmt::mp4::File tree;
    const boxmend::repair::RunOutcome run =
        boxmend::repair::runRepairs(file, tree, boxmend::repair::RunMode::planOnly, journaling);
    boxmend::repair::Journal journal;
    ASSERT_EQ(file.size(journal.fileLength), 0u);
    journal.identity = journaling.identity;
    journal.repairs = {run.audioPlan, run.videoPlan};
    boxmend::repair::SaveTrouble trouble{};
    ASSERT_EQ(store.save(boxmend::repair::encodeJournal(journal), trouble), 0u);
}

// Movies, given to boxmend one by one as well, and what each holds.
std::vector<std::pair<const char*, Bytes>> movies() {
    const fs::path seeds = fs::u8path(FUZZ_DIR) / "corpus/repair";
    Recording phone;
    phone.withAudio = false;
    phone.withVideo = false;
    return {{"DCIM/100CAM/VID_0001.MOV", cameraRecording(true)},
            {"DCIM/100CAM/VID_0002.MOV", cameraRecording(false)},
            {"DCIM/100CAM/deep/er/clip \xE2\x98\x83.mp4", cameraRecording(true)},
            {"DCIM/100CAM/held.mov", cameraRecording(false)},
            {"DCIM/refused.mov", readFile(seeds / "refused-one-size")},
            {"DCIM/100CAM/torn.mov", readFile(seeds / "torn-in-time-count")},
            {"DCIM/done.mov", cameraRecording(true)},
            {"OTHER/phone.mp4", cameraRecording(phone)},
            {"noext", cameraRecording(true)},
            {"empty.mov", {}},
            {"pending.mov", cameraRecording(true)}};
}

// The movies and the other files of a card.
fs::path makeCard(const fs::path& card) {
    for (const auto& [name, bytes] : movies())
        writeFile(card / fs::u8path(name), bytes);
    writeFile(card / "notes.txt", {'h', 'i'});
    putPendingJournal((card / "pending.mov").u8string());
    // A journal whose repairs are all on the file already: removed, not trouble.
    putPendingJournal((card / "DCIM/done.mov").u8string());
    writeFile(card / "DCIM/done.mov", cameraRecording(false));
    fs::create_hard_link(card / "DCIM/100CAM/VID_0001.MOV", card / "hard.mov");
#ifndef _WIN32
    writeFile(card.parent_path() / "outside.mov", cameraRecording(true));
    fs::create_symlink("../outside.mov", card / "link.mov");
    fs::create_directory_symlink(".", card / "loop");
    EXPECT_EQ(::mkfifo((card / "fifo").c_str(), 0644), 0);
#endif
    return card;
}

// Every regular file below root, hidden ones included, links not followed.
std::map<std::string, Bytes> contents(const fs::path& root) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_symlink() && entry.is_regular_file())
            files[entry.path().lexically_relative(root).generic_u8string()] =
                readFile(entry.path());
    return files;
}

#ifdef _WIN32
const std::string otherFiles = "1 other file";
#else
const std::string otherFiles = "4 other files";
#endif

} // namespace

TEST(WholeCard, EndsAsBoxmendAloneLeavesEachFile) {
    TempDir dir;
    const fs::path card = makeCard(fs::u8path(dir.path()) / "card");
    const fs::path alone = makeCard(fs::u8path(dir.path()) / "alone" / "card");
    const fs::path held = card / "DCIM/100CAM/held.mov";
    mediafmt::io::File reader;
    ASSERT_EQ(reader.open(held.u8string(), mediafmt::io::OpenMode::read), 0u);
    fs::permissions(held, fs::perms::owner_write, fs::perm_options::remove);

    const auto before = contents(fs::u8path(dir.path()));
    ProcessResult run = runProcess(all, {"--dry-run", card.u8string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(
        contains(run.out, "10 recordings: 5 to repair, 3 already right, 1 refused, 1 in trouble\n1 "
                          "movie from another device left alone; " +
                              otherFiles + " skipped\n"));
    EXPECT_TRUE(contains(run.out, "pending: the next run of boxmend completes"));
    // Finishing an interrupted repair is one to make, for boxdump too.
    EXPECT_EQ(runProcess(BOXDUMP_PATH, {(card / "pending.mov").u8string()}).status, 1);
    EXPECT_TRUE(
        contains(run.out, "done.mov.boxmend-journal: completed: the next run of boxmend removes"));
    EXPECT_TRUE(contents(fs::u8path(dir.path())) == before);

    run = runProcess(all, {card.u8string()});
    EXPECT_EQ(run.status, 1);
    const std::string shown =
        card.u8string() + (card.u8string().find('\\') != std::string::npos ? "\\" : "/");
    EXPECT_TRUE(
        contains(run.out, "10 recordings: 5 repaired, 3 already right, 2 failed\n1 movie from "
                          "another device left alone; " +
                              otherFiles + " skipped\nFailed: " + shown + "DCIM" + shown.back() +
                              "refused.mov\nFailed: " + shown + "empty.mov\n"));
    EXPECT_TRUE(contains(run.out, "clip \xE2\x98\x83.mp4\n    Corrected error in Ambisonic"));
    // Recordings alone are numbered, the phone's movie among them is not; and
    // every line but those naming a file fits an 80-column terminal.
    EXPECT_TRUE(contains(run.out, "\n[10] "));
    EXPECT_EQ(run.out.find("[11]"), std::string::npos) << run.out;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(card.filename().u8string()) == std::string::npos) {
            EXPECT_LE(line.size(), 80u) << line;
        }
    }
    EXPECT_TRUE(contains(run.out,
                         "held.mov\n    Cannot be opened for writing, but there is nothing to "
                         "repair\n"));

    for (const auto& movie : movies())
        runProcess(BOXMEND_PATH, {(alone / fs::u8path(movie.first)).u8string()});
    EXPECT_TRUE(contents(card) == contents(alone));
#ifndef _WIN32
    EXPECT_TRUE(readFile(card.parent_path() / "outside.mov") == cameraRecording(true));
#endif

    run = runProcess(all, {card.u8string()});
    EXPECT_TRUE(contains(run.out, "10 recordings: 0 repaired, 8 already right, 2 failed"));
    fs::permissions(held, fs::perms::owner_write, fs::perm_options::add);
}

TEST(WholeCard, Statuses) {
    const std::string usage = "Usage: boxmend-all [--dry-run] <file or folder>...\n";
    EXPECT_EQ(runProcess(all, {}).out, usage);
    ProcessResult run = runProcess(all, {"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind(usage, 0), 0u) << run.out;
    EXPECT_TRUE(contains(run.out, "  130  interrupted by Ctrl-C\n"));
    EXPECT_EQ(runProcess(all, {"--version"}).out, "boxmend-all " BOXMEND_VERSION "\n");
    EXPECT_EQ(runProcess(all, {"--dry-run"}).status, 2);
    EXPECT_EQ(runProcess(all, {"--jsn", "a"}).status, 2);
    TempDir dir;
    const std::string notes = dir.write("notes.txt", {'h', 'i'});
    run = runProcess(all, {dir.path(), notes});
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(contains(run.out, "No movie found in " + dir.path() + ", " + notes + "\n"));
    // A box header alone, with no movie's extension, is a movie that fails.
    const std::string header = dir.write("header", {0, 0, 0, 8, 'f', 'r', 'e', 'e'});
    EXPECT_EQ(runProcess(all, {header}).status, 1);
    // A path that does not exist says so, and alone says nothing more.
    const std::string missing = dir.file("missing");
    expectRun(runProcess(all, {missing}), 1, missing + ": no such file or folder\n");
    run = runProcess(all, {missing, dir.write("clip.mov", cameraRecording(true))});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind(missing + ": no such file or folder\n", 0), 0u) << run.out;
    EXPECT_TRUE(contains(run.out, "1 repaired"));
    EXPECT_TRUE(contains(run.out, "Could not read: " + missing + " (no such file or folder)\n"));
    // Folders deeper than any card's are reported rather than walked.
    const fs::path top = fs::u8path(dir.path()) / "deep";
    fs::path deep = top;
    for (int level = 0; level < 100; ++level)
        deep /= "d";
    writeFile(deep / "a.mov", cameraRecording(true));
    writeFile(deep / "d" / "b.mov", cameraRecording(true));
    run = runProcess(all, {top.u8string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "1 recording: 1 repaired"));
    EXPECT_TRUE(contains(run.out, "Could not read: " + (deep / "d").u8string() +
                                      " (more than 100 levels deep)\n"));

#ifndef _WIN32
    // A name longer than any the system allows.
    const std::string tooLong = dir.file(std::string(300, 'a'));
    expectRun(runProcess(all, {tooLong}), 1,
              "Cannot read " + tooLong + ": the path is too long for the system\n");

    // Output lost: the repairs are still made, and the status says so.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here to make writing to standard output fail";
    const std::string clip = dir.write("lost.mov", cameraRecording(true));
    run = runProcess("/bin/sh", {"-c", "exec \"$0\" \"$1\" >/dev/full", all, clip});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(dir.read("lost.mov") == cameraRecording(false));
#endif
}

#ifdef KILL_SHIM_PATH
// Ctrl-C while the first of three recordings is being repaired, raised by
// the shim right before the repair's first flush; twice for a hard stop.
TEST(WholeCard, CtrlCIsAnsweredAtOnce) {
    TempDir dir;
    for (const char* name : {"a.mov", "b.mov", "c.mov"})
        dir.write(name, cameraRecording(true));
    auto interrupted = [&](const std::string& times) {
        return runProcess(all, {dir.path()},
                          {"LD_PRELOAD=" KILL_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                           "BOXMEND_INTERRUPT_AT=1", "BOXMEND_INTERRUPTS=" + times});
    };

    ProcessResult run = interrupted("1");
    EXPECT_EQ(run.status, 130);
    const std::string a = dir.file("a.mov");
    EXPECT_EQ(run.out.rfind("Stopping after this movie; Ctrl-C again stops now.\n[1] " + a, 0), 0u)
        << run.out;
    EXPECT_TRUE(
        contains(run.out, "Interrupted after 1 of 3 movies; the rest were not looked at\n"));
    EXPECT_TRUE(dir.read("a.mov") == cameraRecording(false));
    EXPECT_TRUE(dir.read("b.mov") == cameraRecording(true));

    dir.write("a.mov", cameraRecording(true));
    run = interrupted("2");
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.out,
              "Stopping after this movie; Ctrl-C again stops now.\nStopped at once during " + a +
                  ";\nits journal lets the next run of boxmend or boxmend-all complete "
                  "the repair.\n");
    run = runProcess(all, {dir.path()});
    EXPECT_EQ(run.status, 0) << run.out;
    for (const char* name : {"a.mov", "b.mov", "c.mov"})
        EXPECT_TRUE(dir.read(name) == cameraRecording(false)) << name;
}

// A card that stores one write of the second recording's repair elsewhere:
// the walk stops after that recording, which is put back as it was or keeps
// its journal, and the third is not opened for writing at all.
TEST(WholeCard, StopsAfterADeviceMisplacedAWrite) {
    bool stopped = false;
    for (int nth = 1; nth < 80 && !stopped; ++nth) {
        TempDir dir;
        for (const char* name : {"a.mov", "b.mov", "c.mov"})
            dir.write(name, cameraRecording(true));
        const ProcessResult run =
            runProcess(all, {dir.path()},
                       {"LD_PRELOAD=" KILL_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                        "BOXMEND_MISPLACE_AT=" + std::to_string(nth), "BOXMEND_MISPLACE_BY=-46"});
        stopped = run.out.find("Stopped after " + dir.file("b.mov") + ":\n") != std::string::npos;
        if (!stopped)
            continue;
        SCOPED_TRACE(run.out);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.out, "1 movie was not touched."));
        EXPECT_TRUE(dir.read("a.mov") == cameraRecording(false));
        EXPECT_TRUE(dir.read("b.mov") == cameraRecording(true) ||
                    fs::exists(dir.file(".b.mov.boxmend-journal")));
        EXPECT_TRUE(dir.read("c.mov") == cameraRecording(true));
        EXPECT_FALSE(fs::exists(dir.file(".c.mov.boxmend-journal")));
    }
    EXPECT_TRUE(stopped) << "no misplaced write of the second recording was seen";
}
#endif
