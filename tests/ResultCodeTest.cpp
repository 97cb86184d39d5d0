#include "mediafmt/ResultCode.h"

#include <gtest/gtest.h>

using mediafmt::resultCodeText;

TEST(ResultCode, TextsAtTheEdgesOfTheTable) {
    EXPECT_EQ(resultCodeText(0), "none");
    EXPECT_EQ(resultCodeText(1), "no-op");
    EXPECT_EQ(resultCodeText(12), "I/O open error");
    EXPECT_EQ(resultCodeText(16), "divide by zero");
    EXPECT_EQ(resultCodeText(17), "unknown");
    EXPECT_EQ(resultCodeText(0xFFFFFFFFu), "unknown");
}
