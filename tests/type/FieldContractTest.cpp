// The contract every field class keeps, checked for each over hand-written
// bytes: what it reads it writes back byte for byte and prints as its text,
// size() is what write emits, offset is where the read began, and the
// failure codes.

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

#include <map>
#include <type_traits>
#include <typeindex>
#include <utility>

using namespace mediafmt;
using namespace mediafmt::mp4::type;
using testsupport::Bytes;
using testsupport::hex;

namespace {

// A well-formed encoding of each field class that fills its box, and its text.
const std::map<std::type_index, std::pair<const char*, const char*>> samples = {
    {typeid(Fourcc), {"73 74 73 64", "stsd"}},
    {typeid(Uint8), {"fe", "254"}},
    {typeid(Uint16), {"fe dc", "65244"}},
    {typeid(Uint24), {"ff 00 01", "16711681"}},
    {typeid(Uint32), {"fe dc ba 98", "4275878552"}},
    {typeid(Uint64), {"fe dc ba 98 76 54 32 10", "18364758544493064720"}},
    {typeid(Timestamp32), {"e1 b8 4a 00", "2024-01-01T10:52:48Z"}},
    {typeid(Timestamp64), {"00 00 00 00 e1 b8 4a 00", "2024-01-01T10:52:48Z"}},
    {typeid(Fixed8x8), {"ff 01", "255.0039"}},
    {typeid(Fixed16x16), {"ff ff 00 01", "65535.0000"}},
    // Matrices have no text.
    {typeid(Matrix3x3),
     {"00010000 00000000 00000000 00000000 00010000 00000000 00000000 00000000 40000000", ""}},
    {typeid(String), {"61 62 00 63 00 00", "ab"}},
    {typeid(FixedBlock<6>), {"01 02 03 04 05 06", "(6) 010203040506"}},
    {typeid(Block), {"de ad be ef 00", "(5) [deadbeef00]"}},
    {typeid(Uint32Array), {"00000001 ffffffff", "(2) [       1, 4294967295]"}},
    {typeid(Uint64Array), {"00000000 00000001  ffffffff ffffffff", "(2) [       1, 18446744073709551615]"}},
    {typeid(FourccArray), {"69736f6d 6d703431", "(2) [isom, mp41]"}},
    // Tables show their count, edit lists also their entries.
    {typeid(TimeToSampleTable), {"00000002 0000000a 00000400 00000001 00000200", "(2) []"}},
    {typeid(CompositionOffsetTable), {"00000001 00000003 fffffc00", "(1) []"}},
    {typeid(SampleToChunkTable),
     {"00000002 00000001 00000400 00000001 00000005 00000011 00000002", "(2) []"}},
    {typeid(EditListV0Table), {"00000001 000003e8 ffffffff 0001 0000", "(1) [[1000, -1, 1, 0]]"}},
    {typeid(EditListV1Table),
     {"00000001 00000001 00000000 ffffffff ffffffff 0001 8000",
      "(1) [[4294967296, -1, 1, 32768]]"}},
};

using Fields =
    ::testing::Types<Fourcc, Uint8, Uint16, Uint24, Uint32, Uint64, Timestamp32, Timestamp64,
                     Fixed8x8, Fixed16x16, Matrix3x3, String, FixedBlock<6>, Block, Uint32Array,
                     Uint64Array, FourccArray, TimeToSampleTable, CompositionOffsetTable,
                     SampleToChunkTable, EditListV0Table, EditListV1Table>;

template <typename F> class FieldContract : public ::testing::Test {
protected:
    static Bytes sample() { return hex(samples.at(typeid(F)).first); }
};
TYPED_TEST_SUITE(FieldContract, Fields, testsupport::IndexNames);

TYPED_TEST(FieldContract, ReadsAtItsPositionAndWritesAndPrintsWhatItRead) {
    const Bytes sample = this->sample();
    // Bytes before the field and after its box must be left alone.
    io::Buffer in(testsupport::concat({hex("ee ee ee"), sample, hex("99 99 99 99")}));
    ASSERT_EQ(in.seek(3, io::SeekOrigin::begin), 0u);
    TypeParam field;
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

    io::Buffer text;
    ASSERT_EQ(field.print(&text, 0), 0u);
    EXPECT_EQ(testsupport::textOf(text), samples.at(typeid(TypeParam)).second);
}

TYPED_TEST(FieldContract, FailuresOfTheStreamArePassedOn) {
    TypeParam field;
    EXPECT_EQ(field.read(nullptr, 100), result::nullObject);
    EXPECT_EQ(field.write(nullptr), result::nullObject);
    EXPECT_EQ(field.print(nullptr, 0), result::nullObject);

    testsupport::LimitedStream failingTell(100);
    failingTell.tellResult = result::invalidIo;
    EXPECT_EQ(field.read(&failingTell, 100), result::invalidIo);

    // A stream that ends one byte before the box does.
    Bytes sample = this->sample();
    const std::uint64_t end = 1 + sample.size();
    sample.pop_back();
    io::Buffer cut(testsupport::concat({hex("ee"), sample}));
    ASSERT_EQ(cut.seek(1, io::SeekOrigin::begin), 0u);
    // String and FixedBlock take whatever the stream delivers.
    const bool takesWhatIsThere =
        std::is_same_v<TypeParam, String> || std::is_same_v<TypeParam, FixedBlock<6>>;
    EXPECT_EQ(field.read(&cut, end), takesWhatIsThere ? result::none : result::readError);

    // A full disk: fewer bytes taken than written.
    io::Buffer whole(this->sample());
    ASSERT_EQ(field.read(&whole, this->sample().size()), 0u);
    testsupport::LimitedStream full(this->sample().size() - 1);
    EXPECT_EQ(field.write(&full), result::writeError);
}

} // namespace
