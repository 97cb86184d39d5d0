#include "mediafmt/io/File.h"

#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

using namespace mediafmt;
using namespace mediafmt::io;
using testsupport::TempDir;

namespace {

const std::vector<std::uint8_t> sixBytes{'a', 'b', 'c', 'd', 'e', 'f'};

std::uint64_t positionOf(File& file) {
    std::uint64_t position = 0;
    EXPECT_EQ(file.tell(position), 0u);
    return position;
}

std::uint64_t sizeOf(File& file) {
    std::uint64_t length = 0;
    EXPECT_EQ(file.size(length), 0u);
    return length;
}

bool eofOf(File& file) {
    bool atEnd = false;
    EXPECT_EQ(file.eof(atEnd), 0u);
    return atEnd;
}

// The code a readWrite open of path gives in a separate process.
ResultCode openInChild(const std::string& path) {
    auto run = testsupport::runProcess(OPEN_FILE_PATH, {path});
    return run.status < 0 ? 0xFFFFFFFFu : static_cast<ResultCode>(run.status);
}

} // namespace

TEST(File, OpenModes) {
    TempDir dir;
    File file;
    EXPECT_EQ(file.open(dir.file("missing"), OpenMode::read), result::openError);
    EXPECT_EQ(file.open(dir.file("missing"), OpenMode::readWrite), result::openError);
    EXPECT_FALSE(file.isOpen());

    // update creates a missing file, and on an existing one writes from the
    // start without truncating; it does not measure the length.
    ASSERT_EQ(file.open(dir.file("made"), OpenMode::update), 0u);
    file.close();
    EXPECT_TRUE(dir.read("made").empty());
    std::string path = dir.write("data", sixBytes);
    ASSERT_EQ(file.open(path, OpenMode::update), 0u);
    EXPECT_EQ(sizeOf(file), 0u);
    std::uint64_t count = 0;
    ASSERT_EQ(file.write("XY", 2, count), 0u);
    std::uint8_t byte = 0;
    EXPECT_EQ(file.read(&byte, 1, count), result::readError); // write only
    file.close();
    EXPECT_EQ(dir.read("data"), (std::vector<std::uint8_t>{'X', 'Y', 'c', 'd', 'e', 'f'}));

    // read measures the length and refuses writes.
    ASSERT_EQ(file.open(path, OpenMode::read), 0u);
    EXPECT_EQ(positionOf(file), 0u);
    EXPECT_EQ(sizeOf(file), 6u);
    EXPECT_EQ(file.write("Z", 1, count), result::writeError);

    // readWrite reads and writes in place.
    ASSERT_EQ(file.open(path, OpenMode::readWrite), 0u);
    EXPECT_EQ(sizeOf(file), 6u);
    ASSERT_EQ(file.seek(2, SeekOrigin::begin), 0u);
    ASSERT_EQ(file.read(&byte, 1, count), 0u);
    EXPECT_EQ(byte, 'c');
    ASSERT_EQ(file.write("D", 1, count), 0u);
    EXPECT_EQ(file.flush(), 0u);
    file.close();
    EXPECT_EQ(dir.read("data"), (std::vector<std::uint8_t>{'X', 'Y', 'c', 'D', 'e', 'f'}));

    // write truncates.
    ASSERT_EQ(file.open(path, OpenMode::write), 0u);
    ASSERT_EQ(file.write("q", 1, count), 0u);
    EXPECT_EQ(file.flush(), 0u);
    file.close();
    EXPECT_EQ(dir.read("data"), (std::vector<std::uint8_t>{'q'}));
}

TEST(File, OnlyRegularFilesOpen) {
    TempDir dir;
#ifdef _WIN32
    const std::string nullDevice = "NUL";
#else
    const std::string nullDevice = "/dev/null";
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
#endif
    File file;
    for (OpenMode mode : {OpenMode::read, OpenMode::readWrite, OpenMode::update}) {
        EXPECT_EQ(file.open(dir.path(), mode), result::openError);
        EXPECT_EQ(file.open(nullDevice, mode), result::openError);
#ifndef _WIN32
        // Must neither block waiting for a writer nor accept the pipe.
        EXPECT_EQ(file.open(dir.file("fifo"), mode), result::openError);
#endif
    }
}

TEST(File, FailedOrRepeatedOpenLeavesNoOldFileOpen) {
    TempDir dir;
    std::string first = dir.write("first", sixBytes);
    std::string second = dir.write("second", sixBytes);
    File file;
    File other;
    for (std::uint32_t mode : {0u, 3u}) {
        ASSERT_EQ(file.open(first, OpenMode::readWrite), 0u);
        EXPECT_EQ(file.open(first, static_cast<OpenMode>(mode)), result::openError);
        EXPECT_FALSE(file.isOpen());
    }
    ASSERT_EQ(file.open(first, OpenMode::readWrite), 0u);
    ASSERT_EQ(file.open(second, OpenMode::readWrite), 0u);
    EXPECT_EQ(other.open(first, OpenMode::readWrite), 0u) << "first is still held";
    other.close();
    EXPECT_EQ(file.open(dir.file("missing"), OpenMode::readWrite), result::openError);
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(other.open(second, OpenMode::readWrite), 0u) << "second is still held";
}

TEST(File, FileInUseIsNotShared) {
    TempDir dir;
    std::string path = dir.write("data", sixBytes);
    {
        File holder;
        ASSERT_EQ(holder.open(path, OpenMode::readWrite), 0u);
        EXPECT_EQ(openInChild(path), result::openError);
        // The lock belongs to the open file, so another File in this process is refused too.
        File second;
        EXPECT_EQ(second.open(path, OpenMode::read), result::openError);
        EXPECT_EQ(second.open(path, OpenMode::write), result::openError);
    }
    EXPECT_EQ(dir.read("data"), sixBytes) << "a refused write open must not truncate";
    EXPECT_EQ(openInChild(path), 0u) << "destroying the File releases it";

    // Readers share with each other but not with a writer.
    File holder;
    File second;
    ASSERT_EQ(holder.open(path, OpenMode::read), 0u);
    EXPECT_EQ(second.open(path, OpenMode::read), 0u);
    EXPECT_EQ(openInChild(path), result::openError);
}

TEST(File, EofAndSizeUseTheLengthMeasuredAtOpen) {
    TempDir dir;
    File file;
    ASSERT_EQ(file.open(dir.write("empty", {}), OpenMode::read), 0u);
    EXPECT_TRUE(eofOf(file));

    ASSERT_EQ(file.open(dir.write("data", sixBytes), OpenMode::readWrite), 0u);
    EXPECT_FALSE(eofOf(file));
    std::uint8_t bytes[8] = {};
    std::uint64_t count = 0;
    ASSERT_EQ(file.read(bytes, 8, count), 0u);
    EXPECT_EQ(count, 6u);
    EXPECT_TRUE(eofOf(file));
    ASSERT_EQ(file.read(bytes, 8, count), 0u);
    EXPECT_EQ(count, 0u);

    // Growing the file does not move the measured end.
    ASSERT_EQ(file.write("gh", 2, count), 0u);
    EXPECT_EQ(sizeOf(file), 6u);
    ASSERT_EQ(file.seek(-2, SeekOrigin::current), 0u);
    EXPECT_TRUE(eofOf(file));
    ASSERT_EQ(file.seek(-1, SeekOrigin::current), 0u);
    EXPECT_FALSE(eofOf(file));
}

TEST(File, SeekBeforeTheStartFailsAndPastTheEndIsAllowed) {
    TempDir dir;
    File file;
    ASSERT_EQ(file.open(dir.write("data", sixBytes), OpenMode::readWrite), 0u);
    ASSERT_EQ(file.seek(3, SeekOrigin::begin), 0u);
    EXPECT_EQ(file.seek(-1, SeekOrigin::begin), result::error);
    EXPECT_EQ(positionOf(file), 3u);
    ASSERT_EQ(file.seek(10, SeekOrigin::end), 0u);
    EXPECT_EQ(positionOf(file), 16u);
    std::uint8_t byte = 0;
    std::uint64_t count = 9;
    ASSERT_EQ(file.read(&byte, 1, count), 0u);
    EXPECT_EQ(count, 0u);
}

TEST(File, ClosedFileRefusesEverythingButClose) {
    TempDir dir;
    File file;
    EXPECT_EQ(file.close(), 0u);
    ASSERT_EQ(file.open(dir.write("data", sixBytes), OpenMode::readWrite), 0u);
    EXPECT_EQ(file.close(), 0u);
    EXPECT_EQ(file.close(), 0u);

    std::uint8_t byte = 7;
    std::uint64_t value = 42;
    bool flag = true;
    EXPECT_EQ(file.read(&byte, 1, value), result::fileNotOpen);
    EXPECT_EQ(file.write(&byte, 1, value), result::fileNotOpen);
    EXPECT_EQ(file.seek(0, SeekOrigin::begin), result::fileNotOpen);
    EXPECT_EQ(file.tell(value), result::fileNotOpen);
    EXPECT_EQ(file.eof(flag), result::fileNotOpen);
    EXPECT_EQ(file.size(value), result::fileNotOpen);
    EXPECT_EQ(file.flush(), result::fileNotOpen);
    EXPECT_EQ(byte, 7);
    EXPECT_EQ(value, 42u);
    EXPECT_TRUE(flag);
}

TEST(File, PathMustBeWellFormedUtf8) {
    TempDir dir;
    File file;
    // U+1F600 needs four bytes (a surrogate pair in UTF-16).
    EXPECT_EQ(file.open(dir.write("smile-\xF0\x9F\x98\x80", sixBytes), OpenMode::read), 0u);
    EXPECT_EQ(sizeOf(file), 6u);
    // The name ends at the first NUL.
    EXPECT_EQ(
        file.open(dir.file("smile-\xF0\x9F\x98\x80") + std::string("\0junk", 5), OpenMode::read),
        0u);

    // update would create any of these names if they got through.
    for (const char* bad : {"lone-\x80", "truncated-\xE2\x82-in-middle", "overlong-\xC0\xAF",
                            "surrogate-\xED\xA0\x80", "truncated-at-end-\xF0\x9F\x98"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(file.open(dir.file(bad), OpenMode::update), result::openError);
        EXPECT_FALSE(file.isOpen());
    }
    auto entries = std::filesystem::directory_iterator(std::filesystem::u8path(dir.path()));
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "only the smile file exists";
}
