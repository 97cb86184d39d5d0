// The contract every field class keeps, checked for each over hand-written
// bytes: what it reads it writes back byte for byte, size() is what write
// emits, offset is where the read began, and the failure codes.

#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/type/Bytes.h"
#include "mediafmt/mp4/type/FixedPoint.h"
#include "mediafmt/mp4/type/Lists.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Tables.h"
#include "tests/support/Bytes.h"
#include "tests/support/TypedTests.h"
#include "tests/type/LimitedStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;

namespace {

// Field: the class; bytes(): a well-formed encoding that fills its box;
// truncated: what a read returns when the stream ends one byte early.
template <typename F> struct Case {
    using Field = F;
    static constexpr ResultCode truncated = result::readError;
};

struct FourccCase : Case<Fourcc> {
    static Bytes bytes() { return hex("73 74 73 64"); }
};
struct Uint8Case : Case<Uint8> {
    static Bytes bytes() { return hex("fe"); }
};
struct Uint16Case : Case<Uint16> {
    static Bytes bytes() { return hex("fe dc"); }
};
struct Uint24Case : Case<Uint24> {
    static Bytes bytes() { return hex("ff 00 01"); }
};
struct Uint32Case : Case<Uint32> {
    static Bytes bytes() { return hex("fe dc ba 98"); }
};
struct Uint64Case : Case<Uint64> {
    static Bytes bytes() { return hex("fe dc ba 98 76 54 32 10"); }
};
struct Timestamp32Case : Case<Timestamp32> {
    static Bytes bytes() { return hex("e1 b8 4a 00"); }
};
struct Timestamp64Case : Case<Timestamp64> {
    static Bytes bytes() { return hex("00 00 00 00 e1 b8 4a 00"); }
};
struct Fixed8x8Case : Case<Fixed8x8> {
    static Bytes bytes() { return hex("ff 01"); }
};
struct Fixed16x16Case : Case<Fixed16x16> {
    static Bytes bytes() { return hex("ff ff 00 01"); }
};
struct MatrixCase : Case<Matrix3x3> {
    static Bytes bytes() {
        return hex("00010000 00000000 00000000  00000000 00010000 00000000"
                   "00000000 00000000 40000000");
    }
};
// String and FixedBlock take whatever the stream delivers.
struct StringCase : Case<String> {
    static constexpr ResultCode truncated = result::none;
    static Bytes bytes() { return hex("61 62 00 63 00 00"); }
};
struct FixedBlockCase : Case<FixedBlock<6>> {
    static constexpr ResultCode truncated = result::none;
    static Bytes bytes() { return hex("01 02 03 04 05 06"); }
};
struct BlockCase : Case<Block> {
    static Bytes bytes() { return hex("de ad be ef 00"); }
};
struct Uint32ArrayCase : Case<Uint32Array> {
    static Bytes bytes() { return hex("00 00 00 01 ff ff ff ff"); }
};
struct Uint64ArrayCase : Case<Uint64Array> {
    static Bytes bytes() { return hex("00 00 00 00 00 00 00 01  ff ff ff ff ff ff ff ff"); }
};
struct FourccArrayCase : Case<FourccArray> {
    static Bytes bytes() { return hex("69 73 6f 6d 6d 70 34 31"); }
};
struct TimeToSampleCase : Case<TimeToSampleTable> {
    static Bytes bytes() { return hex("00000002 0000000a 00000400 00000001 00000200"); }
};
struct CompositionOffsetCase : Case<CompositionOffsetTable> {
    static Bytes bytes() { return hex("00000001 00000003 fffffc00"); }
};
struct SampleToChunkCase : Case<SampleToChunkTable> {
    static Bytes bytes() {
        return hex("00000002 00000001 00000400 00000001 00000005 00000011 00000002");
    }
};
struct EditListV0Case : Case<EditListV0Table> {
    static Bytes bytes() { return hex("00000001 000003e8 ffffffff 0001 0000"); }
};
struct EditListV1Case : Case<EditListV1Table> {
    static Bytes bytes() { return hex("00000001 00000001 00000000 ffffffff ffffffff 0001 8000"); }
};

using Cases =
    ::testing::Types<FourccCase, Uint8Case, Uint16Case, Uint24Case, Uint32Case, Uint64Case,
                     Timestamp32Case, Timestamp64Case, Fixed8x8Case, Fixed16x16Case, MatrixCase,
                     StringCase, FixedBlockCase, BlockCase, Uint32ArrayCase, Uint64ArrayCase,
                     FourccArrayCase, TimeToSampleCase, CompositionOffsetCase, SampleToChunkCase,
                     EditListV0Case, EditListV1Case>;

template <typename C> class FieldContract : public ::testing::Test {};
TYPED_TEST_SUITE(FieldContract, Cases, testsupport::IndexNames);

TYPED_TEST(FieldContract, ReadsAtItsPositionAndWritesTheSameBytesBack) {
    const Bytes sample = TypeParam::bytes();
    // Bytes before the field and after its box must be left alone.
    io::Buffer in(testsupport::concat({hex("ee ee ee"), sample, hex("99 99 99 99")}));
    ASSERT_EQ(in.seek(3, io::SeekOrigin::begin), 0u);
    typename TypeParam::Field field;
    ASSERT_EQ(field.read(&in, 3 + sample.size()), 0u);
    EXPECT_EQ(field.offset, 3u);
    std::uint64_t after = 0;
    ASSERT_EQ(in.tell(after), 0u);
    EXPECT_EQ(after, 3 + sample.size());

    io::Buffer out;
    ASSERT_EQ(field.write(&out), 0u);
    EXPECT_EQ(out.bytes(), sample);
    EXPECT_EQ(field.size(), sample.size());
    EXPECT_EQ(field.offset, 3u) << "write must not change offset";
}

TYPED_TEST(FieldContract, NullStreamIsRefused) {
    typename TypeParam::Field field;
    EXPECT_EQ(field.read(nullptr, 100), result::nullObject);
    EXPECT_EQ(field.write(nullptr), result::nullObject);
    EXPECT_EQ(field.print(nullptr, 0), result::nullObject);
}

TYPED_TEST(FieldContract, FailingTellIsPassedOn) {
    testsupport::LimitedStream stream(100);
    stream.tellResult = result::invalidIo;
    typename TypeParam::Field field;
    EXPECT_EQ(field.read(&stream, 100), result::invalidIo);
}

TYPED_TEST(FieldContract, StreamEndingOneByteEarly) {
    Bytes sample = TypeParam::bytes();
    const std::uint64_t end = 1 + sample.size();
    sample.pop_back();
    io::Buffer in(testsupport::concat({hex("ee"), sample}));
    ASSERT_EQ(in.seek(1, io::SeekOrigin::begin), 0u);
    typename TypeParam::Field field;
    EXPECT_EQ(field.read(&in, end), TypeParam::truncated);
}

TYPED_TEST(FieldContract, ShortWriteGives11) {
    const Bytes sample = TypeParam::bytes();
    io::Buffer in(sample);
    typename TypeParam::Field field;
    ASSERT_EQ(field.read(&in, sample.size()), 0u);
    testsupport::LimitedStream full(sample.size() - 1);
    EXPECT_EQ(field.write(&full), result::writeError);
}

} // namespace
