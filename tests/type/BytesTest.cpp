#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/io/Buffer.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <string>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;

namespace {

// The bytes 0, 1, 2, ... n - 1.
Bytes counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

TEST(String, TakesEveryByteUpToTheEndNulsIncluded) {
    io::Buffer in(testsupport::concat({Bytes(100, 0xee), hex("61 62 00 63 00 00 00 00 ee")}));
    ASSERT_EQ(in.seek(100, io::SeekOrigin::begin), 0u);
    String text;
    ASSERT_EQ(text.read(&in, 108), 0u);
    EXPECT_EQ(text.value, std::string("ab\0c\0\0\0\0", 8));
    EXPECT_EQ(text.size(), 8u);
    EXPECT_EQ(text.offset, 100u);
}

TEST(String, AtTheEndHoldsNothingAndBeyondItIsEndOfFile) {
    io::Buffer in(counting(12));
    ASSERT_EQ(in.seek(10, io::SeekOrigin::begin), 0u);
    String text;
    text.value = "old";
    ASSERT_EQ(text.read(&in, 10), 0u);
    EXPECT_EQ(text.value, "");
    EXPECT_EQ(text.read(&in, 9), result::endOfFile);
    EXPECT_EQ(text.offset, 10u);
}

TEST(String, EmptyValueNeedsNoStorageOnEitherSide) {
    // Memory streams refuse null storage; an empty string must still read
    // from and write to a stream that holds nothing yet.
    io::Buffer empty;
    String text;
    EXPECT_EQ(text.read(&empty, 0), 0u);
    io::Buffer out;
    EXPECT_EQ(text.write(&out), 0u);
    EXPECT_TRUE(out.bytes().empty());
}

TEST(Block, AtTheEndHoldsNothingAndBeyondItIsEndOfFile) {
    io::Buffer in(counting(12));
    ASSERT_EQ(in.seek(10, io::SeekOrigin::begin), 0u);
    Block block;
    block.elements = {1, 2, 3};
    ASSERT_EQ(block.read(&in, 10), 0u);
    EXPECT_TRUE(block.elements.empty());
    EXPECT_EQ(block.read(&in, 9), result::endOfFile);
    EXPECT_EQ(block.offset, 10u);

    io::Buffer out;
    EXPECT_EQ(Block().write(&out), 0u);
    EXPECT_TRUE(out.bytes().empty());
}

TEST(Block, EndingPastTheStreamIsAReadError) {
    io::Buffer in(counting(12));
    ASSERT_EQ(in.seek(4, io::SeekOrigin::begin), 0u);
    Block block;
    EXPECT_EQ(block.read(&in, 20), result::readError);
}

TEST(FixedBlock, AlwaysTakesAndWritesExactlyItsWidth) {
    io::Buffer out;
    ASSERT_EQ(FixedBlock<6>().write(&out), 0u);
    EXPECT_EQ(out.bytes(), Bytes(6, 0));

    // The end of the box does not shorten it.
    io::Buffer in(counting(12));
    ASSERT_EQ(in.seek(2, io::SeekOrigin::begin), 0u);
    FixedBlock<6> block;
    ASSERT_EQ(block.read(&in, 4), 0u);
    EXPECT_EQ(block.offset, 2u);
    io::Buffer again;
    ASSERT_EQ(block.write(&again), 0u);
    EXPECT_EQ(again.bytes(), hex("02 03 04 05 06 07"));
}

} // namespace
