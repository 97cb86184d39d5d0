#include "mediafmt/io/File.h"

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::runProcess;
using testsupport::TempDir;

namespace {

const std::string boxmend = BOXMEND_PATH;

} // namespace

TEST(Driver, WrongArgumentCountPrintsOnlyTheUsageLine) {
    TempDir dir;
    std::string path = dir.write("clip.mov", {1, 2, 3});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {path, path}, {"a", "b", "c"}}) {
        SCOPED_TRACE(args.size());
        auto run = runProcess(boxmend, args);
        EXPECT_EQ(run.out, "Usage: boxmend <file>\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 1);
    }
}

TEST(Driver, MissingFileIsAnOpenErrorWithAnEmptyName) {
    TempDir dir;
    auto run = runProcess(boxmend, {dir.file("missing.mov")});
    EXPECT_EQ(run.out, "error 12 (I/O open error) opening file \n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 2);
}

TEST(Driver, DirectoryIsAnOpenErrorNamingIt) {
    TempDir dir;
    auto run = runProcess(boxmend, {dir.path()});
    EXPECT_EQ(run.out, "error 12 (I/O open error) opening file " + dir.path() + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 2);
}

// On Windows this long name has a short alias, which the messages print
// instead; WindowsDriverTest covers that case.
#ifndef _WIN32
TEST(Driver, FileInUseIsAnOpenErrorAndKeepsItsNameAsGiven) {
    TempDir dir;
    std::string path = dir.write("my clip \xE2\x98\x83.mov", {1, 2, 3});
    mediafmt::io::File holder;
    ASSERT_EQ(holder.open(path, mediafmt::io::OpenMode::readWrite), 0u);
    auto run = runProcess(boxmend, {path});
    EXPECT_EQ(run.out, "error 12 (I/O open error) opening file " + path + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 2);
}
#endif
