// boxmend on Windows: a long path reaches the file through its short alias,
// which is also the only name the messages of boxmend and boxdump show, and
// a file that another process holds open, in any mode, is refused.

#include "mediafmt/io/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace testsupport;
using mediafmt::io::File;
using mediafmt::io::OpenMode;

namespace {

const std::string boxmend = BOXMEND_PATH;

class LongName : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(LongName, IsReportedAndOpenedByItsShortAlias) {
    TempDir dir;
    const std::string name = GetParam();
    const std::string longPath =
        dir.write(name, concat({box("ftyp", {text("qt  "), u32(0), text("qt  ")}),
                                box("moov", {fullBox("mvhd", 2, 0, {zeros(96)})})}));
    ProcessResult run = runProcess(boxmend, {longPath});
    const std::size_t at = run.out.find(") parsing file ");
    ASSERT_NE(at, std::string::npos) << run.out;
    const std::string alias = run.out.substr(at + 15, run.out.size() - at - 16);
    if (alias.substr(alias.find_last_of('\\') + 1) == name)
        GTEST_SKIP() << "this volume gives no short names";
    for (char c : alias)
        EXPECT_GE(c, 0) << alias;
    EXPECT_EQ(runProcess(boxmend, {alias}).out, run.out);
    // boxdump looks at the same file under the same name.
    EXPECT_EQ(runProcess(BOXDUMP_PATH, {longPath}).err, run.out);

    // Held by this process in any mode, the file is refused by the same name.
    for (OpenMode mode : {OpenMode::read, OpenMode::readWrite, OpenMode::update}) {
        File holder;
        ASSERT_EQ(holder.open(longPath, mode), 0u);
        run = runProcess(boxmend, {longPath});
        EXPECT_EQ(run.out, "error 12 (I/O open error) opening file " + alias + "\n");
        EXPECT_EQ(run.status, 2);
    }

    // Repaired through the alias, the long-named file is the one changed.
    dir.write(name, cameraRecording());
    run = runProcess(boxmend, {longPath});
    EXPECT_EQ(run.out, "Corrected error in Ambisonic Audio Track Format Header\n"
                       "Corrected error in Lumacode Video Track Format Header\n");
    EXPECT_EQ(dir.read(name), cameraRecording(false));
}

INSTANTIATE_TEST_SUITE_P(Windows, LongName,
                         ::testing::Values("a long recording name.mov",
                                           "clip \xE2\x98\x83 of the day.mov",
                                           "smile \xF0\x9F\x98\x80 take two.mov"));
