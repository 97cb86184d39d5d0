// The driver's Windows behaviour: a long path reaches the file through its
// short alias, which is also the only name the messages show, and a file that
// another process holds open is refused.

#include "mediafmt/io/File.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

using namespace testsupport;
using mediafmt::io::File;
using mediafmt::io::OpenMode;

namespace {

const std::string boxmend = BOXMEND_PATH;

const std::string audioCorrected = "Corrected error in Ambisonic Audio Track Format Header\n";
const std::string videoCorrected = "Corrected error in Lumacode Video Track Format Header\n";
const std::string videoFine = "No issues found in Lumacode Video Track\n";

std::wstring widen(const std::string& utf8) {
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), units);
    wide.resize(wide.size() - 1);
    return wide;
}

// The volume and index of the file a path leads to: equal for two names of
// the same file, whatever the names.
struct Identity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const Identity& other) const {
        return std::tie(volume, indexHigh, indexLow) ==
               std::tie(other.volume, other.indexHigh, other.indexLow);
    }
};

::testing::AssertionResult sameFile(const std::string& first, const std::string& second) {
    Identity ids[2];
    const std::string* paths[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        // No access rights asked and every sharing allowed: it only looks.
        HANDLE handle = CreateFileW(widen(*paths[i]).c_str(), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return ::testing::AssertionFailure() << "cannot open " << *paths[i];
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = GetFileInformationByHandle(handle, &info);
        CloseHandle(handle);
        if (!known)
            return ::testing::AssertionFailure() << "no file information for " << *paths[i];
        ids[i] = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    }
    if (ids[0] == ids[1])
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << first << " and " << second << " are different files";
}

// The name that ends out, an error line in which marker comes just before it.
std::string nameAfter(const std::string& out, const std::string& marker) {
    const std::size_t at = out.find(marker);
    if (out.rfind("error ", 0) != 0 || at == std::string::npos ||
        out.find('\n') != out.size() - 1) {
        ADD_FAILURE() << "expected one error line holding \"" << marker << "\", got: " << out;
        return std::string();
    }
    return out.substr(at + marker.size(), out.size() - at - marker.size() - 1);
}

std::string lastComponent(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

bool isAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// A file type box and media data, and no movie box.
Bytes withoutMovie() {
    return concat({box("ftyp", {text("qt  "), u32(0), text("qt  ")}), box("mdat", {zeros(16)})});
}

class LongName : public ::testing::TestWithParam<const char*> {};

} // namespace

// Every message that names the file shows the same short alias, never the
// long name typed; the alias leads to the very file, and a repair made
// through it lands in that file.
TEST_P(LongName, IsReportedAndOpenedByItsShortAlias) {
    TempDir dir;
    const std::string name = GetParam();
    const std::string longPath = dir.write(name, withoutMovie());

    ProcessResult run = runProcess(boxmend, {longPath});
    EXPECT_EQ(run.status, 4);
    const std::string alias =
        nameAfter(run.out, "error 8 (invalid object / null pointer) checking audio track ");
    ASSERT_FALSE(alias.empty());
    if (lastComponent(alias) == name)
        GTEST_SKIP() << "this volume gives no short names";
    EXPECT_TRUE(isAscii(alias)) << alias;
    EXPECT_TRUE(sameFile(alias, longPath));

    // A file that does not parse: no movie header has version 2.
    dir.write(name, concat({box("ftyp", {text("qt  "), u32(0), text("qt  ")}),
                            box("moov", {fullBox("mvhd", 2, 0, {zeros(96)})})}));
    run = runProcess(boxmend, {longPath});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(nameAfter(run.out, ") parsing file "), alias);

    // A file held open by this process, with or without sharing it for reading.
    for (OpenMode mode : {OpenMode::readWrite, OpenMode::read}) {
        File holder;
        ASSERT_EQ(holder.open(longPath, mode), 0u);
        run = runProcess(boxmend, {longPath});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(nameAfter(run.out, "error 12 (I/O open error) opening file "), alias);
    }

    // Given the alias itself, the program keeps it as it is.
    run = runProcess(boxmend, {alias});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(nameAfter(run.out, ") parsing file "), alias);

    // Repaired through the alias, the long-named file is the one changed.
    const Bytes original = cameraRecording();
    dir.write(name, original);
    run = runProcess(boxmend, {longPath});
    EXPECT_EQ(run.out, audioCorrected + videoCorrected);
    EXPECT_EQ(run.status, 0);
    const Bytes repaired = dir.read(name);
    EXPECT_EQ(repaired.size(), original.size());
    EXPECT_NE(repaired, original);
    run = runProcess(boxmend, {longPath});
    EXPECT_EQ(run.out, videoFine);
    EXPECT_EQ(run.status, 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, LongName,
                         ::testing::Values("a long recording name.mov",
                                           "clip \xE2\x98\x83 of the day.mov",
                                           "smile \xF0\x9F\x98\x80 take two.mov"));

// Sharing is refused between processes: while this process holds the file,
// in any mode, the program cannot open it; once released, it can.
TEST(WindowsDriver, FileHeldByAnotherProcessIsAnOpenError) {
    TempDir dir;
    const std::string path = dir.write("clip.mov", cameraRecording());
    for (OpenMode mode : {OpenMode::read, OpenMode::readWrite, OpenMode::update}) {
        SCOPED_TRACE(static_cast<int>(mode));
        File holder;
        ASSERT_EQ(holder.open(path, mode), 0u);
        ProcessResult run = runProcess(boxmend, {path});
        EXPECT_EQ(run.out, "error 12 (I/O open error) opening file " + path + "\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 2);
    }
    EXPECT_EQ(dir.read("clip.mov"), cameraRecording()) << "a refused run writes nothing";
    ProcessResult run = runProcess(boxmend, {path});
    EXPECT_EQ(run.out, audioCorrected + videoCorrected);
    EXPECT_EQ(run.status, 0);
}
