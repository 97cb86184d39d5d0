// The text forms the box listings are made of.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Tables.h"
#include "tests/support/Bytes.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace mediafmt;
using namespace mediafmt::mp4::type;

namespace {

std::string printed(const Type& field, std::uint32_t indent = 0) {
    io::Buffer out;
    EXPECT_EQ(field.print(&out, indent), 0u);
    return testsupport::textOf(out);
}

template <typename F> F holding(decltype(F::value) value) {
    F field;
    field.value = value;
    return field;
}

// The elements 1 to n.
template <typename L> L listOf(std::size_t n) {
    L list;
    for (std::size_t i = 1; i <= n; ++i)
        list.elements.push_back(static_cast<typename decltype(L::elements)::value_type>(i));
    return list;
}

// The text of a value read from each field class is checked by the field
// contract; these are the texts of values no read gives there.
TEST(Print, EmptyLongAndCutShortValues) {
    FourccArray brands;
    brands.elements = {Fourcc(fourcc("isom")), Fourcc(fourcc("mp41"))};
    brands.elements.resize(11, Fourcc(fourcc("avc1")));
    const Block block99 = listOf<Block>(99);
    FixedBlock<32> name;
    for (std::uint8_t i = 0; i < 32; ++i)
        name.value[i] = i;
    EditListV0Table edits;
    edits.elements = {{1000, -1, 1, 0}, {500, 0, 1, 0}};

    const struct {
        std::string actual;
        std::string expected;
    } cases[] = {
        {printed(Fourcc()), ""},
        {printed(holding<Fourcc>(0x61620064u)), "ab"}, // stops at the zero byte
        // Lists break after every tenth element; number lists also before the first.
        {printed(listOf<Uint32Array>(3)), "(3) [       1,        2,        3]"},
        {printed(listOf<Uint32Array>(10), 2),
         "(10) [       1,        2,        3,        4,        5,        6,        7,"
         "        8,        9,       10\n  ]"},
        {printed(listOf<Uint32Array>(11), 2),
         "(11) [\n         1,        2,        3,        4,        5,        6,        7,"
         "        8,        9,       10, \n        11]"},
        {printed(Uint64Array()), "(0) []"},
        {printed(brands, 1),
         "(11) [isom, mp41, avc1, avc1, avc1, avc1, avc1, avc1, avc1, avc1, \n avc1]"},
        // Byte blocks show hex up to their threshold.
        {printed(Block()), "(0) []"},
        {printed(block99), "(99) [" + testsupport::toHex(block99.elements) + "]"},
        {printed(listOf<Block>(100)), "<100 byte block>"},
        {printed(name), "(32) 000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"},
        {printed(FixedBlock<128>()), "<128 byte block>"},
        {printed(SampleToChunkTable()), "(0) []"},
        {printed(edits), "(2) [[1000, -1, 1, 0][500, 0, 1, 0]]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, c.expected);
}

TEST(Print, TimestampsCountFrom1904AndShowOnlyTheUnsigned32BitUnixRange) {
    constexpr std::uint64_t unixEpoch = 2082844800;
    const struct {
        std::uint64_t value;
        const char* text;
    } cases[] = {
        {0, ""},
        {unixEpoch - 1, ""},
        {unixEpoch, "1970-01-01T00:00:00Z"},
        {3034713600, "2000-03-01T00:00:00Z"}, // after a leap day in a century year
        {3792054896, "2024-02-29T12:34:56Z"},
        {4294967295, "2040-02-06T06:28:15Z"},
        {unixEpoch + 4294967295, "2106-02-07T06:28:15Z"},
        {unixEpoch + 4294967296, ""},
        {std::numeric_limits<std::uint64_t>::max(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(printed(holding<Timestamp64>(c.value)), c.text);
        if (c.value <= std::numeric_limits<std::uint32_t>::max()) {
            EXPECT_EQ(printed(holding<Timestamp32>(static_cast<std::uint32_t>(c.value))), c.text);
        }
    }
}

TEST(Print, AFailedWriteIsReportedExceptByByteBlocks) {
    testsupport::LimitedStream broken(100);
    broken.writeResult = result::invalidIo;
    EXPECT_EQ(holding<Uint32>(7u).print(&broken, 0), result::invalidIo);
    EXPECT_EQ(listOf<Uint32Array>(1).print(&broken, 0), result::invalidIo);
    EXPECT_EQ(listOf<Block>(1).print(&broken, 0), 0u);
}

} // namespace
