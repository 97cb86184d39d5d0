#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/io/Buffer.h"
#include "tests/support/Bytes.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;

namespace {

std::uint64_t positionOf(io::Io& stream) {
    std::uint64_t position = 0;
    EXPECT_EQ(stream.tell(position), 0u);
    return position;
}

TEST(Uint32Array, LeavesAPartialTrailingElementUnread) {
    io::Buffer in(hex("00000001 00000002 ffff ee"));
    Uint32Array list;
    ASSERT_EQ(list.read(&in, 10), 0u);
    EXPECT_EQ(list.elements, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(positionOf(in), 8u);
}

TEST(Uint32Array, StartingBeyondTheEndHoldsNothing) {
    io::Buffer in(hex("00000001 00000002"));
    ASSERT_EQ(in.seek(4, io::SeekOrigin::begin), 0u);
    Uint32Array list;
    list.elements = {7, 8};
    ASSERT_EQ(list.read(&in, 2), 0u);
    EXPECT_TRUE(list.elements.empty());
    EXPECT_EQ(list.offset, 4u);
}

TEST(Uint64Array, ReadsAPartialLastElementWholeAndNothingAtTheEnd) {
    io::Buffer in(hex("00000000 00000001 00000000 00000002"));
    Uint64Array list;
    // The second element starts before the end, so it is read whole.
    ASSERT_EQ(list.read(&in, 12), 0u);
    EXPECT_EQ(list.elements, (std::vector<std::uint64_t>{1, 2}));
    ASSERT_EQ(list.read(&in, 16), 0u);
    EXPECT_TRUE(list.elements.empty());
    EXPECT_EQ(list.offset, 16u);
}

TEST(FourccArray, EachCodeRemembersWhereItWasRead) {
    io::Buffer in(hex("ee ee  69736f6d 6d703431"));
    ASSERT_EQ(in.seek(2, io::SeekOrigin::begin), 0u);
    FourccArray brands;
    ASSERT_EQ(brands.read(&in, 10), 0u);
    ASSERT_EQ(brands.elements.size(), 2u);
    EXPECT_EQ(brands.elements[0].value, fourcc("isom"));
    EXPECT_EQ(brands.elements[1].value, fourcc("mp41"));
    EXPECT_EQ(brands.elements[0].offset, 2u);
    EXPECT_EQ(brands.elements[1].offset, 6u);
}

TEST(FourccArray, KeepsTheCodesReadBeforeTheStreamEnds) {
    io::Buffer in(hex("69736f6d 6d70"));
    FourccArray brands;
    EXPECT_EQ(brands.read(&in, 8), result::readError);
    ASSERT_EQ(brands.elements.size(), 1u);
    EXPECT_EQ(brands.elements[0].value, fourcc("isom"));
}

TEST(Lists, ChangesInMemoryShowInSizeAndWrite) {
    Uint32Array list;
    list.elements = {1, 0xfffffffe};
    EXPECT_EQ(list.size(), 8u);
    Uint64Array wide;
    wide.elements = {0x0102030405060708};
    FourccArray brands;
    brands.elements.emplace_back(fourcc("qt  "));

    io::Buffer out;
    ASSERT_EQ(list.write(&out), 0u);
    ASSERT_EQ(wide.write(&out), 0u);
    ASSERT_EQ(brands.write(&out), 0u);
    EXPECT_EQ(out.bytes(), hex("00000001 fffffffe  0102030405060708  71742020"));
}

TEST(Lists, LongListsReadAndWriteBackAndStopAtAFullStream) {
    Uint32Array narrow;
    Uint64Array wide;
    for (std::uint32_t i = 0; i < 40000; ++i) {
        narrow.elements.push_back(i * 2654435761u);
        wide.elements.push_back(std::uint64_t{i} * 0x9E3779B97F4A7C15u);
    }
    io::Buffer out;
    ASSERT_EQ(narrow.write(&out), 0u);
    ASSERT_EQ(wide.write(&out), 0u);
    ASSERT_EQ(out.bytes().size(), 40000u * 12);

    ASSERT_EQ(out.seek(0, io::SeekOrigin::begin), 0u);
    Uint32Array narrowAgain;
    Uint64Array wideAgain;
    ASSERT_EQ(narrowAgain.read(&out, 40000 * 4), 0u);
    ASSERT_EQ(wideAgain.read(&out, 40000 * 12), 0u);
    EXPECT_EQ(narrowAgain.elements, narrow.elements);
    EXPECT_EQ(wideAgain.elements, wide.elements);

    for (std::uint64_t capacity : {std::uint64_t{100000}, std::uint64_t{40000 * 4 - 1}}) {
        testsupport::LimitedStream full(capacity);
        EXPECT_EQ(narrow.write(&full), result::writeError);
        std::uint64_t taken = 0;
        ASSERT_EQ(full.tell(taken), 0u);
        EXPECT_EQ(taken, capacity);
    }
}

} // namespace
