// When the card is the trouble: a full or locked card, a recording the
// camera never finished, an empty file. Each is said in words, and nothing
// on the card changes.

#include "tests/support/CameraFile.h"
#include "tests/support/Expected.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"
#include "tool/repair/JournalStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#ifndef _WIN32
#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#endif

using namespace testsupport;

namespace {

const std::string dump = BOXDUMP_PATH;
const std::string all = BOXMEND_ALL_PATH;

// What the camera leaves when it loses power while recording: the ftyp and
// the media, and no moov.
Bytes unfinished() {
    const Bytes whole = cameraRecording(true);
    return Bytes(whole.begin(),
                 whole.begin() + static_cast<std::ptrdiff_t>(offsetOf(whole, "moov")));
}

const std::string neverFinished =
    "he recording was never finished (no moov box); boxmend cannot repair it\n";

} // namespace

// An empty file and one cut off before its moov: boxdump and boxmend-all say
// what the file is (boxmend's own lines are the kept inputs' outcomes).
TEST(Card, EmptyAndUnfinishedRecordingsAreNamed) {
    TempDir dir;
    const std::string empty = dir.write("VID_0029.MP4", {});
    const std::string cut = dir.write("VID_0030.MP4", unfinished());
    expectRun(runProcess(dump, {empty}), 2, "diagnosis\nresult: the file is empty\n",
              "error 7 (end of file) parsing file " + empty + "\n");
    ProcessResult run = runProcess(dump, {"--json", empty});
    auto document = nlohmann::json::parse(run.out);
    EXPECT_TRUE(document["boxes"].empty()) << run.out;
    EXPECT_EQ(document["reason"], "the file is empty");
    run = runProcess(dump, {cut});
    EXPECT_TRUE(contains(run.out, "\nresult: t" + neverFinished));
    EXPECT_EQ(run.status, 2);

    run = runProcess(all, {dir.path()});
    EXPECT_TRUE(contains(run.out, "parsing file " + empty + "\n    The file is empty\n"));
    EXPECT_TRUE(contains(run.out, "checking audio track " + cut + "\n    T" + neverFinished));
    run = runProcess(all, {"--dry-run", dir.path()});
    EXPECT_TRUE(contains(run.out, "    result: the file is empty\n"));
    EXPECT_TRUE(contains(run.out, "    result: t" + neverFinished));
}

#ifndef _WIN32
// The journal's writes fail as the system says: with no room, the store
// tells that apart from other failures; either way nothing is left behind.
// (Its place's room and read-only flag are the card tests' below.)
TEST(Card, AJournalWithNoRoomIsToldApart) {
    static int error = 0;
    const mediafmt::io::PosixCalls real = mediafmt::io::posixCalls();
    mediafmt::io::posixCalls().write = [](int, const void*, std::size_t) -> ssize_t {
        errno = error;
        return -1;
    };
    TempDir dir;
    boxmend::repair::DirectoryJournal journal(dir.write("clip.mov", cameraRecording(true)));
    for (const int failure : {ENOSPC, EDQUOT, EIO}) {
        error = failure;
        boxmend::repair::SaveTrouble trouble{};
        EXPECT_EQ(journal.save(Bytes(300, 1), trouble), mediafmt::result::writeError);
        EXPECT_EQ(trouble, failure == EIO ? boxmend::repair::SaveTrouble::none
                                          : boxmend::repair::SaveTrouble::noRoom);
        EXPECT_TRUE(dir.read(".clip.mov.boxmend-journal.new").empty());
    }
    mediafmt::io::posixCalls() = real;
}
#endif

#ifdef KILL_SHIM_PATH
namespace {

bool once(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos && text.find(part) == text.rfind(part);
}

// A program run on a card that looks locked or full (see KillShim.cpp).
ProcessResult onCard(const char* state, const std::string& program,
                     const std::vector<std::string>& args) {
    return runProcess(program, args,
                      {"LD_PRELOAD=" KILL_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                       std::string("BOXMEND_CARD=") + state});
}

} // namespace

// With no room for the journal, boxmend says so and how little it needs, and
// changes nothing; the dry run and boxdump warn beforehand.
TEST(Card, AFullCardIsNamedBeforeAndWhenItStopsARepair) {
    TempDir dir;
    const std::string clip = dir.write("VID_0001.MP4", cameraRecording(true));
    dir.write("VID_0002.MP4", cameraRecording(false));
    ProcessResult run = onCard("full", BOXMEND_PATH, {clip});
    const std::string line = "The card has no room for the repair journal of " + clip;
    ASSERT_EQ(run.out.rfind(line + " (it needs ", 0), 0u) << run.out;
    const std::string needs =
        run.out.substr(line.size() + 11, run.out.find(')') - line.size() - 11);
    expectRun(run, 5, line + " (it needs " + needs + "); nothing was changed\n");
    EXPECT_EQ(dir.read("VID_0001.MP4"), cameraRecording(true));

    const std::string warning = "warning: the card has no room for the repair journal (it needs " +
                                needs + ", 0 free); make room on the card before repairing\n";
    run = onCard("full", all, {"--dry-run", dir.path()});
    EXPECT_TRUE(once(run.out, warning)) << run.out;
    EXPECT_TRUE(
        contains(run.out, "    " + warning + "    result: a repair is needed, and boxmend can "));
    EXPECT_TRUE(contains(run.out, "2 recordings: 1 to repair, 1 already right"));
    run = onCard("full", dump, {clip});
    EXPECT_TRUE(contains(run.out, "\n  " + warning + "result: a repair is needed"));
    EXPECT_EQ(run.status, 1);
    auto room = nlohmann::json::parse(onCard("full", dump, {"--json", clip}).out);
    EXPECT_EQ(room["diagnosis"]["journalRoom"]["enough"], false);
}

// On a locked card boxmend-all says once that the card is read-only, and
// tells each file by what it holds beneath boxmend's open line.
TEST(Card, ALockedCardIsNamedOnceAndEachFileByWhatItHolds) {
    TempDir dir;
    const std::string clips[] = {dir.write("VID_0001.MP4", cameraRecording(true)),
                                 dir.write("VID_0002.MP4", cameraRecording(false)),
                                 dir.write("VID_0029.MP4", {}),
                                 dir.write("VID_0030.MP4", unfinished())};
    const std::string locked = "The card is read-only (its lock switch is on, or it is mounted "
                               "read-only): nothing on it can be repaired until it is writable\n";
    ProcessResult run = onCard("locked", all, {dir.path()});
    EXPECT_TRUE(once(run.out, locked)) << run.out;
    EXPECT_TRUE(contains(run.out, locked + "4 recordings: 0 repaired, 1 already right, 3 failed"));
    const std::string opening = "error 12 (I/O open error) opening file ";
    EXPECT_TRUE(
        contains(run.out, opening + clips[0] +
                              "\n    A repair is needed, but it cannot be made on a read-only "
                              "card\n"));
    EXPECT_TRUE(contains(run.out, "VID_0002.MP4\n    Cannot be opened for writing, but there is "
                                  "nothing to repair\n"));
    EXPECT_TRUE(contains(run.out, opening + clips[2] + "\n    The file is empty\n"));
    EXPECT_TRUE(contains(run.out, opening + clips[3] + "\n    T" + neverFinished));
    run = onCard("locked", all, {"--dry-run", dir.path()});
    EXPECT_TRUE(once(run.out, locked)) << run.out;
    EXPECT_EQ(dir.read("VID_0001.MP4"), cameraRecording(true));
}
#endif
