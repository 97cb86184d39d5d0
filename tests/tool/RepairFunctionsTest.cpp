// The check and the repairs called directly, over recordings in memory.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/SameTree.h"
#include "tool/AudioRepair.h"
#include "tool/InPlaceWrite.h"
#include "tool/VideoRepair.h"

#include <gtest/gtest.h>

#include <memory>

using namespace testsupport;
using boxmend::checkAudioTrack;
using boxmend::fixAudioSampleTables;
using boxmend::repairAudioTrack;
using boxmend::repairVideoTrack;
using mediafmt::ResultCode;
using mediafmt::io::Buffer;

namespace {

const std::vector<std::uint32_t> fiveSizes(5, chunkBytes);

Bytes movie(std::initializer_list<Bytes> traks) {
    return concat({box("ftyp", {text("qt  "), u32(0), text("qt  ")}), box("mdat", {zeros(8)}),
                   box("moov", traks)});
}

Bytes track(std::uint32_t id, const Bytes& stbl) {
    return trakBox(id, "soun", 48000, 5120, stbl);
}

Bytes stbl(std::initializer_list<Bytes> children) {
    return box("stbl", children);
}

Bytes defectiveTables() {
    return stbl({stsdBox({in32Entry()}), sttsBox({{5, 1024}}), stscBox({{1, 1, 1}, {3, 1, 2}}),
                 stszBox(0, 5, fiveSizes), stcoBox({16, 32})});
}

// A recording parsed from memory, and its bytes as the repairs leave them.
class InMemory : public ::testing::Test {
protected:
    void load(const Bytes& bytes) {
        stream_ = std::make_unique<Buffer>(bytes);
        tree_ = std::make_unique<mediafmt::mp4::File>();
        ASSERT_EQ(tree_->parse(stream_.get()), 0u);
    }

    mediafmt::mp4::File* tree() { return tree_.get(); }
    Buffer* stream() { return stream_.get(); }

    // The first track's sample table as the tree would write it now.
    Bytes audioStbl() {
        auto box = tree_->find("moov/trak/mdia/minf/stbl");
        Bytes bytes;
        if (!box) {
            ADD_FAILURE() << "no stbl in the first track";
            return bytes;
        }
        EXPECT_EQ(boxmend::encodeBox(*box, bytes), 0u);
        return bytes;
    }

private:
    std::unique_ptr<Buffer> stream_;
    std::unique_ptr<mediafmt::mp4::File> tree_;
};

TEST_F(InMemory, DefectNeedsALongSampleAndOneSamplePerChunkFirst) {
    struct Case {
        const char* name;
        Bytes stts;
        Bytes stsc;
        ResultCode expected;
    };
    const Case cases[] = {
        {"long samples, one per chunk", sttsBox({{5, 1024}}), stscBox({{1, 1, 1}}), 0},
        {"the longest delta", sttsBox({{5, 0xFFFFFFFF}}), stscBox({{1, 1, 1}}), 0},
        {"one long entry after short ones", sttsBox({{3, 1}, {2, 2}}), stscBox({{1, 1, 1}}), 0},
        {"every delta 1", sttsBox({{3, 1}, {2, 1}}), stscBox({{1, 1, 1}}), 1},
        {"no timing entries", sttsBox({}), stscBox({{1, 1, 1}}), 1},
        {"two per chunk first, one later", sttsBox({{5, 1024}}), stscBox({{1, 2, 1}, {3, 1, 1}}),
         1},
        {"no chunk entries", sttsBox({{5, 1024}}), stscBox({}), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(movie({track(1, stbl({stsdBox({in32Entry()}), c.stts, c.stsc, stszBox(0, 5, fiveSizes),
                                   stcoBox({16})}))}));
        bool needsRepair = c.expected != 0;
        EXPECT_EQ(checkAudioTrack(tree(), needsRepair), c.expected);
        EXPECT_EQ(needsRepair, c.expected == 0);
    }
}

TEST_F(InMemory, MissingBoxesOnTheWay) {
    const Bytes stsd = stsdBox({in32Entry()});
    const Bytes stts = sttsBox({{5, 1024}});
    const Bytes stsc = stscBox({{1, 1, 1}});
    const Bytes stsz = stszBox(0, 5, fiveSizes);
    struct Case {
        const char* name;
        Bytes file;
        ResultCode expected;
    };
    const Case cases[] = {
        {"no moov", concat({box("ftyp", {text("qt  ")}), box("free")}), 8},
        {"no stts", movie({track(1, stbl({stsd, stsc, stsz}))}), 8},
        {"no stsc", movie({track(1, stbl({stsd, stts, stsz}))}), 8},
        {"no stsz", movie({track(1, stbl({stsd, stts, stsc}))}), 8},
        // Followed by a box too big for the reader's look-ahead, which would
        // otherwise end the parse before the small moov is read.
        {"an empty moov", concat({movie({}), box("free", {zeros(64)})}), 1},
        {"no ambisonic entry",
         movie({track(1, stbl({stsdBox({box("sowt", {zeros(28)})}), stts, stsc, stsz}))}), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.file);
        bool needsRepair = true;
        EXPECT_EQ(checkAudioTrack(tree(), needsRepair), c.expected);
        EXPECT_EQ(needsRepair, c.expected == 8);
    }
    bool needsRepair = true;
    EXPECT_EQ(checkAudioTrack(nullptr, needsRepair), 8u);
    EXPECT_TRUE(needsRepair);
    EXPECT_EQ(fixAudioSampleTables(nullptr, true), 8u);
    EXPECT_EQ(repairAudioTrack(nullptr), 8u);
    EXPECT_EQ(repairVideoTrack(nullptr), 8u);
}

// Every chunk entry gets 1024 samples but keeps its first chunk and its
// description; the filler takes the 20 bytes of the five sizes.
TEST_F(InMemory, RewriteInTheTree) {
    load(movie({track(1, defectiveTables())}));
    EXPECT_EQ(fixAudioSampleTables(tree(), true), 0u);
    EXPECT_EQ(audioStbl(), stbl({stsdBox({in32Entry()}), sttsBox({{5120, 1}}),
                                 stscBox({{1, 1024, 1}, {3, 1024, 2}}), stszBox(16, 5120, {}),
                                 box("free", {zeros(12)}), stcoBox({16, 32})}));

    bool needsRepair = true;
    EXPECT_EQ(checkAudioTrack(tree(), needsRepair), 1u);
    EXPECT_FALSE(needsRepair);
}

TEST_F(InMemory, RefusedShapesLeaveTheTreeUntouched) {
    const Bytes stsd = stsdBox({in32Entry()});
    const Bytes stsc = stscBox({{1, 1, 1}});
    const Bytes cases[] = {
        stbl({stsd, sttsBox({{1, 1024}}), stsc, stszBox(0, 1, {chunkBytes}), stcoBox({16})}),
        stbl(
            {stsd, sttsBox({{2, 1024}, {3, 1024}}), stsc, stszBox(0, 5, fiveSizes), stcoBox({16})}),
        // 65536 samples of 65536 units: a total no 32-bit count can hold.
        stbl({stsd, sttsBox({{65536, 65536}}), stsc, stszBox(0, 0, {}), stcoBox({16})}),
    };
    for (const Bytes& tables : cases) {
        load(movie({track(1, tables)}));
        EXPECT_EQ(fixAudioSampleTables(tree(), true), 4u);
        EXPECT_EQ(audioStbl(), tables);
    }
}

TEST_F(InMemory, AudioRepairWithNothingToDoWritesNothing) {
    const Bytes original = movie({track(1, repairedAudioStbl(5, {16, 32, 48, 64, 80}))});
    load(original);
    EXPECT_EQ(repairAudioTrack(stream()), 1u);
    EXPECT_EQ(stream()->bytes(), original);
}

TEST_F(InMemory, OnlyTheFirstLumacodeEntryOfTheFirstTrackIsRepaired) {
    auto video = [](std::uint16_t first, std::uint16_t second) {
        return trakBox(1, "vide", 30000, 1001,
                       stbl({stsdBox({lmcdEntry(first), lmcdEntry(second)})}));
    };
    load(movie({video(0, 0)}));
    EXPECT_EQ(repairVideoTrack(stream()), 0u);
    EXPECT_EQ(stream()->bytes(), movie({video(1, 0)}));
    EXPECT_EQ(repairVideoTrack(stream()), 1u);
    EXPECT_EQ(stream()->bytes(), movie({video(1, 0)}));

    const Bytes otherFirst =
        movie({trakBox(1, "vide", 30000, 1001, stbl({stsdBox({box("avc1", {zeros(78)})})})),
               video(0, 0)});
    load(otherFirst);
    EXPECT_EQ(repairVideoTrack(stream()), 1u);
    EXPECT_EQ(stream()->bytes(), otherFirst);
}

// The driver parses once and lets both repairs work on that tree: they must
// write what they write when each parses the file afresh, and leave the tree
// as a fresh parse of the written file reads it.
TEST(SharedTree, RepairsOnOneTreeWriteWhatFreshParsesWrite) {
    auto parsed = [](Buffer& stream) {
        auto tree = std::make_unique<mediafmt::mp4::File>();
        EXPECT_EQ(stream.seek(0, mediafmt::io::SeekOrigin::begin), 0u);
        EXPECT_EQ(tree->parse(&stream), 0u);
        return tree;
    };
    for (std::uint32_t chunks : {1u, 2u, 5u, 300u}) {
        for (std::uint16_t index : std::initializer_list<std::uint16_t>{0, 1}) {
            SCOPED_TRACE(testing::Message() << chunks << " chunks, index " << index);
            Recording recording;
            recording.audioChunks = chunks;
            recording.videoDataReferenceIndex = index;
            const Bytes original = cameraRecording(recording);
            Buffer fresh(original);
            Buffer shared(original);
            auto tree = parsed(shared);

            const ResultCode audio = repairAudioTrack(&fresh);
            EXPECT_EQ(repairAudioTrack(*tree, &shared), audio);
            EXPECT_EQ(shared.bytes(), fresh.bytes());
            EXPECT_TRUE(testsupport::sameTree(*tree, *parsed(shared)));
            if (audio != 0)
                continue;

            const ResultCode video = repairVideoTrack(&fresh);
            EXPECT_EQ(repairVideoTrack(*tree, &shared), video);
            EXPECT_EQ(shared.bytes(), fresh.bytes());
            EXPECT_TRUE(testsupport::sameTree(*tree, *parsed(shared)));
        }
    }
    EXPECT_EQ(repairAudioTrack(*std::make_unique<mediafmt::mp4::File>(), nullptr),
              mediafmt::result::nullObject);
    EXPECT_EQ(repairVideoTrack(*std::make_unique<mediafmt::mp4::File>(), nullptr),
              mediafmt::result::nullObject);
}

// The stored bytes are compared a piece at a time; the result, and where the
// stream is left, are as for one read of them all.
TEST(InPlaceWrite, StoredBytesAreComparedWhole) {
    Bytes stored(700 * 1024);
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = static_cast<std::uint8_t>(i % 253);
    const std::uint64_t offset = 1000;
    const Bytes expected(stored.begin() + offset, stored.end() - 100);
    Buffer stream(stored);
    auto positionAfter = [&stream](const Bytes& bytes) {
        const ResultCode rc = boxmend::verifyStored(&stream, offset, bytes);
        std::uint64_t position = 0;
        EXPECT_EQ(stream.tell(position), 0u);
        EXPECT_EQ(position, offset + bytes.size());
        return rc;
    };
    EXPECT_EQ(positionAfter(expected), 0u);
    Bytes differentAtTheEnd = expected;
    differentAtTheEnd.back() ^= 1;
    EXPECT_EQ(positionAfter(differentAtTheEnd), mediafmt::result::invalidOperation);
    Bytes differentFirst = expected;
    differentFirst.front() ^= 1;
    EXPECT_EQ(positionAfter(differentFirst), mediafmt::result::invalidOperation);
    EXPECT_EQ(boxmend::verifyStored(&stream, offset, Bytes(stored.size(), 0)),
              mediafmt::result::invalidOperation);
}

} // namespace
