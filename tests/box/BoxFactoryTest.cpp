#include "mediafmt/mp4/box/BoxFactory.h"
#include "mediafmt/mp4/box/CameraBoxes.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <typeinfo>

using namespace mediafmt::mp4::box;
using mediafmt::mp4::type::Fourcc;
using mediafmt::mp4::type::fourcc;

namespace {

// Every code the catalogue knows, with the class for version 0 and, where
// the layout depends on the version, for version 1; codes it does not know,
// compared case-sensitively, are kept as raw data.
struct Row {
    const char* code;
    const std::type_info* made;
    const std::type_info* version1;
};
template <typename T, typename V1 = void> Row row(const char* code) {
    return {code, &typeid(T), std::is_void_v<V1> ? nullptr : &typeid(V1)};
}
const Row rows[] = {row<ftyp>("ftyp"),
                    row<moov>("moov"),
                    row<mvhdV0, mvhdV1>("mvhd"),
                    row<trak>("trak"),
                    row<tkhdV0, tkhdV1>("tkhd"),
                    row<edts>("edts"),
                    row<elstV0, elstV1>("elst"),
                    row<mdia>("mdia"),
                    row<mdhdV0, mdhdV1>("mdhd"),
                    row<hdlr>("hdlr"),
                    row<minf>("minf"),
                    row<dinf>("dinf"),
                    row<dref>("dref"),
                    row<udta>("udta"),
                    row<meta>("meta"),
                    row<pitm>("pitm"),
                    row<idat>("idat"),
                    row<stbl>("stbl"),
                    row<stsd>("stsd"),
                    row<stts>("stts"),
                    row<stsc>("stsc"),
                    row<stsz>("stsz"),
                    row<stco>("stco"),
                    row<co64>("co64"),
                    row<ctts>("ctts"),
                    row<stss>("stss"),
                    row<VideoSampleDescriptionBox>("LMCD"),
                    row<colr>("colr"),
                    row<TELM>("TELM"),
                    row<UQID>("UQID"),
                    row<BLDV>("BLDV"),
                    row<MRKS>("MRKS"),
                    row<OPTC>("OPTC"),
                    row<IDNT>("IDNT"),
                    row<CNFG>("CNFG"),
                    row<mediafmt::mp4::box::free>("free"),
                    row<mdat>("mdat"),
                    row<DataBox>("in32"),
                    row<DataBox>("MOOV"),
                    row<DataBox>("Moov"),
                    row<DataBox>("STSD"),
                    row<DataBox>("")};

// The codes whose version the reader peeks before making the box.
const std::set<std::string> peeked = {"co64", "ctts", "dref", "elst", "hdlr", "mdhd", "mvhd",
                                      "stco", "stsc", "stsd", "stss", "stsz", "stts", "tkhd"};

TEST(BoxFactory, MakesTheClassForEachCodeAndVersion) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        const Fourcc code(fourcc(row.code));
        EXPECT_EQ(isFullBoxType(code), peeked.count(row.code) == 1);
        // The reader passes 0xFF for codes whose version it does not peek.
        for (std::int8_t version : {std::int8_t{0}, std::int8_t{1}, std::int8_t{2},
                                    std::int8_t{127}, std::int8_t{-1}, std::int8_t{-128}}) {
            SCOPED_TRACE(int{version});
            BoxPtr box = createBox(code, version);
            const std::type_info* expected = row.made;
            // Other versions of a code whose layout depends on it are refused.
            if (row.version1 != nullptr && version != 0)
                expected = version == 1 ? row.version1 : nullptr;
            if (expected == nullptr) {
                EXPECT_FALSE(box);
                continue;
            }
            ASSERT_TRUE(box);
            const Box& made = *box; // typeid of a plain reference: no call inside it
            EXPECT_EQ(typeid(made), *expected) << typeid(made).name();
        }
    }
    // The audio repair makes a free box in memory, so it knows its own code.
    EXPECT_EQ(createBox(Fourcc(fourcc("free")), -1)->type.text(), "free");
}

} // namespace
