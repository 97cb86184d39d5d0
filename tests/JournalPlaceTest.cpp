// Where the repair journal is kept: beside its recording, under a name that
// fits the file system however long the recording's is, and found there by
// the programs.

#include "mediafmt/io/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/Expected.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"
#include "tool/repair/Journal.h"
#include "tool/repair/JournalStore.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace testsupport;
using namespace boxmend::repair;
using namespace mediafmt::io;

namespace {

const std::string suffix = ".boxmend-journal";

// A healthy recording whose name is too long for its journal's usual name,
// readable by its owner only, and a forged journal saved beside it.
class JournalBeside : public ::testing::Test {
protected:
    void saveJournal() {
        recording = cameraRecording(false, 12);
        dir.write(name, recording);
#ifndef _WIN32
        ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
#endif
        journal.fileLength = recording.size();
        {
            File file;
            ASSERT_EQ(file.open(path, OpenMode::read), 0u);
            ASSERT_EQ(file.identity(journal.identity.device, journal.identity.index), 0u);
        }
        journal.repairs.push_back(
            {videoRepair, "mdat", {{100, {std::uint8_t(~recording[100])}, {recording[100]}}}});
        boxmend::repair::SaveTrouble trouble{};
        ASSERT_EQ(store.save(encodeJournal(journal), trouble), 0u);
    }

    TempDir dir;
    const std::string name = std::string(240, 'r') + ".mov";
    const std::string journalName = journalNameFor(name);
    Bytes recording;
    const std::string path = dir.file(name);
    Journal journal;
    DirectoryJournal store{path};
};

} // namespace

TEST_F(JournalBeside, NameFitsTheFileSystemHoweverLongTheRecordingsName) {
    for (std::size_t length = 234; length <= 255; ++length) {
        const std::string fileName(length, 'n');
        const std::string journalFor = journalNameFor(fileName);
        EXPECT_EQ(journalFor.size() + 4, 255u) << length;
        // Names that fit keep their journal's usual name.
        EXPECT_EQ(journalFor == "." + fileName + suffix, length == 234) << length;
        EXPECT_NE(journalFor, journalNameFor(fileName.substr(1) + "m"));
    }
    std::string cjk;
    for (int i = 0; i < 79; ++i)
        cjk += "\xE6\x98\xA0";
    const std::string shortened = journalNameFor(cjk + ".mov");
#ifdef _WIN32
    // 83 UTF-16 units fit.
    EXPECT_EQ(shortened, "." + cjk + ".mov" + suffix);
#else
    // Cut between characters: 72 of them, "~", 16 hex digits.
    EXPECT_EQ(shortened.substr(0, 217), "." + cjk.substr(0, 216));
    EXPECT_EQ(shortened.size(), 1 + 216 + 17 + suffix.size());
#endif
}

#ifndef _WIN32
TEST_F(JournalBeside, SavedJournalGetsNoWiderPermissionsThanItsRecording) {
    ASSERT_NO_FATAL_FAILURE(saveJournal());
    struct stat info {};
    ASSERT_EQ(::stat(store.name().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u) << "no wider than the recording's 0600";
}
#endif

TEST_F(JournalBeside, JournalSavedUnderAShortenedNameIsFoundByBoxdumpAndBoxmend) {
    ASSERT_NO_FATAL_FAILURE(saveJournal());
    EXPECT_EQ(store.name(), dir.file(journalName));
    EXPECT_EQ(dir.read(journalName), encodeJournal(journal));
    // Found under its shortened name: this forged journal is then refused.
    const ProcessResult dumped = runProcess(BOXDUMP_PATH, {path});
    EXPECT_TRUE(contains(dumped.out, "    mismatch: "));
    EXPECT_EQ(dumped.status, 2);
    // Windows names the file by its short alias.
    const ProcessResult mended = runProcess(BOXMEND_PATH, {path});
    EXPECT_EQ(mended.status, 6);
    EXPECT_EQ(mended.out.rfind("The repair journal " + store.name() + " does not match file ", 0),
              0u)
        << mended.out;
    EXPECT_EQ(dir.read(name), recording);
    EXPECT_EQ(dir.read(journalName), encodeJournal(journal));
}

// The largest journal there may be, 16 MiB, is still read whole (and
// refused), not cut short and taken for a damaged one.
TEST_F(JournalBeside, LargestJournalIsReadWhole) {
    ASSERT_NO_FATAL_FAILURE(saveJournal());
    const std::size_t largest = 16 * 1024 * 1024;
    journal.repairs[0].box.resize(largest - encodeJournal(journal).size() + 4);
    const Bytes padded = encodeJournal(journal);
    ASSERT_EQ(padded.size(), largest);
    dir.write(journalName, padded);
    EXPECT_EQ(runProcess(BOXMEND_PATH, {path}).status, 6);
    EXPECT_EQ(dir.read(journalName).size(), largest);
}
