#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/Buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace mediafmt;
using namespace mediafmt::io;

namespace {

// Takes at most one byte per write, and fails outright once full, or with the
// given code on every call when one is set.
class TinyStream final : public Buffer {
public:
    explicit TinyStream(std::uint64_t room, ResultCode code = 0) : room_(room), code_(code) {}
    ResultCode read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) override {
        if (code_ != 0)
            return code_;
        return Buffer::read(buffer, count, bytesRead);
    }
    ResultCode write(const void* buffer, std::uint64_t count,
                     std::uint64_t& bytesWritten) override {
        if (code_ != 0)
            return code_;
        std::uint64_t take = count < room_ ? count : room_;
        room_ -= take;
        return Buffer::write(buffer, take, bytesWritten);
    }

private:
    std::uint64_t room_;
    ResultCode code_;
};

} // namespace

TEST(BigEndian, ReadsMostSignificantByteFirst) {
    Buffer stream({0x00, 0x00, 0x01, 0x02, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10});
    std::uint32_t u32 = 0;
    ASSERT_EQ(readUint32(&stream, u32), 0u);
    EXPECT_EQ(u32, 258u);
    std::uint64_t u64 = 0;
    ASSERT_EQ(readUint64(&stream, u64), 0u);
    EXPECT_EQ(u64, 0xFEDCBA9876543210u);

    ASSERT_EQ(stream.seek(4, SeekOrigin::begin), 0u);
    std::uint16_t u16 = 0;
    ASSERT_EQ(readUint16(&stream, u16), 0u);
    EXPECT_EQ(u16, 0xFEDCu);
    u64 = 7;
    ASSERT_EQ(readUintN(&stream, u64, 0), 0u);
    EXPECT_EQ(u64, 0u);
    ASSERT_EQ(readUintN(&stream, u64, 3), 0u);
    EXPECT_EQ(u64, 0xBA9876u);
}

TEST(BigEndian, MissingBytesAndFailingStreams) {
    Buffer three({0x00, 0x01, 0x02});
    std::uint32_t value = 0;
    EXPECT_EQ(readUint32(&three, value), result::readError);
    EXPECT_EQ(readUint32(nullptr, value), result::nullObject);
    TinyStream failing(100, result::fileNotOpen);
    EXPECT_EQ(readUint32(&failing, value), result::fileNotOpen);
    EXPECT_EQ(writeUint32(&failing, 1), result::fileNotOpen);
}

TEST(BigEndian, WritesMostSignificantByteFirst) {
    Buffer stream;
    ASSERT_EQ(writeUintN(&stream, 0x123456, 3), 0u);
    ASSERT_EQ(writeInt32(&stream, -2), 0u);
    ASSERT_EQ(writeUint16(&stream, 0xA1B2), 0u);
    ASSERT_EQ(writeUint64(&stream, 0x0102030405060708u), 0u);
    ASSERT_EQ(writeUintN(&stream, 0xFF, 0), 0u);
    EXPECT_EQ(stream.bytes(), (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF, 0xFE,
                                                         0xA1, 0xB2, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(BigEndian, ShortWriteIsAWriteError) {
    TinyStream stream(3);
    EXPECT_EQ(writeUint32(&stream, 0x01020304), result::writeError);
    EXPECT_EQ(writeUint8(&stream, 5), result::writeError);
    EXPECT_EQ(writeUint8(nullptr, 5), result::nullObject);
}
