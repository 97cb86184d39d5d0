#include "mediafmt/io/File.h"

#include "tests/support/BoxBuilder.h"
#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace testsupport;
using Json = nlohmann::json;

namespace {

const std::string boxdump = BOXDUMP_PATH;
const std::string boxmend = BOXMEND_PATH;

// Twelve audio chunks, so that the size and offset lists wrap.
Recording recording(bool defective) {
    Recording recording;
    recording.audioChunks = 12;
    recording.audioDefective = defective;
    recording.videoDataReferenceIndex = defective ? 0 : 1;
    return recording;
}

// The listing is compared with tests/golden/NAME. With BOXDUMP_UPDATE_GOLDEN
// set in the environment the golden is rewritten instead, for a deliberate
// change of the format.
void expectGolden(const std::string& actual, const std::string& name) {
    const std::string path = std::string(BOXDUMP_GOLDEN_DIR) + "/" + name;
    if (std::getenv("BOXDUMP_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << "missing golden " << path;
    const std::string golden((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(actual, golden) << "differs from " << path;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The box at a path of the JSON tree, as "moov/trak[1]/mdia".
const Json* findBox(const Json& boxes, const std::string& path) {
    for (const Json& box : boxes) {
        const std::string& boxPath = box["path"].get_ref<const std::string&>();
        if (boxPath == path)
            return &box;
        if (path.compare(0, boxPath.size() + 1, boxPath + "/") == 0)
            return findBox(box["children"], path);
    }
    return nullptr;
}

// The box lines the text listing should hold for the JSON tree.
void boxLines(const Json& boxes, std::size_t depth, std::vector<std::string>& lines) {
    for (const Json& box : boxes) {
        lines.push_back(std::string(2 * depth, ' ') + box["type"].get<std::string>() + "  offset " +
                        std::to_string(box["offset"].get<std::uint64_t>()) + "  size " +
                        std::to_string(box["size"].get<std::uint64_t>()));
        boxLines(box["children"], depth + 1, lines);
    }
}

#ifndef _WIN32

struct FileState {
    std::vector<std::uint8_t> bytes;
    timespec modified{};
    timespec changed{};
};

FileState stateOf(const TempDir& dir, const std::string& name) {
    struct stat info {};
    EXPECT_EQ(::stat(dir.file(name).c_str(), &info), 0);
    return {dir.read(name), info.st_mtim, info.st_ctim};
}

void expectUnchanged(const FileState& before, const FileState& after) {
    EXPECT_EQ(before.bytes, after.bytes);
    EXPECT_EQ(before.modified.tv_sec, after.modified.tv_sec);
    EXPECT_EQ(before.modified.tv_nsec, after.modified.tv_nsec);
    EXPECT_EQ(before.changed.tv_sec, after.changed.tv_sec);
    EXPECT_EQ(before.changed.tv_nsec, after.changed.tv_nsec);
}

// Another process that holds the file open for reading with a shared lock,
// as a player or a copy in progress would, until the object goes away.
class SharedReader {
public:
    explicit SharedReader(const std::string& path) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release_, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only the parent's end may keep the release pipe open, so that
            // its closing ends the wait.
            ::close(ready[0]);
            ::close(release_[1]);
            int fd = ::open(path.c_str(), O_RDONLY);
            char byte = fd >= 0 && ::flock(fd, LOCK_SH) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &byte, 1);
            (void)!::read(release_[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char byte = 'n';
        holding_ = ::read(ready[0], &byte, 1) == 1 && byte == 'y';
        ::close(ready[0]);
    }
    ~SharedReader() {
        ::close(release_[1]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    SharedReader(const SharedReader&) = delete;
    SharedReader& operator=(const SharedReader&) = delete;

    bool holding() const { return holding_; }

private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool holding_ = false;
};

#endif

// An ambisonic track alone in moov, with the sample table boxes given.
Bytes audioOnlyRecording(std::initializer_list<Bytes> tables) {
    const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
    const Bytes stbl = box("stbl", {stsdBox({in32Entry()}), concat(tables)});
    return concat({ftyp, box("moov", {trakBox(1, "soun", 48000, 2048, stbl)})});
}

} // namespace

TEST(Boxdump, ListsHealthyAndDefectiveRecordingsAsTheGoldensShow) {
    TempDir dir;
    auto run = runProcess(boxdump, {dir.write("healthy.mov", cameraRecording(recording(false)))});
    expectGolden(run.out, "boxdump-healthy.txt");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);

    run = runProcess(boxdump, {dir.write("defective.mov", cameraRecording(recording(true)))});
    expectGolden(run.out, "boxdump-defective.txt");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
}

TEST(Boxdump, JsonHoldsTheSameTreeAndDiagnosisAsTheText) {
    TempDir dir;
    const std::string path = dir.write("defective.mov", cameraRecording(recording(true)));
    const auto text = runProcess(boxdump, {path});
    const auto run = runProcess(boxdump, {"--json", path});
    ASSERT_EQ(run.status, 1);
    const Json doc = Json::parse(run.out);

    std::vector<std::string> expected;
    boxLines(doc["boxes"], 0, expected);
    std::vector<std::string> listed;
    std::istringstream lines(text.out);
    for (std::string line; std::getline(lines, line);)
        if (contains(line, "  offset "))
            listed.push_back(line);
    EXPECT_EQ(listed, expected);

    EXPECT_EQ(doc["file"], path);
    EXPECT_EQ(doc["status"], 1);
    EXPECT_EQ(doc["needsRepair"], true);
    const Json* mdat = findBox(doc["boxes"], "mdat");
    ASSERT_NE(mdat, nullptr);
    EXPECT_TRUE((*mdat)["fields"].empty());
    const Json* stsz = findBox(doc["boxes"], "moov/trak[1]/mdia/minf/stbl/stsz");
    ASSERT_NE(stsz, nullptr);
    EXPECT_EQ((*stsz)["fields"]["sampleCount"], "12");
    const Json* lmcd = findBox(doc["boxes"], "moov/trak/mdia/minf/stbl/stsd/LMCD");
    ASSERT_NE(lmcd, nullptr);
    EXPECT_EQ((*lmcd)["fields"]["reserved[1]"], "0");

    const Json& audio = doc["diagnosis"]["audio"];
    EXPECT_EQ(audio["sampleEntry"], "moov/trak[1]/mdia/minf/stbl/stsd/in32");
    EXPECT_EQ(audio["stts"], Json({{"entries", 1}, {"entriesWithDeltaAboveOne", 1}}));
    EXPECT_EQ(audio["stsc"]["firstSamplesPerChunk"], 1);
    EXPECT_EQ(audio["stsz"], Json({{"sampleSize", 0}, {"sampleCount", 12}, {"listLength", 12}}));
    EXPECT_EQ(audio["needsRepair"], true);
    EXPECT_EQ(audio["repairable"], true);
    const Json* stbl = findBox(doc["boxes"], "moov/trak[1]/mdia/minf/stbl");
    ASSERT_NE(stbl, nullptr);
    EXPECT_EQ(audio["plannedWrites"]["box"], "moov/trak[1]/mdia/minf/stbl");
    const Json& fill = audio["plannedWrites"]["ranges"].back();
    EXPECT_EQ(fill["zeros"], true);
    EXPECT_EQ(fill["bytes"], 40);

    const Json& video = doc["diagnosis"]["video"];
    EXPECT_EQ(video["dataReferenceIndex"], 0);
    EXPECT_EQ(video["needsRepair"], true);
    EXPECT_EQ(video["plannedWrites"]["bytes"], 1);
}

TEST(Boxdump, PlannedWritesAreExactlyWhereBoxmendChangesTheFile) {
    TempDir dir;
    const Bytes original = cameraRecording(recording(true));
    const std::string path = dir.write("clip.mov", original);
    const Json doc = Json::parse(runProcess(boxdump, {"--json", path}).out);
    ASSERT_EQ(runProcess(boxmend, {path}).status, 0);

    const Bytes repaired = dir.read("clip.mov");
    ASSERT_EQ(repaired.size(), original.size());
    std::vector<bool> changedIn(2, false);
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (original[i] == repaired[i])
            continue;
        bool planned = false;
        for (std::size_t track = 0; track < 2; ++track) {
            const char* name = track == 0 ? "audio" : "video";
            for (const Json& write : doc["diagnosis"][name]["plannedWrites"]["ranges"]) {
                const auto offset = write["offset"].get<std::size_t>();
                if (i >= offset && i < offset + write["bytes"].get<std::size_t>())
                    planned = changedIn[track] = true;
            }
        }
        EXPECT_TRUE(planned) << "byte " << i << " changed outside the planned writes";
    }
    EXPECT_EQ(changedIn, std::vector<bool>(2, true));

    // Repaired, the recording is listed as one made healthy.
    const auto after = runProcess(boxdump, {path});
    expectGolden(after.out, "boxdump-healthy.txt");
    EXPECT_EQ(after.status, 0);
}

TEST(Boxdump, RefusalsAndMissingBoxesAreExplained) {
    TempDir dir;
    Recording oneChunk;
    oneChunk.audioChunks = 1;
    const std::string single = dir.write("single.mov", cameraRecording(oneChunk));
    auto run = runProcess(boxdump, {single});
    EXPECT_TRUE(contains(run.out, "    repair: boxmend would refuse: error 4 (invalid operation): "
                                  "the sample size list has one entry"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "result: a repair is needed, and boxmend would refuse it\n"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    const Json audio =
        Json::parse(runProcess(boxdump, {"--json", single}).out)["diagnosis"]["audio"];
    EXPECT_EQ(audio["repairable"], false);
    EXPECT_EQ(audio["refusal"]["code"], 4);
    EXPECT_EQ(audio["refusal"]["text"], "invalid operation");
    EXPECT_FALSE(audio.contains("plannedWrites"));

    // A table stored with a 64-bit size would be written back 8 bytes shorter.
    const Bytes sttsStsc = concat({sttsBox({{2, 1024}}), stscBox({{1, 1, 1}})});
    const Bytes longStsz = box64("stsz", {u32(0), u32(0), u32(2), u32(16384), u32(16384)});
    run = runProcess(boxdump, {dir.write("long.mov", audioOnlyRecording({sttsStsc, longStsz}))});
    EXPECT_TRUE(contains(run.out, "error 4 (invalid operation): moov/trak/mdia/minf/stbl/stsz "
                                  "does not encode to its stored bytes\n"))
        << run.out;
    EXPECT_EQ(run.status, 1);

    const std::string noStsz = dir.write("nostsz.mov", audioOnlyRecording({sttsStsc}));
    run = runProcess(boxdump, {noStsz});
    EXPECT_TRUE(contains(run.out, "    cannot be checked: error 8 (invalid object / null pointer): "
                                  "moov/trak/mdia/minf/stbl has no stsz box\n"))
        << run.out;
    EXPECT_EQ(run.err,
              "error 8 (invalid object / null pointer) checking audio track " + noStsz + "\n");
    EXPECT_EQ(run.status, 2);
}

TEST(Boxdump, BytesFromTheFileCannotReachTheTerminalOrBreakTheJson) {
    TempDir dir;
    const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
    const Bytes udta = box("udta", {box("\xA9nam", {text("Take 1")}),
                                    box("BLDV", {text("v1\x1b]0;owned\x07"), u8(0)}),
                                    box("\x1b[2J", {zeros(40)})});
    const std::string path = dir.write("odd.mov", concat({ftyp, box("moov", {udta})}));
    auto run = runProcess(boxdump, {path});
    EXPECT_TRUE(contains(run.out, "      firmwareVersion: v1\\x1b]0;owned\\x07\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "    \\x1b[2J  offset ")) << run.out;
    EXPECT_FALSE(contains(run.out, "\x1b"));
    EXPECT_TRUE(contains(run.out,
                         "  ambisonic audio track: none (no track has an in32 sample entry)\n"
                         "  Lumacode video entry: none (the first track has no LMCD entry)\n"
                         "result: nothing to repair\n"));
    EXPECT_EQ(run.status, 0);

    run = runProcess(boxdump, {"--json", path});
    const Json doc = Json::parse(run.out);
    const Json& boxes = doc["boxes"][1]["children"][0]["children"];
    EXPECT_EQ(boxes[0]["type"], "\xC2\xA9nam");
    EXPECT_EQ(boxes[1]["fields"]["firmwareVersion"], "v1\x1b]0;owned\x07");
    EXPECT_EQ(boxes[2]["type"], "\\x1b[2J");
    EXPECT_EQ(run.status, 0);
}

TEST(Boxdump, ExitStatusesFollowCmpAndDiff) {
    TempDir dir;
    const std::string missing = dir.file("missing.mov");
    auto run = runProcess(boxdump, {missing});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error 12 (I/O open error) opening file " + missing + "\n");
    EXPECT_EQ(run.status, 2);
    run = runProcess(boxdump, {"--json", missing});
    EXPECT_EQ(Json::parse(run.out)["error"]["code"], 12);
    EXPECT_EQ(run.status, 2);

    // The tree is shown up to the box whose child cannot be read.
    const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
    const Bytes moov = box("moov", {box("udta", {box("TELM", {zeros(40)})}), u32(4), text("junk")});
    const std::string broken = dir.write("broken.mov", concat({ftyp, moov}));
    run = runProcess(boxdump, {broken});
    EXPECT_EQ(run.out, "ftyp  offset 0  size 20\n"
                       "  majorBrand: qt  \n"
                       "  minorVersion: 537199360\n"
                       "  compatibleBrands: (1) [qt  ]\n"
                       "moov  offset 20  size 72\n"
                       "  udta  offset 28  size 56\n"
                       "    TELM  offset 36  size 48\n"
                       "      data: (40) [" +
                           std::string(80, '0') + "]\n");
    EXPECT_EQ(run.err, "error 14 (I/O seek before beginning) parsing file " + broken + "\n");
    EXPECT_EQ(run.status, 2);
    run = runProcess(boxdump, {"--json", broken});
    const Json doc = Json::parse(run.out);
    EXPECT_EQ(doc["error"]["code"], 14);
    EXPECT_EQ(doc["boxes"][1]["children"][0]["type"], "udta");
    EXPECT_EQ(run.status, 2);

    const std::string clip = dir.write("clip.mov", cameraRecording(recording(true)));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--bogus", clip}, {clip, clip}}) {
        run = runProcess(boxdump, args);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err, "");
        EXPECT_EQ(run.status, 2);
    }
    run = runProcess(boxdump, {"--help"});
    EXPECT_TRUE(contains(run.out, "Usage: ")) << run.out;
    EXPECT_EQ(run.status, 0);
    run = runProcess(boxdump, {"--version"});
    EXPECT_EQ(run.out, std::string("boxdump ") + BOXDUMP_VERSION + "\n");
    EXPECT_EQ(run.status, 0);

    // A file that boxmend holds for a repair is not read half-written.
    mediafmt::io::File repairing;
    ASSERT_EQ(repairing.open(clip, mediafmt::io::OpenMode::readWrite), 0u);
    run = runProcess(boxdump, {clip});
    EXPECT_EQ(run.err, "error 12 (I/O open error) opening file " + clip + "\n");
    EXPECT_EQ(run.status, 2);
}

#ifndef _WIN32
TEST(Boxdump, NeverWritesEvenToAReadOnlyOrSharedFile) {
    TempDir dir;
    const std::string path = dir.write("clip.mov", cameraRecording(recording(true)));
    // Dated in the past, so that a write at any time now would show.
    const timespec past[2] = {{946684800, 0}, {946684800, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
    const FileState before = stateOf(dir, "clip.mov");
    EXPECT_EQ(runProcess(boxdump, {path}).status, 1);
    EXPECT_EQ(runProcess(boxdump, {"--json", path}).status, 1);
    expectUnchanged(before, stateOf(dir, "clip.mov"));

    // Root reads and writes whatever the mode says, so this only shows that
    // nothing more than reading is asked for.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const FileState readOnly = stateOf(dir, "clip.mov");
    auto run = runProcess(boxdump, {path});
    expectGolden(run.out, "boxdump-defective.txt");
    EXPECT_EQ(run.status, 1);
    expectUnchanged(readOnly, stateOf(dir, "clip.mov"));

    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    const FileState shared = stateOf(dir, "clip.mov");
    SharedReader reader(path);
    ASSERT_TRUE(reader.holding());
    run = runProcess(boxdump, {path});
    expectGolden(run.out, "boxdump-defective.txt");
    EXPECT_EQ(run.status, 1);
    // The reader's lock is real: boxmend, which writes, is kept out.
    EXPECT_EQ(runProcess(boxmend, {path}).status, 2);
    expectUnchanged(shared, stateOf(dir, "clip.mov"));
}
#else
// The same on Windows, with the read-only attribute for the mode bits, the
// time of the last write for the POSIX time stamps, and this process as the
// other reader: it shares the file for reading only, as a player would.
TEST(Boxdump, NeverWritesEvenToAReadOnlyOrSharedFile) {
    namespace fs = std::filesystem;
    TempDir dir;
    const Bytes original = cameraRecording(recording(true));
    const std::string path = dir.write("clip.mov", original);
    const fs::path file = fs::u8path(path);
    // Dated in the past, so that a write at any time now would show.
    const auto past = fs::last_write_time(file) - std::chrono::hours(24 * 365);
    fs::last_write_time(file, past);
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    auto run = runProcess(boxdump, {path});
    expectGolden(run.out, "boxdump-defective.txt");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(runProcess(boxdump, {"--json", path}).status, 1);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);

    mediafmt::io::File reader;
    ASSERT_EQ(reader.open(path, mediafmt::io::OpenMode::read), 0u);
    run = runProcess(boxdump, {path});
    expectGolden(run.out, "boxdump-defective.txt");
    EXPECT_EQ(run.status, 1);
    // The reader shares for reading only: boxmend, which writes, is kept out.
    EXPECT_EQ(runProcess(boxmend, {path}).status, 2);
    reader.close();
    EXPECT_EQ(dir.read("clip.mov"), original);
    EXPECT_TRUE(fs::last_write_time(file) == past);
}
#endif
