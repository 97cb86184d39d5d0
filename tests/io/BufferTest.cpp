#include "mediafmt/io/Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace mediafmt;
using namespace mediafmt::io;

namespace {

std::uint64_t positionOf(Io& stream) {
    std::uint64_t position = 0;
    EXPECT_EQ(stream.tell(position), 0u);
    return position;
}

} // namespace

TEST(Buffer, WriteInsideOverwritesAndGrows) {
    Buffer buffer;
    std::uint64_t put = 0;
    const std::uint8_t three[] = {1, 2, 3};
    const std::uint8_t four[] = {4, 5, 6, 7};
    ASSERT_EQ(buffer.write(three, 3, put), 0u);
    ASSERT_EQ(buffer.seek(1, SeekOrigin::begin), 0u);
    ASSERT_EQ(buffer.write(four, 4, put), 0u);
    EXPECT_EQ(buffer.bytes(), (std::vector<std::uint8_t>{1, 4, 5, 6, 7}));
    EXPECT_EQ(positionOf(buffer), 5u);
}

TEST(Buffer, SeekClampsToTheBytesAndReportsWhy) {
    Buffer buffer({1, 2, 3});
    EXPECT_EQ(buffer.seek(5, SeekOrigin::begin), result::seekPastEnd);
    EXPECT_EQ(positionOf(buffer), 3u);
    EXPECT_EQ(buffer.seek(-1, SeekOrigin::end), 0u);
    EXPECT_EQ(positionOf(buffer), 2u);
    EXPECT_EQ(buffer.seek(0, static_cast<SeekOrigin>(7)), result::invalidArgument);
    EXPECT_EQ(positionOf(buffer), 2u);
    ASSERT_EQ(buffer.seek(0, SeekOrigin::begin), 0u);
    EXPECT_EQ(buffer.seek(-1, SeekOrigin::current), result::seekBeforeBegin);
    EXPECT_EQ(positionOf(buffer), 0u);
    // Extreme offsets must clamp, not overflow.
    EXPECT_EQ(buffer.seek(std::numeric_limits<std::int64_t>::min(), SeekOrigin::end),
              result::seekBeforeBegin);
    EXPECT_EQ(buffer.seek(std::numeric_limits<std::int64_t>::max(), SeekOrigin::end),
              result::seekPastEnd);
    EXPECT_EQ(positionOf(buffer), 3u);
    std::uint64_t length = 0;
    ASSERT_EQ(buffer.size(length), 0u);
    EXPECT_EQ(length, 3u);
}

TEST(Buffer, ShortReadIsNotAnError) {
    Buffer buffer({1, 2, 3});
    std::uint8_t dest[8] = {};
    std::uint64_t got = 99;
    ASSERT_EQ(buffer.read(dest, 8, got), 0u);
    EXPECT_EQ(got, 3u);
    bool atEnd = false;
    ASSERT_EQ(buffer.eof(atEnd), 0u);
    EXPECT_TRUE(atEnd);
    ASSERT_EQ(buffer.read(dest, 8, got), 0u);
    EXPECT_EQ(got, 0u);
}

TEST(Buffer, EmptyBufferAndNullPointers) {
    Buffer buffer;
    bool atEnd = false;
    ASSERT_EQ(buffer.eof(atEnd), 0u);
    EXPECT_TRUE(atEnd);
    std::uint8_t byte = 0;
    std::uint64_t count = 0;
    EXPECT_EQ(buffer.read(&byte, 1, count), result::nullObject); // nothing allocated yet
    EXPECT_EQ(buffer.write(&byte, 0, count), result::nullObject);
    EXPECT_EQ(buffer.write(nullptr, 1, count), result::nullObject);
    ASSERT_EQ(buffer.write(&byte, 1, count), 0u);
    EXPECT_EQ(buffer.read(nullptr, 1, count), result::nullObject);
}
