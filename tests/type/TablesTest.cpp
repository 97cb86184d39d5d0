#include "mediafmt/mp4/type/Tables.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/io/CacheBuffer.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "tests/support/Bytes.h"
#include "tests/support/TypedTests.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::concat;
using testsupport::hex;

namespace {

Bytes countBytes(std::uint32_t count) {
    return {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

template <typename Table> class CountedTableRules : public ::testing::Test {
protected:
    using Entry = typename decltype(Table::elements)::value_type;
    static constexpr std::uint64_t entrySize = Entry::diskSize;

    // n entries on disk, every byte nonzero so that a read entry shows.
    static Bytes entries(std::size_t n) {
        Bytes bytes(n * entrySize);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i % 255 + 1);
        return bytes;
    }

    static Bytes written(const Table& table) {
        io::Buffer out;
        EXPECT_EQ(table.write(&out), 0u);
        EXPECT_EQ(out.bytes().size(), table.size());
        return out.bytes();
    }
};

using Tables = ::testing::Types<TimeToSampleTable, CompositionOffsetTable, SampleToChunkTable,
                                EditListV0Table, EditListV1Table>;
TYPED_TEST_SUITE(CountedTableRules, Tables, testsupport::IndexNames);

TYPED_TEST(CountedTableRules, CountZeroHoldsNothing) {
    io::Buffer in(hex("00000000"));
    TypeParam table;
    table.elements.resize(2);
    ASSERT_EQ(table.read(&in, 4), 0u);
    EXPECT_TRUE(table.elements.empty());
    EXPECT_EQ(table.size(), 4u);
    EXPECT_EQ(this->written(table), hex("00000000"));
}

TYPED_TEST(CountedTableRules, EntriesBeyondTheBoxStayZeroButCounted) {
    const Bytes one = this->entries(1);
    io::Buffer in(concat({countBytes(3), one}));
    TypeParam table;
    ASSERT_EQ(table.read(&in, 4 + this->entrySize), 0u);
    EXPECT_EQ(table.elements.size(), 3u);
    EXPECT_EQ(this->written(table), concat({countBytes(3), one, Bytes(2 * this->entrySize, 0)}));
}

TYPED_TEST(CountedTableRules, HugeCountFailsBeforeAllocating) {
    io::Buffer in(concat({hex("ffffffff"), this->entries(1)}));
    TypeParam table;
    EXPECT_EQ(table.read(&in, 4 + this->entrySize), result::readError);
    EXPECT_EQ(table.elements.capacity(), 0u);
}

TYPED_TEST(CountedTableRules, CountMayExceedWhatFitsBy256AndNoMore) {
    const std::uint64_t size = this->entrySize;
    // The box ends a few bytes into the third entry, or right after the
    // second, or right after the count. An entry that starts before the end
    // is read whole (the stream has its bytes), so it counts as fitting.
    struct Shape {
        std::uint64_t end;
        std::uint32_t fits;
    };
    const Shape shapes[] = {{4 + 2 * size + 3, 3}, {4 + 2 * size, 2}, {4, 0}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.end);
        io::Buffer accepted(concat({countBytes(shape.fits + 256), this->entries(3)}));
        TypeParam table;
        ASSERT_EQ(table.read(&accepted, shape.end), 0u);
        EXPECT_EQ(table.elements.size(), shape.fits + 256);
        const Bytes bytes = this->written(table);
        const auto read = static_cast<std::ptrdiff_t>(shape.fits * size);
        EXPECT_EQ(Bytes(bytes.begin() + 4, bytes.begin() + 4 + read), this->entries(shape.fits));

        io::Buffer refused(concat({countBytes(shape.fits + 257), this->entries(3)}));
        TypeParam tooMany;
        EXPECT_EQ(tooMany.read(&refused, shape.end), result::readError);
    }
}

TYPED_TEST(CountedTableRules, AnEntryAddedInMemoryIsCountedAndWritten) {
    io::Buffer in(concat({countBytes(1), this->entries(1)}));
    TypeParam table;
    ASSERT_EQ(table.read(&in, 4 + this->entrySize), 0u);
    table.elements.emplace_back();
    EXPECT_EQ(table.size(), 4 + 2 * this->entrySize);
    EXPECT_EQ(this->written(table),
              concat({countBytes(2), this->entries(1), Bytes(this->entrySize, 0)}));
}

// More entries than one encoding run holds, read and written back in order.
TYPED_TEST(CountedTableRules, ManyEntriesReadAndWriteBackByteForByte) {
    const std::size_t n = 70000 / this->entrySize + 3;
    const Bytes bytes = concat({countBytes(static_cast<std::uint32_t>(n)), this->entries(n)});
    io::Buffer in(bytes);
    TypeParam table;
    ASSERT_EQ(table.read(&in, bytes.size()), 0u);
    EXPECT_EQ(table.elements.size(), n);
    EXPECT_EQ(this->written(table), bytes);

    // A stream that takes fewer bytes fails the write once it is full.
    testsupport::LimitedStream full(bytes.size() - 5);
    EXPECT_EQ(table.write(&full), result::writeError);
    std::uint64_t taken = 0;
    ASSERT_EQ(full.tell(taken), 0u);
    EXPECT_EQ(taken, bytes.size() - 5);
}

TYPED_TEST(CountedTableRules, AStreamEndingInsideAnEntryKeepsTheWholeOnesBefore) {
    const std::uint64_t size = this->entrySize;
    const Bytes five = this->entries(5);
    const auto cut = static_cast<std::ptrdiff_t>(2 * size + 1);
    io::Buffer in(concat({countBytes(5), Bytes(five.begin(), five.begin() + cut)}));
    TypeParam table;
    EXPECT_EQ(table.read(&in, 4 + 5 * size), result::readError);
    ASSERT_EQ(table.elements.size(), 5u);
    EXPECT_EQ(this->written(table), concat({countBytes(5), this->entries(2), Bytes(3 * size, 0)}));
}

TEST(TimeToSampleTable, DecodesItsEntries) {
    io::Buffer in(hex("00000002 0000000a 00000400 00000001 00000200"));
    TimeToSampleTable table;
    ASSERT_EQ(table.read(&in, 20), 0u);
    ASSERT_EQ(table.elements.size(), 2u);
    EXPECT_EQ(table.elements[0].sampleCount, 10u);
    EXPECT_EQ(table.elements[0].sampleDelta, 1024u);
    EXPECT_EQ(table.elements[1].sampleCount, 1u);
    EXPECT_EQ(table.elements[1].sampleDelta, 512u);
}

TEST(SampleToChunkTable, DecodesItsEntries) {
    io::Buffer in(hex("00000001 00000001 00000400 00000002"));
    SampleToChunkTable table;
    ASSERT_EQ(table.read(&in, 16), 0u);
    ASSERT_EQ(table.elements.size(), 1u);
    EXPECT_EQ(table.elements[0].firstChunk, 1u);
    EXPECT_EQ(table.elements[0].samplesPerChunk, 1024u);
    EXPECT_EQ(table.elements[0].sampleDescriptionIndex, 2u);
}

TEST(EditListTables, MediaTimeIsSigned) {
    io::Buffer v0(hex("00000001 000003e8 ffffffff 0001 0002"));
    EditListV0Table edits;
    ASSERT_EQ(edits.read(&v0, 16), 0u);
    ASSERT_EQ(edits.elements.size(), 1u);
    EXPECT_EQ(edits.elements[0].segmentDuration, 1000u);
    EXPECT_EQ(edits.elements[0].mediaTime, -1);
    EXPECT_EQ(edits.elements[0].mediaRateInteger, 1u);
    EXPECT_EQ(edits.elements[0].mediaRateFraction, 2u);

    io::Buffer v1(hex("00000001 00000001 00000000 ffffffff fffffffe 0001 0000"));
    EditListV1Table wide;
    ASSERT_EQ(wide.read(&v1, 24), 0u);
    ASSERT_EQ(wide.elements.size(), 1u);
    EXPECT_EQ(wide.elements[0].segmentDuration, 0x100000000u);
    EXPECT_EQ(wide.elements[0].mediaTime, -2);
    EXPECT_EQ(wide.size(), 24u);
}

// A cache loaded from the middle of a larger stream: fields read from it
// carry the larger stream's positions and stop where the cache does.
class ReadingFromACache : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes file(1000, 0xee);
        file = concat({file, hex("00000001 00000002 00000003 6d703431")});
        io::Buffer source(file);
        ASSERT_EQ(cache.fill(&source, 1000, 16), 0u);
    }
    void seekTo(std::int64_t position) {
        ASSERT_EQ(cache.seek(position, io::SeekOrigin::begin), 0u);
    }
    io::CacheBuffer cache;
};

TEST_F(ReadingFromACache, TablesAndListsCarryTheSourcePositions) {
    TimeToSampleTable table;
    ASSERT_EQ(table.read(&cache, 1012), 0u);
    EXPECT_EQ(table.offset, 1000u);
    ASSERT_EQ(table.elements.size(), 1u);
    EXPECT_EQ(table.elements[0].sampleCount, 2u);

    FourccArray codes;
    ASSERT_EQ(codes.read(&cache, 1016), 0u);
    ASSERT_EQ(codes.elements.size(), 1u);
    EXPECT_EQ(codes.elements[0].offset, 1012u);
    EXPECT_EQ(codes.elements[0].value, fourcc("mp41"));

    seekTo(1008);
    Uint64Array wide;
    ASSERT_EQ(wide.read(&cache, 1016), 0u);
    EXPECT_EQ(wide.offset, 1008u);
    EXPECT_EQ(wide.elements, (std::vector<std::uint64_t>{0x000000036d703431}));
}

TEST_F(ReadingFromACache, AtTheEndOfTheCache) {
    seekTo(1016);
    Uint64Array wide;
    EXPECT_EQ(wide.read(&cache, 1016), 0u);
    EXPECT_TRUE(wide.elements.empty());
    EXPECT_EQ(wide.offset, 1016u);
    Block block;
    EXPECT_EQ(block.read(&cache, 1016), 0u);
    EXPECT_TRUE(block.elements.empty());
    EXPECT_EQ(block.read(&cache, 1012), result::endOfFile);
    Uint32 value;
    EXPECT_EQ(value.read(&cache, 1020), result::readError);
    EXPECT_EQ(value.offset, 1016u);
    SampleToChunkTable table;
    EXPECT_EQ(table.read(&cache, 1030), result::readError);

    seekTo(1012);
    Block past;
    EXPECT_EQ(past.read(&cache, 1020), result::readError);
}

} // namespace
