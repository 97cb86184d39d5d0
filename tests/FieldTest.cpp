// Field classes on their own, where a whole box does not show what they do:
// how lists and blocks print, and what fixed-point values hold.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Tables.h"
#include "tests/support/Bytes.h"
#include "tests/support/FaultyStream.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace testsupport;
using Call = FaultyStream::Call;
namespace result = mediafmt::result;

// Lists print ten to a line, breaking before the first element only when
// there is more than one line; a write that fails ends the print with its
// code.
TEST(Fields, ListsPrintTenToALineAndPassOnAFailingWrite) {
    const auto printed = [](std::size_t n) {
        mediafmt::mp4::type::Uint32Array list;
        for (std::uint32_t i = 1; i <= n; ++i)
            list.elements.push_back(i);
        mediafmt::io::Buffer sink;
        EXPECT_EQ(list.print(&sink, 2), 0u);
        return std::string(sink.bytes().begin(), sink.bytes().end());
    };
    EXPECT_EQ(printed(2), "(2) [       1,        2]");
    EXPECT_EQ(printed(10).find("(10) [       1,"), 0u);
    EXPECT_EQ(printed(11).find("(11) [\n         1,"), 0u);

    mediafmt::mp4::type::Uint32Array list;
    list.elements.assign(25, 7);
    FaultyStream clean(Bytes(4096));
    ASSERT_EQ(list.print(&clean, 0), 0u);
    int passedOn = 0;
    for (std::uint64_t nth = 1; nth <= clean.calls(Call::write); ++nth) {
        FaultyStream failing(Bytes(4096));
        failing.failAt(Call::write, nth, result::closeError);
        passedOn += list.print(&failing, 0) == result::closeError ? 1 : 0;
    }
    // The element's own write; the separators are decoration.
    EXPECT_EQ(passedOn, 25);
}

// a, b, c, d, x and y are 16.16; u, v and w 2.30.
TEST(Fields, MatricesHoldTheirValuesInBothFixedPointForms) {
    const Bytes identity = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0, 0, 1,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0};
    mediafmt::io::Buffer stream(identity);
    mediafmt::mp4::type::Matrix3x3 matrix;
    ASSERT_EQ(matrix.read(&stream, identity.size()), 0u);
    EXPECT_EQ(matrix.value, (std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    // Values beyond the 64-bit range saturate, from the first one out; the
    // last one in is kept.
    using mediafmt::mp4::type::fixedPointRaw;
    EXPECT_EQ(fixedPointRaw(9223372036854775808.0, 1.0), INT64_MAX);
    EXPECT_EQ(fixedPointRaw(9223372036854774784.0, 1.0), 9223372036854774784);
    EXPECT_EQ(fixedPointRaw(-9223372036854775808.0, 1.0), INT64_MIN);
    EXPECT_EQ(fixedPointRaw(-1e300, 1.0), INT64_MIN);
}

// Blocks up to 127 bytes print in hex; longer ones by their length.
TEST(Fields, LongBlocksPrintTheirLengthOnly) {
    const auto printed = [](const mediafmt::mp4::type::Type& block) {
        mediafmt::io::Buffer sink;
        EXPECT_EQ(block.print(&sink, 0), 0u);
        return std::string(sink.bytes().begin(), sink.bytes().end());
    };
    EXPECT_EQ(printed(mediafmt::mp4::type::FixedBlock<127>{}).substr(0, 8), "(127) 00");
    EXPECT_EQ(printed(mediafmt::mp4::type::FixedBlock<128>{}), "<128 byte block>");
}

// Lists longer than one decoding run come back whole, and their reading
// stops at the end of the box even when more bytes follow it.
TEST(Fields, LongListsReadBackWholeAndStopAtTheBoxEnd) {
    const auto roundTrip = [](auto list, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            list.elements.push_back(static_cast<decltype(list.elements[0] + 0)>(i * 2654435761u));
        mediafmt::io::Buffer stream;
        ASSERT_EQ(list.write(&stream), 0u);
        const std::uint64_t end = list.size();
        std::uint64_t put = 0;
        ASSERT_EQ(stream.write("trailing", 8, put), 0u);
        ASSERT_EQ(stream.seek(0, mediafmt::io::SeekOrigin::begin), 0u);
        decltype(list) back;
        ASSERT_EQ(back.read(&stream, end), 0u);
        EXPECT_EQ(back.elements, list.elements);
        std::uint64_t at = 0;
        ASSERT_EQ(stream.tell(at), 0u);
        EXPECT_EQ(at, end);
    };
    roundTrip(mediafmt::mp4::type::Uint32Array{}, 65536 + 3);
    roundTrip(mediafmt::mp4::type::Uint64Array{}, 32768 + 3);
}

// Every table writes back the bytes it read, each field in its place; a
// list of whole runs takes one write per run, none of them empty.
TEST(Fields, TablesWriteBackTheBytesTheyRead) {
    const auto roundTrip = [](auto table) {
        const std::size_t entrySize = decltype(table.elements)::value_type::diskSize;
        Bytes bytes{0, 0, 0, 2};
        for (std::size_t i = 0; i < 2 * entrySize; ++i)
            bytes.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        mediafmt::io::Buffer in(bytes);
        ASSERT_EQ(table.read(&in, bytes.size()), 0u);
        mediafmt::io::Buffer out;
        ASSERT_EQ(table.write(&out), 0u);
        EXPECT_EQ(out.bytes(), bytes) << entrySize;
    };
    namespace type = mediafmt::mp4::type;
    roundTrip(type::TimeToSampleTable{});
    roundTrip(type::CompositionOffsetTable{});
    roundTrip(type::SampleToChunkTable{});
    roundTrip(type::EditListV0Table{});
    roundTrip(type::EditListV1Table{});

    type::Uint32Array list;
    list.elements.assign(2 * 16384, 7);
    FaultyStream sink(Bytes(list.size()));
    sink.failAt(Call::write, 3, result::closeError);
    EXPECT_EQ(list.write(&sink), 0u);
}
