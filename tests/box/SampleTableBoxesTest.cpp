#include "mediafmt/mp4/box/SampleTableBoxes.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <typeinfo>

using namespace mediafmt::mp4::box;
using namespace boxtest;

namespace {

TEST(SampleTableBoxes, StsdKeepsEveryEntryWhateverItsCountSays) {
    const Bytes bytes = fullBox("stsd", 0, 0, {u32(1), lmcdBytes(2), in32Bytes()});
    auto descriptions = readAs<stsd>(bytes);
    ASSERT_TRUE(descriptions);
    EXPECT_EQ(descriptions->entryCount.value, 1u);
    ASSERT_EQ(descriptions->children.size(), 2u);
    EXPECT_TRUE(std::dynamic_pointer_cast<VideoSampleDescriptionBox>(descriptions->children[0]));
    const Box& second = *descriptions->children[1];
    EXPECT_EQ(typeid(second), typeid(DataBox));
    EXPECT_EQ(descriptions->children[1]->offset, 16u + 88u);
    EXPECT_EQ(written(*descriptions), bytes);
}

TEST(SampleTableBoxes, StszListIsWhateverFollowsTheCount) {
    auto constant = readAs<stsz>(fullBox("stsz", 0, 0, {u32(1024), u32(500)}));
    ASSERT_TRUE(constant);
    EXPECT_EQ(constant->sampleSize.value, 1024u);
    EXPECT_EQ(constant->sampleCount.value, 500u);
    EXPECT_TRUE(constant->sampleSizeTable.elements.empty());
    EXPECT_EQ(sizeOf(*constant), 20u);

    auto listed = readAs<stsz>(stszListBytes());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->sampleSizeTable.elements, (std::vector<std::uint32_t>{1000, 2000, 3000}));
    EXPECT_EQ(sizeOf(*listed), 32u);
}

TEST(SampleTableBoxes, ChunkOffsetListsRunToTheEndOfTheBox) {
    auto wide = readAs<co64>(fullBox("co64", 0, 0, {u32(2), u64(0x100000000), u64(0x200000010)}));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->entryCount.value, 2u);
    EXPECT_EQ(wide->chunkOffsetTable.elements,
              (std::vector<std::uint64_t>{0x100000000, 0x200000010}));

    auto empty = readAs<stco>(fullBox("stco", 0, 0, {u32(0)}));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->chunkOffsetTable.elements.empty());
    EXPECT_EQ(sizeOf(*empty), 16u);
}

TEST(SampleTableBoxes, CttsVersionOneKeepsTheRawBitsOfANegativeOffset) {
    const Bytes bytes = fullBox("ctts", 1, 0, {u32(1), u32(3), u32(0xFFFFFC00)});
    auto offsets = readAs<ctts>(bytes);
    ASSERT_TRUE(offsets);
    EXPECT_EQ(offsets->version.value, 1u);
    ASSERT_EQ(offsets->compositionOffsetTable.elements.size(), 1u);
    EXPECT_EQ(static_cast<std::int32_t>(offsets->compositionOffsetTable.elements[0].sampleOffset),
              -1024);
    EXPECT_EQ(written(*offsets), bytes);
}

TEST(SampleTableBoxes, ChangingOneSttsEntryChangesOnlyItsBytesInTheStbl) {
    const Bytes bytes = stblBytes(lmcdBytes(1));
    auto table = readAs<stbl>(bytes);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->children.size(), 5u);
    auto times = std::dynamic_pointer_cast<stts>(table->children[1]);
    ASSERT_TRUE(times);
    ASSERT_EQ(times->timeToSampleTable.elements.size(), 1u);
    times->timeToSampleTable.elements[0].sampleDelta = 0x01020304;

    const Bytes after = written(*table);
    ASSERT_EQ(after.size(), bytes.size());
    // The delta is the last 4 bytes of the stts, which follows the stsd.
    const std::size_t delta = 8 + (16 + 88) + 20;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i < delta || i >= delta + 4) {
            EXPECT_EQ(after[i], bytes[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(Bytes(after.begin() + delta, after.begin() + delta + 4), u32(0x01020304));
}

} // namespace
