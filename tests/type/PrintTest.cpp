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
using testsupport::Bytes;

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

TEST(Print, Scalars) {
    EXPECT_EQ(printed(holding<Fourcc>(fourcc("stsd"))), "stsd");
    EXPECT_EQ(printed(Fourcc()), "");
    EXPECT_EQ(printed(holding<Fourcc>(0x61620064u)), "ab"); // stops at the zero byte
    EXPECT_EQ(printed(holding<Uint8>(255)), "255");
    EXPECT_EQ(printed(holding<Uint16>(65535)), "65535");
    EXPECT_EQ(printed(holding<Uint24>(16711681u)), "16711681");
    EXPECT_EQ(printed(holding<Uint32>(4294967295u)), "4294967295");
    EXPECT_EQ(printed(holding<Uint64>(std::numeric_limits<std::uint64_t>::max())),
              "18446744073709551615");
    EXPECT_EQ(printed(holding<Fixed16x16>(1.5)), "1.5000");
    EXPECT_EQ(printed(holding<Fixed16x16>(65535.0)), "65535.0000");
    EXPECT_EQ(printed(holding<Fixed8x8>(1.0)), "1.0000");
    EXPECT_EQ(printed(holding<String>(std::string("abc\0def", 7))), "abc");
    EXPECT_EQ(printed(holding<Matrix3x3>(std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1})), "");
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
        {3029529599, "1999-12-31T23:59:59Z"},
        {3034713600, "2000-03-01T00:00:00Z"}, // after a leap day in a century year
        {3786912000, "2024-01-01T00:00:00Z"},
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

template <typename L> L listOf(std::size_t n) {
    L list;
    for (std::size_t i = 1; i <= n; ++i)
        list.elements.push_back(static_cast<typename decltype(L::elements)::value_type>(i));
    return list;
}

TEST(Print, ListsBreakAfterEveryTenthElement) {
    EXPECT_EQ(printed(listOf<Uint32Array>(3)), "(3) [       1,        2,        3]");
    EXPECT_EQ(printed(listOf<Uint32Array>(10), 2),
              "(10) [       1,        2,        3,        4,        5,        6,        7,"
              "        8,        9,       10\n  ]");
    EXPECT_EQ(printed(listOf<Uint32Array>(11), 2),
              "(11) [\n  "
              "       1,        2,        3,        4,        5,        6,        7,"
              "        8,        9,       10, \n  "
              "      11]");
    Uint32Array wide;
    wide.elements = {0xffffffff, 123456789};
    EXPECT_EQ(printed(wide), "(2) [      -1, 123456789]");
    EXPECT_EQ(printed(Uint64Array()), "(0) []");
    EXPECT_EQ(printed(listOf<Uint64Array>(2)), "(2) [       1,        2]");
}

TEST(Print, FourccListHasNoBreakBeforeItsFirstCode) {
    FourccArray brands;
    brands.elements.emplace_back(fourcc("isom"));
    brands.elements.emplace_back(fourcc("mp41"));
    EXPECT_EQ(printed(brands), "(2) [isom, mp41]");
    brands.elements.resize(11, Fourcc(fourcc("avc1")));
    EXPECT_EQ(printed(brands, 1), "(11) [isom, mp41, avc1, avc1, avc1, avc1, avc1, avc1, avc1, "
                                  "avc1, \n avc1]");
}

Bytes counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

TEST(Print, ByteBlocksShowHexUpToTheirThreshold) {
    Block block;
    EXPECT_EQ(printed(block), "(0) []");
    block.elements = counting(99);
    EXPECT_EQ(printed(block), "(99) [" + testsupport::toHex(counting(99)) + "]");
    block.elements = counting(100);
    EXPECT_EQ(printed(block), "<100 byte block>");

    FixedBlock<32> name;
    const Bytes bytes = counting(32);
    std::copy(bytes.begin(), bytes.end(), name.value.begin());
    EXPECT_EQ(printed(name), "(32) 000102030405060708090a0b0c0d0e0f"
                             "101112131415161718191a1b1c1d1e1f");
    EXPECT_EQ(printed(FixedBlock<128>()), "<128 byte block>");
}

TEST(Print, TablesShowTheirCountAndEditListsTheirEntries) {
    TimeToSampleTable times;
    times.elements.resize(2);
    EXPECT_EQ(printed(times), "(2) []");
    EXPECT_EQ(printed(SampleToChunkTable()), "(0) []");

    EditListV0Table edits;
    edits.elements.push_back({1000, -1, 1, 0});
    edits.elements.push_back({500, 0, 1, 0});
    EXPECT_EQ(printed(edits), "(2) [[1000, -1, 1, 0][500, 0, 1, 0]]");
    EditListV1Table wide;
    wide.elements.push_back({0x100000000, -1, 1, 0x8000});
    EXPECT_EQ(printed(wide), "(1) [[4294967296, -1, 1, 32768]]");
}

TEST(Print, AFailedWriteIsReportedExceptByByteBlocks) {
    testsupport::LimitedStream broken(100);
    broken.writeResult = result::invalidIo;
    EXPECT_EQ(holding<Uint32>(7u).print(&broken, 0), result::invalidIo);
    EXPECT_EQ(listOf<Uint32Array>(1).print(&broken, 0), result::invalidIo);
    EXPECT_EQ(listOf<Block>(1).print(&broken, 0), 0u);
}

} // namespace
