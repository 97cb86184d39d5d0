#include "mediafmt/mp4/type/Tables.h"
#include "mediafmt/io/Buffer.h"
#include "tests/support/BoxBuilder.h"
#include "tests/support/TypedTests.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using namespace testsupport;

namespace {

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
TYPED_TEST_SUITE(CountedTableRules, Tables, IndexNames);

// A corrupt count must neither end the process nor take memory out of
// proportion to the box: up to 256 entries beyond what the box can hold are
// kept (zero, but counted and written back), more are refused before anything
// is allocated.
TYPED_TEST(CountedTableRules, ACountMayExceedWhatFitsBy256AndNoMore) {
    const std::uint64_t size = this->entrySize;
    // The box ends a few bytes into the third entry, right after the second,
    // or right after the count. An entry that starts before the end is read
    // whole (the stream has its bytes), so it counts as fitting.
    const struct {
        std::uint64_t end;
        std::uint32_t fits;
    } shapes[] = {{4 + 2 * size + 3, 3}, {4 + 2 * size, 2}, {4, 0}};
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.end);
        io::Buffer accepted(concat({u32(shape.fits + 256), this->entries(3)}));
        TypeParam table;
        ASSERT_EQ(table.read(&accepted, shape.end), 0u);
        EXPECT_EQ(table.elements.size(), shape.fits + 256);
        EXPECT_EQ(this->written(table),
                  concat({u32(shape.fits + 256), this->entries(shape.fits), zeros(256 * size)}));

        for (std::uint32_t count : {shape.fits + 257, 0xFFFFFFFFu}) {
            io::Buffer refused(concat({u32(count), this->entries(3)}));
            TypeParam tooMany;
            EXPECT_EQ(tooMany.read(&refused, shape.end), result::readError) << count;
            EXPECT_EQ(tooMany.elements.capacity(), 0u);
        }
    }
}

// More entries than one encoding run holds, read and written back in order.
TYPED_TEST(CountedTableRules, ManyEntriesReadAndWriteBackByteForByte) {
    const std::size_t n = 70000 / this->entrySize + 3;
    const Bytes bytes = concat({u32(n), this->entries(n)});
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
    io::Buffer in(concat({u32(5), Bytes(five.begin(), five.begin() + cut)}));
    TypeParam table;
    EXPECT_EQ(table.read(&in, 4 + 5 * size), result::readError);
    ASSERT_EQ(table.elements.size(), 5u);
    EXPECT_EQ(this->written(table), concat({u32(5), this->entries(2), Bytes(3 * size, 0)}));
}

// Entries whose fields have the same width would survive a round trip with
// two fields swapped: their values are checked here.
template <typename Table> auto onlyEntry(const char* bytes) {
    io::Buffer in(hex(bytes));
    Table table;
    EXPECT_EQ(table.read(&in, in.bytes().size()), 0u);
    EXPECT_EQ(table.elements.size(), 1u);
    table.elements.resize(1);
    return table.elements[0];
}

TEST(TableEntries, DecodeTheirFieldsInFileOrder) {
    const auto times = onlyEntry<TimeToSampleTable>("00000001 0000000a 00000400");
    EXPECT_EQ(times.sampleCount, 10u);
    EXPECT_EQ(times.sampleDelta, 1024u);

    const auto offsets = onlyEntry<CompositionOffsetTable>("00000001 00000003 fffffc00");
    EXPECT_EQ(offsets.sampleCount, 3u);
    EXPECT_EQ(offsets.sampleOffset, 0xfffffc00u);

    const auto chunks = onlyEntry<SampleToChunkTable>("00000001 00000001 00000400 00000002");
    EXPECT_EQ(chunks.firstChunk, 1u);
    EXPECT_EQ(chunks.samplesPerChunk, 1024u);
    EXPECT_EQ(chunks.sampleDescriptionIndex, 2u);

    const auto edit = onlyEntry<EditListV0Table>("00000001 000003e8 ffffffff 0001 0002");
    EXPECT_EQ(edit.segmentDuration, 1000u);
    EXPECT_EQ(edit.mediaTime, -1);
    EXPECT_EQ(edit.mediaRateInteger, 1u);
    EXPECT_EQ(edit.mediaRateFraction, 2u);

    const auto wide =
        onlyEntry<EditListV1Table>("00000001 00000001 00000000 ffffffff fffffffe 0001 0002");
    EXPECT_EQ(wide.segmentDuration, 0x100000000u);
    EXPECT_EQ(wide.mediaTime, -2);
    EXPECT_EQ(wide.mediaRateInteger, 1u);
    EXPECT_EQ(wide.mediaRateFraction, 2u);
}

} // namespace
