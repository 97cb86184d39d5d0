// What fixed-point fields encode to, which the round trips of the field
// contract cannot tell when a scale is wrong both ways, and where the fields
// without a count of their own stop.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "tests/support/Bytes.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;
using testsupport::toHex;

namespace {

template <typename F> F readFrom(const Bytes& bytes) {
    io::Buffer in(bytes);
    F field;
    EXPECT_EQ(field.read(&in, bytes.size()), 0u);
    return field;
}

template <typename F> std::string written(const F& field) {
    io::Buffer out;
    EXPECT_EQ(field.write(&out), 0u);
    return toHex(out.bytes());
}

template <typename F> void expectExactBothWays(const char* bytes, double value) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(readFrom<F>(hex(bytes)).value, value);
    F set;
    set.value = value;
    EXPECT_EQ(written(set), toHex(hex(bytes)));
}

TEST(FixedPoint, RepresentableValuesAreExactBothWays) {
    expectExactBothWays<Fixed16x16>("00 01 80 00", 1.5);
    expectExactBothWays<Fixed16x16>("ff ff 00 00", 65535.0); // unsigned, not -1
    expectExactBothWays<Fixed16x16>("00 00 00 01", 1.0 / 65536);
    expectExactBothWays<Fixed16x16>("ff ff ff ff", 65536.0 - 1.0 / 65536);
    expectExactBothWays<Fixed8x8>("01 00", 1.0);
    expectExactBothWays<Fixed8x8>("00 01", 1.0 / 256);
    expectExactBothWays<Fixed8x8>("ff ff", 256.0 - 1.0 / 256);
}

TEST(FixedPoint, RoundsToNearestHalvesUpAndSaturates) {
    constexpr double scale = 65536.0;
    constexpr auto max = std::numeric_limits<std::int64_t>::max();
    constexpr auto min = std::numeric_limits<std::int64_t>::min();
    const struct {
        double value;
        std::int64_t raw;
    } cases[] = {
        {1.0 / 3, 21845},   {2.5 / scale, 3},
        {-1.0, -65536},     {-0.5 / scale, 0}, // a truncating conversion gives -65535, -0
        {-1.6 / scale, -2}, {1e300, max},
        {-1e300, min},      {std::numeric_limits<double>::infinity(), max},
        {std::nan(""), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fixedPointRaw(c.value, scale), c.raw) << c.value;

    // The low bits of the saturated raw value are written.
    Fixed16x16 huge;
    huge.value = 1e300;
    EXPECT_EQ(written(huge), "ffffffff");
    Fixed8x8 notANumber;
    notANumber.value = std::nan("");
    EXPECT_EQ(written(notANumber), "0000");
}

// a b u / c d v / x y w, each 32 bits; u, v, w are 2.30, the rest 16.16.
Bytes matrixBytes(const std::array<std::uint32_t, 9>& raw) {
    Bytes bytes;
    for (std::uint32_t r : raw) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(r >> shift));
    }
    return bytes;
}

TEST(Matrix3x3, UsualTransformsEncodeAndSurviveARoundTrip) {
    constexpr std::uint32_t one = 0x00010000;
    constexpr std::uint32_t minusOne = 0xffff0000;
    constexpr std::uint32_t w = 0x40000000;
    const struct {
        std::array<float, 9> value;
        std::array<std::uint32_t, 9> raw;
    } cases[] = {
        {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {one, 0, 0, 0, one, 0, 0, 0, w}},
        {{0, 1, 0, -1, 0, 0, 0, 0, 1}, {0, one, 0, minusOne, 0, 0, 0, 0, w}},
        {{-1, 0, 0, 0, -1, 0, -1920, 0, 1}, {minusOne, 0, 0, 0, minusOne, 0, 0xf8800000, 0, w}},
        {{2, 0, 0, 0, 0.5f, 0, 0, 0, 1}, {0x00020000, 0, 0, 0, 0x00008000, 0, 0, 0, w}},
        {{1, 0, 0, 0, 1, 0, 1920, 1080, 1}, {one, 0, 0, 0, one, 0, 0x07800000, 0x04380000, w}},
        {{1, 0, 1, 0, 1, -1, 0, 0, 1}, {one, 0, 0x40000000, 0, one, 0xc0000000, 0, 0, w}},
    };
    for (const auto& c : cases) {
        const Bytes bytes = matrixBytes(c.raw);
        SCOPED_TRACE(toHex(bytes));
        Matrix3x3 set;
        set.value = c.value;
        EXPECT_EQ(written(set), toHex(bytes));
        EXPECT_EQ(written(readFrom<Matrix3x3>(bytes)), toHex(bytes));
    }
    EXPECT_EQ(readFrom<Matrix3x3>(matrixBytes(cases[0].raw)).value, cases[0].value);
}

// Reads field from position start of bytes up to end and checks the result,
// what the field then writes and where the read left the stream.
template <typename F>
F expectRead(F field, const Bytes& bytes, std::uint64_t start, std::uint64_t end, ResultCode rc,
             const char* writtenHex, std::uint64_t after) {
    SCOPED_TRACE(testing::Message() << "start " << start << ", end " << end);
    io::Buffer in(bytes);
    EXPECT_EQ(in.seek(static_cast<std::int64_t>(start), io::SeekOrigin::begin), 0u);
    EXPECT_EQ(field.read(&in, end), rc);
    EXPECT_EQ(field.offset, start);
    EXPECT_EQ(written(field), writtenHex);
    std::uint64_t position = 0;
    EXPECT_EQ(in.tell(position), 0u);
    EXPECT_EQ(position, after);
    return field;
}

TEST(RunToTheEnd, FieldsWithoutACountStopAtTheEndOfTheBox) {
    const Bytes twelve = hex("00010203 04050607 08090a0b");
    // Each holds something from before, which a read must replace.
    String text;
    text.value = "old";
    Block block;
    block.elements = {1, 2, 3};
    Uint32Array list;
    list.elements = {7, 8};
    Uint64Array wide;
    wide.elements = {9};

    // At the end they hold nothing; beyond it a String or Block has no bytes to take.
    expectRead(text, twelve, 10, 10, 0, "", 10);
    expectRead(text, twelve, 10, 9, result::endOfFile, "6f6c64", 10);
    expectRead(block, twelve, 10, 10, 0, "", 10);
    expectRead(block, twelve, 10, 9, result::endOfFile, "010203", 10);
    expectRead(list, twelve, 4, 2, 0, "", 4);
    expectRead(wide, twelve, 12, 12, 0, "", 12);
    // An empty value reads from and writes to a stream with no storage yet.
    expectRead(String(), Bytes(), 0, 0, 0, "", 0);

    // 32-bit lists leave a partial element unread; 64-bit ones read it whole.
    expectRead(list, twelve, 0, 10, 0, "0001020304050607", 8);
    expectRead(wide, testsupport::concat({twelve, hex("0d0e0f10")}), 0, 10, 0,
               "000102030405060708090a0b0d0e0f10", 16);
    // A fixed-width block is never shortened by the end of the box.
    expectRead(FixedBlock<6>(), twelve, 2, 4, 0, "020304050607", 8);
    // Each code remembers where it was read; those read before the stream ends are kept.
    const FourccArray brands =
        expectRead(FourccArray(), hex("eeee 69736f6d 6d703431"), 2, 10, 0, "69736f6d6d703431", 10);
    EXPECT_EQ(brands.elements.at(1).offset, 6u);
    expectRead(FourccArray(), hex("69736f6d 6d70"), 0, 8, result::readError, "69736f6d", 6);
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
