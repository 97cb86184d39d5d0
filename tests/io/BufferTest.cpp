#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/Buffer.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::io;

TEST(Buffer, WriteInsideOverwritesAndGrows) {
    Buffer buffer;
    std::uint64_t put = 0;
    const std::uint8_t three[] = {1, 2, 3};
    const std::uint8_t four[] = {4, 5, 6, 7};
    ASSERT_EQ(buffer.write(three, 3, put), 0u);
    ASSERT_EQ(buffer.seek(1, SeekOrigin::begin), 0u);
    ASSERT_EQ(buffer.write(four, 4, put), 0u);
    EXPECT_EQ(buffer.bytes(), (std::vector<std::uint8_t>{1, 4, 5, 6, 7}));
    std::uint64_t position = 0;
    ASSERT_EQ(buffer.tell(position), 0u);
    EXPECT_EQ(position, 5u);
}
