// The whole repair run through the built program, on generated recordings
// written to a temporary directory. Every expected file is built
// independently with the byte builder, never by the code under test.

#include "tests/support/CameraFile.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using namespace testsupport;

namespace {

const std::string boxmend = BOXMEND_PATH;

const std::string audioCorrected = "Corrected error in Ambisonic Audio Track Format Header\n";
const std::string videoCorrected = "Corrected error in Lumacode Video Track Format Header\n";
const std::string videoFine = "No issues found in Lumacode Video Track\n";

std::string audioRefused(const std::string& path) {
    return "error 4 (invalid operation) repairing audio track " + path + "\n";
}

std::string videoFailed(const std::string& path) {
    return "Error processing file " + path + " while repairing Lumacode Video\n";
}

// Reports where two files first differ instead of printing them whole.
::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const std::size_t common = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < common && actual[at] == expected[at])
        ++at;
    auto around = [at](const Bytes& bytes) {
        const std::size_t end = std::min(bytes.size(), at + 16);
        return toHex(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at, end)),
                           bytes.begin() + static_cast<std::ptrdiff_t>(end)));
    };
    return ::testing::AssertionFailure() << actual.size() << " bytes against " << expected.size()
                                         << " expected; first difference at " << at << ": "
                                         << around(actual) << " instead of " << around(expected);
}

// The positions at which two files of the same length differ.
std::vector<std::size_t> changedBytes(const Bytes& before, const Bytes& after) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
        if (before[i] != after[i])
            changed.push_back(i);
    }
    return changed;
}

// Where part first occurs in whole.
std::size_t offsetOf(const Bytes& whole, const Bytes& part) {
    auto at = std::search(whole.begin(), whole.end(), part.begin(), part.end());
    EXPECT_NE(at, whole.end()) << "part not found";
    return static_cast<std::size_t>(at - whole.begin());
}

std::uint32_t readU32(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | bytes.at(at + i);
    return value;
}

Bytes withoutLast(Bytes bytes, std::size_t n) {
    bytes.resize(bytes.size() - n);
    return bytes;
}

// A box with another four-character code.
Bytes renamed(Bytes boxBytes, std::string_view code) {
    std::copy(code.begin(), code.end(), boxBytes.begin() + 4);
    return boxBytes;
}

// A box rebuilt with a 16-byte header around the same payload.
Bytes withLongHeader(const Bytes& boxBytes) {
    return concat({u32(1), Bytes(boxBytes.begin() + 4, boxBytes.begin() + 8),
                   u64(boxBytes.size() + 8), Bytes(boxBytes.begin() + 8, boxBytes.end())});
}

Recording healthy(std::uint32_t chunks = 4) {
    Recording recording;
    recording.audioChunks = chunks;
    recording.audioDefective = false;
    recording.videoDataReferenceIndex = 1;
    return recording;
}

Recording defective(std::uint32_t chunks = 4, std::uint16_t dataReferenceIndex = 0) {
    Recording recording;
    recording.audioChunks = chunks;
    recording.videoDataReferenceIndex = dataReferenceIndex;
    return recording;
}

// A small movie around the given children of moov; the media data is a
// placeholder, since only the headers are repaired.
Bytes movie(std::initializer_list<Bytes> moovChildren) {
    return concat({box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")}),
                   box("mdat", {zeros(64)}), box("moov", moovChildren)});
}

const std::vector<std::uint32_t> chunkOffsets = {40, 16424, 32808, 49192};
const std::vector<std::uint32_t> fourChunkSizes(4, chunkBytes);

Bytes audioTrak(std::uint32_t trackId, const Bytes& stbl) {
    return trakBox(trackId, "soun", 48000, 4 * framesPerChunk, stbl);
}

Bytes audioStbl(const Bytes& stts, const Bytes& stsc, const Bytes& stsz,
                const Bytes& stco = stcoBox(chunkOffsets)) {
    return box("stbl", {stsdBox({in32Entry()}), stts, stsc, stsz, stco});
}

Bytes videoTrak(const Bytes& entry) {
    return trakBox(1, "vide", 30000, 3003,
                   box("stbl", {stsdBox({entry}), sttsBox({{3, 1001}}), stscBox({{1, 1, 1}}),
                                stszBox(0, 3, {64, 64, 64}), stcoBox({40, 104, 168})}));
}

class Repair : public ::testing::Test {
protected:
    struct Outcome {
        std::string out;
        int status = -1;
        Bytes file;
    };

    // Writes the bytes as the recording and runs the program on it.
    Outcome run(const Bytes& bytes) {
        path_ = dir_.write("clip.mov", bytes);
        return runAgain();
    }

    // Runs the program on the recording as the last run left it.
    Outcome runAgain() {
        ProcessResult result = runProcess(boxmend, {path_});
        EXPECT_EQ(result.err, "");
        return {result.out, result.status, dir_.read("clip.mov")};
    }

    const std::string& path() const { return path_; }

private:
    TempDir dir_;
    std::string path_;
};

TEST_F(Repair, BothDefectsGiveTheHealthyRecordingAndASecondRunFindsNothing) {
    const Bytes original = cameraRecording(defective());
    Outcome first = run(original);
    EXPECT_EQ(first.out, audioCorrected + videoCorrected);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.file.size(), original.size());
    EXPECT_TRUE(sameBytes(first.file, cameraRecording(healthy())));

    // Nothing outside the audio sample table and the entry's index moved.
    // The audio stbl starts with its header and the 16 bytes of stsd before the entry.
    const std::size_t stblAt = offsetOf(original, in32Entry()) - 24;
    const std::size_t stblSize = readU32(original, stblAt);
    ASSERT_EQ(readU32(original, stblAt + 4), 0x7374626Cu); // "stbl"
    const std::size_t entryAt = offsetOf(original, lmcdEntry(0));
    for (std::size_t at : changedBytes(original, first.file)) {
        const bool inStbl = at >= stblAt && at < stblAt + stblSize;
        EXPECT_TRUE(inStbl || at == entryAt + 14 || at == entryAt + 15) << "byte " << at;
    }

    Outcome second = runAgain();
    EXPECT_EQ(second.out, videoFine);
    EXPECT_EQ(second.status, 0);
    EXPECT_TRUE(sameBytes(second.file, first.file));
}

TEST_F(Repair, AudioDefectAlone) {
    Outcome outcome = run(cameraRecording(defective(4, 1)));
    EXPECT_EQ(outcome.out, audioCorrected + videoFine);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(sameBytes(outcome.file, cameraRecording(healthy())));
}

TEST_F(Repair, VideoDefectAloneForAnyIndexOtherThanOne) {
    for (std::uint16_t index : std::initializer_list<std::uint16_t>{0, 2, 65535}) {
        SCOPED_TRACE(index);
        Recording recording = healthy();
        recording.videoDataReferenceIndex = index;
        Outcome outcome = run(cameraRecording(recording));
        EXPECT_EQ(outcome.out, videoCorrected);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(sameBytes(outcome.file, cameraRecording(healthy())));
    }
}

TEST_F(Repair, HealthyRecordingIsLeftAlone) {
    const Bytes original = cameraRecording(healthy());
    Outcome outcome = run(original);
    EXPECT_EQ(outcome.out, videoFine);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(sameBytes(outcome.file, original));
}

// Two size entries leave an 8-byte filler with no payload; more leave more.
TEST_F(Repair, FreeFillerTakesTheBytesTheSizeListGaveUp) {
    for (std::uint32_t chunks : {2u, 5u, 64u}) {
        SCOPED_TRACE(chunks);
        Outcome outcome = run(cameraRecording(defective(chunks, 1)));
        EXPECT_EQ(outcome.out, audioCorrected + videoFine);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(sameBytes(outcome.file, cameraRecording(healthy(chunks))));
    }
}

TEST_F(Repair, EmptySizeListIsStillRewrittenWithoutFiller) {
    Outcome outcome = run(movie(
        {audioTrak(1, audioStbl(sttsBox({{4, 1024}}), stscBox({{1, 1, 1}}), stszBox(4, 4, {})))}));
    EXPECT_EQ(outcome.out, audioCorrected + videoFine);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(sameBytes(
        outcome.file, movie({audioTrak(1, audioStbl(sttsBox({{4096, 1}}), stscBox({{1, 1024, 1}}),
                                                    stszBox(16, 4096, {})))})));
}

// The track is found by its sample entry, not by its place or its handler,
// and the tables rewritten are that track's own.
TEST_F(Repair, AmbisonicTrackInThirdPlace) {
    const Bytes otherSound = trakBox(
        2, "soun", 48000, 4096,
        box("stbl", {stsdBox({renamed(in32Entry(), "sowt")}), sttsBox({{4, 1024}}),
                     stscBox({{1, 1, 1}}), stszBox(0, 4, fourChunkSizes), stcoBox(chunkOffsets)}));
    Outcome outcome = run(movie(
        {videoTrak(lmcdEntry(1)), otherSound, audioTrak(3, defectiveAudioStbl(4, chunkOffsets))}));
    EXPECT_EQ(outcome.out, audioCorrected + videoFine);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(sameBytes(outcome.file, movie({videoTrak(lmcdEntry(1)), otherSound,
                                               audioTrak(3, repairedAudioStbl(4, chunkOffsets))})));
}

TEST_F(Repair, OnlyTheFirstAmbisonicTrackIsExamined) {
    const Bytes second = audioTrak(2, defectiveAudioStbl(4, chunkOffsets));
    Outcome first = run(movie({audioTrak(1, defectiveAudioStbl(4, chunkOffsets)), second}));
    EXPECT_EQ(first.out, audioCorrected + videoFine);
    EXPECT_EQ(first.status, 0);
    EXPECT_TRUE(
        sameBytes(first.file, movie({audioTrak(1, repairedAudioStbl(4, chunkOffsets)), second})));

    Outcome again = runAgain();
    EXPECT_EQ(again.out, videoFine);
    EXPECT_TRUE(sameBytes(again.file, first.file));
}

TEST_F(Repair, LumacodeEntryOutsideTheFirstTrackIsNotExamined) {
    const Bytes original =
        movie({audioTrak(1, repairedAudioStbl(4, chunkOffsets)), videoTrak(lmcdEntry(0))});
    Outcome outcome = run(original);
    EXPECT_EQ(outcome.out, videoFine);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(sameBytes(outcome.file, original));
}

// An entry that is not exactly an 8-byte header and 80 bytes of fields keeps
// its extent: only the two bytes of the index change.
TEST_F(Repair, LumacodeEntryOfAnotherExtentChangesOnlyItsIndex) {
    const Bytes extension = concat({box("fiel", {u8(1), u8(0)}), box("pasp", {u32(1), u32(1)})});
    struct Case {
        const char* name;
        Bytes before;
        Bytes after;
        std::size_t indexAt;
    };
    const Case cases[] = {
        {"extension boxes", lmcdEntry(0x0203, extension), lmcdEntry(1, extension), 14},
        {"16-byte header", withLongHeader(lmcdEntry(0x0203)), withLongHeader(lmcdEntry(1)), 22},
        {"both", withLongHeader(lmcdEntry(0x0203, extension)),
         withLongHeader(lmcdEntry(1, extension)), 22},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes original = movie({videoTrak(c.before)});
        Outcome outcome = run(original);
        EXPECT_EQ(outcome.out, videoCorrected);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(sameBytes(outcome.file, movie({videoTrak(c.after)})));
        const std::size_t entryAt = offsetOf(original, c.before);
        EXPECT_EQ(changedBytes(original, outcome.file),
                  (std::vector<std::size_t>{entryAt + c.indexAt, entryAt + c.indexAt + 1}));
    }
}

TEST_F(Repair, LumacodeEntryThatCannotBeRewrittenSafelyIsRefused) {
    const Bytes entry = lmcdEntry(0);
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        // Its size leaves 72 bytes for 80 bytes of fields.
        {"too short", movie({videoTrak(boxWithSize(
                          80, "LMCD", {Bytes(entry.begin() + 8, entry.begin() + 80)}))})},
        // The entry is the last box and the file ends 2 bytes into it.
        {"cut off by the end of the file",
         withoutLast(movie({trakBox(1, "vide", 30000, 3003, box("stbl", {stsdBox({entry})}))}), 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome outcome = run(c.file);
        EXPECT_EQ(outcome.out, videoFailed(path()));
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(sameBytes(outcome.file, c.file));
    }
}

TEST_F(Repair, FailuresEndWithTheirStatusAndLeaveTheFileAlone) {
    const Bytes tail = stcoBox(chunkOffsets);
    struct Case {
        const char* name;
        Bytes file;
        std::string message; // followed by the file name and a newline
        int status;
    };
    const Case cases[] = {
        {"no moov",
         concat({box("ftyp", {text("qt  "), u32(0), text("qt  ")}), box("mdat", {zeros(16)})}),
         "error 8 (invalid object / null pointer) checking audio track ", 4},
        {"no stsz",
         movie({audioTrak(1, box("stbl", {stsdBox({in32Entry()}), sttsBox({{4, 1024}}),
                                          stscBox({{1, 1, 1}}), tail}))}),
         "error 8 (invalid object / null pointer) checking audio track ", 4},
        {"one size entry", cameraRecording(defective(1)),
         "error 4 (invalid operation) repairing audio track ", 5},
        {"two time-to-sample entries",
         movie({audioTrak(1, audioStbl(sttsBox({{2, 1024}, {2, 1024}}), stscBox({{1, 1, 1}}),
                                       stszBox(0, 4, fourChunkSizes)))}),
         "error 4 (invalid operation) repairing audio track ", 5},
        {"movie header version 2",
         movie({fullBox("mvhd", 2, 0, {zeros(96)}), audioTrak(1, defectiveAudioStbl(4, {}))}),
         "error 8 (invalid object / null pointer) parsing file ", 3},
        {"track header version 2", movie({box("trak", {fullBox("tkhd", 2, 0, {zeros(80)})})}),
         "error 8 (invalid object / null pointer) parsing file ", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome outcome = run(c.file);
        EXPECT_EQ(outcome.out, c.message + path() + "\n");
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_TRUE(sameBytes(outcome.file, c.file));
    }
}

// Sample tables that would not encode back to exactly their bytes on disk:
// rewriting them would shift or overrun what follows, so nothing is written.
TEST_F(Repair, AudioTablesThatDoNotReencodeExactlyAreRefused) {
    const Bytes stts = sttsBox({{4, 1024}});
    const Bytes stsc = stscBox({{1, 1, 1}});
    const Bytes stsz = stszBox(0, 4, fourChunkSizes);
    const Bytes chunkSizes =
        concat({u32(chunkBytes), u32(chunkBytes), u32(chunkBytes), u32(chunkBytes)});
    struct Case {
        const char* name;
        Bytes stbl;
        std::size_t cut = 0;
    };
    const Case cases[] = {
        {"stco with a 16-byte header",
         audioStbl(stts, stsc, stsz, withLongHeader(stcoBox(chunkOffsets)))},
        {"stsz with bytes after its last entry",
         audioStbl(stts, stsc, fullBox("stsz", 0, 0, {u32(0), u32(4), chunkSizes, zeros(2)}))},
        {"stts with bytes after its last entry",
         audioStbl(fullBox("stts", 0, 0, {u32(1), u32(4), u32(1024), zeros(4)}), stsc, stsz)},
        {"stsc counting more entries than it holds",
         audioStbl(stts, fullBox("stsc", 0, 0, {u32(2), u32(1), u32(1), u32(1)}), stsz)},
        // As long as it was read, but not the same bytes: only comparing
        // them with the file shows the difference.
        {"stsc counting one 12-byte entry too many, stts with 12 bytes after its entry",
         audioStbl(fullBox("stts", 0, 0, {u32(1), u32(4), u32(1024), zeros(12)}),
                   fullBox("stsc", 0, 0, {u32(2), u32(1), u32(1), u32(1)}), stsz)},
        {"stbl cut off by the end of the file", audioStbl(stts, stsc, stsz), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes original = withoutLast(movie({audioTrak(1, c.stbl)}), c.cut);
        Outcome outcome = run(original);
        EXPECT_EQ(outcome.out, audioRefused(path()));
        EXPECT_EQ(outcome.status, 5);
        EXPECT_TRUE(sameBytes(outcome.file, original));
    }
}

// The executable of name on PATH, or empty.
std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (end > start && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

// A sine of its own frequency on each of the 4 channels, as 32-bit
// big-endian PCM.
Bytes sinePcm(std::uint32_t chunks) {
    Bytes pcm;
    const double pi = std::acos(-1.0);
    for (std::uint32_t frame = 0; frame < chunks * framesPerChunk; ++frame) {
        for (int channel = 0; channel < 4; ++channel) {
            const double phase = 2 * pi * 440.0 * (channel + 1) * frame / 48000.0;
            const auto sample =
                static_cast<std::int32_t>(std::lround(0.8 * 2147483647.0 * std::sin(phase)));
            const Bytes encoded = u32(static_cast<std::uint32_t>(sample));
            pcm.insert(pcm.end(), encoded.begin(), encoded.end());
        }
    }
    return pcm;
}

TEST_F(Repair, RepairedRecordingDecodesToThePcmPutIn) {
    const std::string ffmpeg = onPath("ffmpeg");
    const std::string ffprobe = onPath("ffprobe");
    if (ffmpeg.empty() || ffprobe.empty())
        GTEST_SKIP() << "ffmpeg is not installed";

    const std::uint32_t chunks = 10;
    Recording recording = defective(chunks);
    recording.pcm = sinePcm(chunks);
    Outcome outcome = run(cameraRecording(recording));
    ASSERT_EQ(outcome.out, audioCorrected + videoCorrected);

    ProcessResult decoded =
        runProcess(ffmpeg, {"-v", "error", "-i", path(), "-map", "0:a", "-f", "s32be", "-"});
    EXPECT_EQ(decoded.err, "");
    ASSERT_EQ(decoded.status, 0);
    EXPECT_TRUE(sameBytes(Bytes(decoded.out.begin(), decoded.out.end()), recording.pcm));

    // One sample per PCM frame, chunks * 1024 of them at 48 kHz.
    ProcessResult probed =
        runProcess(ffprobe, {"-v", "error", "-select_streams", "a:0", "-show_entries",
                             "stream=nb_frames,duration", "-of", "default=nw=1", path()});
    ASSERT_EQ(probed.status, 0);
    const std::string out = probed.out;
    const std::size_t durationAt = out.find("duration=");
    ASSERT_NE(durationAt, std::string::npos) << out;
    EXPECT_NEAR(std::strtod(out.c_str() + durationAt + 9, nullptr),
                chunks * framesPerChunk / 48000.0, 1e-6);
    EXPECT_NE(out.find("nb_frames=" + std::to_string(chunks * framesPerChunk) + "\n"),
              std::string::npos)
        << out;
}

} // namespace
