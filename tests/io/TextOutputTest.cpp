#include "mediafmt/io/TextOutput.h"
#include "mediafmt/io/Buffer.h"

#include <gtest/gtest.h>

#include <string>

using namespace mediafmt;
using namespace mediafmt::io;

namespace {

std::string textOf(const Buffer& buffer) {
    return std::string(buffer.bytes().begin(), buffer.bytes().end());
}

} // namespace

TEST(TextOutput, WritesTheTextWithoutTerminator) {
    Buffer stream;
    ASSERT_EQ(writeText(&stream, "%d", 42), 0u);
    EXPECT_EQ(stream.bytes().size(), 2u);
    ASSERT_EQ(writeIndent(&stream, 0), 0u);
    ASSERT_EQ(writeIndent(&stream, 3), 0u);
    ASSERT_EQ(writeText(&stream, "%s=%04x", "size", 0xBEEFu), 0u);
    EXPECT_EQ(textOf(stream), "42   size=beef");
}

TEST(TextOutput, Failures) {
    Buffer stream;
    EXPECT_EQ(writeText(nullptr, "x"), result::nullObject);
    EXPECT_EQ(writeIndent(nullptr, 2), result::nullObject);
#ifndef _WIN32
    // A wide character the C locale cannot convert makes the formatting fail.
    // The Windows runtime formats it without failing, so there is no failure to see there.
    EXPECT_EQ(writeText(&stream, "%ls", L"\u00e9"), result::error);
    EXPECT_TRUE(stream.bytes().empty());
#endif
}
