#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "tests/support/Bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;

namespace {

template <typename F> F readFrom(const Bytes& bytes) {
    io::Buffer in(bytes);
    F field;
    EXPECT_EQ(field.read(&in, bytes.size()), 0u);
    return field;
}

template <typename F> Bytes written(const F& field) {
    io::Buffer out;
    EXPECT_EQ(field.write(&out), 0u);
    return out.bytes();
}

TEST(Fourcc, HoldsTheFirstCharacterInTheTopByteAndComparesByValue) {
    Fourcc code = readFrom<Fourcc>(hex("73 74 73 64"));
    EXPECT_EQ(code.value, 0x73747364u);
    EXPECT_EQ(code.value, fourcc("stsd"));
    EXPECT_EQ(code.text(), "stsd");
    EXPECT_EQ(code, Fourcc(fourcc("stsd")));
    EXPECT_NE(code, Fourcc(fourcc("STSD")));
    EXPECT_EQ(Fourcc().text(), "");
}

TEST(UnsignedFields, DecodeBigEndianAndKeepTheirWidth) {
    EXPECT_EQ(readFrom<Uint8>(hex("fe")).value, 0xfeu);
    EXPECT_EQ(readFrom<Uint16>(hex("01 02")).value, 0x0102u);
    EXPECT_EQ(readFrom<Uint24>(hex("ff 00 01")).value, 16711681u);
    EXPECT_EQ(readFrom<Uint32>(hex("01 02 03 04")).value, 0x01020304u);
    EXPECT_EQ(readFrom<Uint64>(hex("01 02 03 04 05 06 07 08")).value, 0x0102030405060708u);
    EXPECT_EQ(Timestamp32().size(), 4u);
    EXPECT_EQ(Timestamp64().size(), 8u);

    // A 24-bit field set in memory to a wider value writes its low 24 bits.
    Uint24 wide;
    wide.value = 0x12345678;
    EXPECT_EQ(written(wide), hex("34 56 78"));
}

struct FixedCase {
    Bytes bytes;
    double value;
};

TEST(FixedPoint, SixteenSixteenIsExactBothWays) {
    const FixedCase cases[] = {
        {hex("00 01 80 00"), 1.5},         {hex("ff ff 00 00"), 65535.0}, // unsigned, not -1
        {hex("00 00 00 01"), 1.0 / 65536}, {hex("ff ff ff ff"), 65536.0 - 1.0 / 65536},
        {hex("00 00 00 00"), 0.0},
    };
    for (const FixedCase& c : cases) {
        SCOPED_TRACE(testsupport::toHex(c.bytes));
        Fixed16x16 field = readFrom<Fixed16x16>(c.bytes);
        EXPECT_EQ(field.value, c.value);
        EXPECT_EQ(written(field), c.bytes);
        Fixed16x16 set;
        set.value = c.value;
        EXPECT_EQ(written(set), c.bytes);
    }
}

TEST(FixedPoint, EightEightIsExactBothWays) {
    const FixedCase cases[] = {
        {hex("01 00"), 1.0},
        {hex("00 01"), 1.0 / 256},
        {hex("ff ff"), 256.0 - 1.0 / 256},
    };
    for (const FixedCase& c : cases) {
        SCOPED_TRACE(testsupport::toHex(c.bytes));
        Fixed8x8 field = readFrom<Fixed8x8>(c.bytes);
        EXPECT_EQ(field.value, c.value);
        EXPECT_EQ(written(field), c.bytes);
    }
}

TEST(FixedPoint, ValuesSetInMemoryRoundToNearestAndNeverOverflow) {
    Fixed16x16 third;
    third.value = 1.0 / 3; // 21845.33 raw
    EXPECT_EQ(written(third), hex("00 00 55 55"));

    // Out-of-range values saturate instead of converting undefinedly; the
    // low 32 bits of the saturated raw value are written.
    EXPECT_EQ(fixedPointRaw(1e300, 65536.0), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(fixedPointRaw(-1e300, 65536.0), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(fixedPointRaw(std::numeric_limits<double>::infinity(), 65536.0),
              std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(fixedPointRaw(std::nan(""), 65536.0), 0);
    Fixed16x16 huge;
    huge.value = 1e300;
    EXPECT_EQ(written(huge), hex("ff ff ff ff"));
    Fixed8x8 notANumber;
    notANumber.value = std::nan("");
    EXPECT_EQ(written(notANumber), hex("00 00"));
}

TEST(FixedPoint, NegativeValuesRoundToNearestToo) {
    EXPECT_EQ(fixedPointRaw(-1.0, 65536.0), -65536);
    EXPECT_EQ(fixedPointRaw(-0.5 / 65536, 65536.0), 0);
    EXPECT_EQ(fixedPointRaw(-1.6 / 65536, 65536.0), -2);
}

// a b u / c d v / x y w, each 32 bits; u, v, w are 2.30.
Bytes matrixBytes(const std::array<std::uint32_t, 9>& raw) {
    Bytes bytes;
    for (std::uint32_t r : raw) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(r >> shift));
    }
    return bytes;
}

constexpr std::uint32_t one = 0x00010000;
constexpr std::uint32_t minusOne = 0xffff0000;
constexpr std::uint32_t w = 0x40000000;

TEST(Matrix3x3, IdentityReadsAsOnesAndWritesBack) {
    const Bytes identity = matrixBytes({one, 0, 0, 0, one, 0, 0, 0, w});
    Matrix3x3 matrix = readFrom<Matrix3x3>(identity);
    EXPECT_EQ(matrix.value, (std::array<float, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(written(matrix), identity);

    Matrix3x3 fresh;
    fresh.value = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(written(fresh), identity);
}

TEST(Matrix3x3, UsualTransformsSurviveARoundTrip) {
    const std::array<std::uint32_t, 9> matrices[] = {
        {0, one, 0, minusOne, 0, 0, 0, 0, w},              // 90 degrees
        {minusOne, 0, 0, 0, minusOne, 0, 0, 0, w},         // 180 degrees
        {0, minusOne, 0, one, 0, 0, 0, 0, w},              // 270 degrees
        {0x00020000, 0, 0, 0, 0x00008000, 0, 0, 0, w},     // scaling by 2 and 0.5
        {one, 0, 0, 0, one, 0, 0x07800000, 0x04380000, w}, // moved by 1920, 1080
        {0, one, 0, minusOne, 0, 0, 0x04380000, 0, w},     // rotated and moved
        {one, 0, 0x40000000, 0, one, 0xc0000000, 0, 0, w}, // u and v at their extremes
    };
    for (const auto& raw : matrices) {
        const Bytes bytes = matrixBytes(raw);
        SCOPED_TRACE(testsupport::toHex(bytes));
        EXPECT_EQ(written(readFrom<Matrix3x3>(bytes)), bytes);
    }
}

TEST(Matrix3x3, NegativeElementsSetInMemoryWriteTheirTwosComplement) {
    Matrix3x3 rotation;
    rotation.value = {0, 1, 0, -1, 0, 0, 0, 0, 1};
    EXPECT_EQ(written(rotation), matrixBytes({0, one, 0, minusOne, 0, 0, 0, 0, w}));
    Matrix3x3 flipped;
    flipped.value = {-1, 0, 0, 0, -1, 0, -1920, 0, 1};
    EXPECT_EQ(written(flipped), matrixBytes({minusOne, 0, 0, 0, minusOne, 0, 0xf8800000, 0, w}));
}

} // namespace
