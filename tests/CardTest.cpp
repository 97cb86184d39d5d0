// When the card is the trouble: a full or locked card, a recording the
// camera never finished, an empty file. Each is said in words, and nothing
// on the card changes.

#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"
#include "tool/repair/JournalStore.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include "mediafmt/io/PosixCalls.h"

#include <cerrno>
#include <cstdlib>
#endif

using namespace testsupport;

namespace {

const std::string mend = BOXMEND_PATH;
const std::string dump = BOXDUMP_PATH;
const std::string all = BOXMEND_ALL_PATH;

Bytes recording(bool defective) {
    Recording recording;
    recording.audioDefective = defective;
    recording.videoDataReferenceIndex = defective ? 0 : 1;
    return cameraRecording(recording);
}

} // namespace

#ifndef _WIN32
// The journal's writes fail as the system says: with no room, the store
// tells that apart from other failures; either way nothing is left behind.
TEST(Card, AJournalWithNoRoomIsToldApart) {
    static int error = 0;
    const mediafmt::io::PosixCalls real = mediafmt::io::posixCalls();
    mediafmt::io::posixCalls().write = [](int, const void*, std::size_t) -> ssize_t {
        errno = error;
        return -1;
    };
    TempDir dir;
    boxmend::DirectoryJournal journal(dir.write("clip.mov", recording(true)));
    for (const int failure : {ENOSPC, EDQUOT, EIO}) {
        error = failure;
        boxmend::SaveTrouble trouble{};
        EXPECT_EQ(journal.save(Bytes(300, 1), trouble), mediafmt::result::writeError);
        EXPECT_EQ(trouble,
                  failure == EIO ? boxmend::SaveTrouble::none : boxmend::SaveTrouble::noRoom);
        Bytes none;
        EXPECT_EQ(journal.load(none), mediafmt::result::noOp);
        EXPECT_TRUE(dir.read(".clip.mov.boxmend-journal.new").empty());
    }
    mediafmt::io::posixCalls() = real;
    const boxmend::JournalPlace place = journal.place();
    EXPECT_FALSE(place.readOnly);
    ASSERT_TRUE(place.freeBytes.has_value());
    EXPECT_FALSE(place.tooFullFor(1));
    EXPECT_TRUE(place.tooFullFor(*place.freeBytes + 1));
}
#endif
