#include "mediafmt/mp4/box/BoxFactory.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/BoxReader.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/CameraBoxes.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"
#include "tests/box/CatalogueBytes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <typeinfo>
#include <vector>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace testsupport;
using mp4::type::Fourcc;
using mp4::type::fourcc;

namespace {

struct Row {
    const char* code;
    const std::type_info* made;
    bool (*hasBase)(const Box&);
    bool hasChildren;
};

template <typename T, typename Base> Row row(const char* code, bool hasChildren) {
    // A pointer cast, not a reference's address: GCC's optimiser warns that the
    // address of a reference is compared to null.
    return {code, &typeid(T),
            [](const Box& box) {
                const Box* pointer = &box;
                return dynamic_cast<const Base*>(pointer) != nullptr;
            },
            hasChildren};
}

// Every code the factory knows, with the class it makes for version 0.
const std::vector<Row>& catalogue() {
    static const std::vector<Row> rows = {
        row<ftyp, Box>("ftyp", false),
        row<moov, ContainerBox>("moov", true),
        row<mvhdV0, FullBox>("mvhd", false),
        row<trak, ContainerBox>("trak", true),
        row<tkhdV0, FullBox>("tkhd", false),
        row<edts, ContainerBox>("edts", true),
        row<elstV0, FullBox>("elst", false),
        row<mdia, ContainerBox>("mdia", true),
        row<mdhdV0, FullBox>("mdhd", false),
        row<hdlr, FullBox>("hdlr", false),
        row<minf, ContainerBox>("minf", true),
        row<dinf, ContainerBox>("dinf", true),
        row<dref, FullBox>("dref", false),
        row<udta, ContainerBox>("udta", true),
        row<meta, FullBox>("meta", true),
        row<pitm, FullBox>("pitm", false),
        row<idat, DataBox>("idat", false),
        row<stbl, ContainerBox>("stbl", true),
        row<stsd, FullBox>("stsd", true),
        row<stts, FullBox>("stts", false),
        row<stsc, FullBox>("stsc", false),
        row<stsz, FullBox>("stsz", false),
        row<stco, FullBox>("stco", false),
        row<co64, FullBox>("co64", false),
        row<ctts, FullBox>("ctts", false),
        row<stss, FullBox>("stss", false),
        row<VideoSampleDescriptionBox, SampleEntryBox>("LMCD", false),
        row<colr, Box>("colr", false),
        row<TELM, DataBox>("TELM", false),
        row<UQID, Box>("UQID", false),
        row<BLDV, Box>("BLDV", false),
        row<MRKS, Box>("MRKS", false),
        row<OPTC, DataBox>("OPTC", false),
        row<IDNT, Box>("IDNT", false),
        row<CNFG, DataBox>("CNFG", false),
        row<mp4::box::free, DataBox>("free", false),
        row<mdat, UnknownBox>("mdat", false),
    };
    return rows;
}

const std::set<std::string> versionedCodes = {"mvhd", "tkhd", "mdhd", "elst"};

TEST(BoxFactory, MakesTheCatalogueClassForEachOfItsCodes) {
    ASSERT_EQ(catalogue().size(), 37u);
    for (const Row& row : catalogue()) {
        SCOPED_TRACE(row.code);
        // The reader passes 0xFF for codes whose version it does not peek.
        const std::int8_t version = versionedCodes.count(row.code) != 0 ? 0 : -1;
        BoxPtr box = createBox(Fourcc(fourcc(row.code)), version);
        ASSERT_TRUE(box);
        const Box& made = *box; // typeid of a plain reference: no call inside it
        EXPECT_EQ(typeid(made), *row.made) << typeid(made).name();
        EXPECT_TRUE(row.hasBase(*box));
        EXPECT_EQ(box->hasChildren, row.hasChildren);
        EXPECT_EQ(box->offset, 0u);
        EXPECT_EQ(box->recordedSize, 0u);
        // A free box knows its code, since the audio repair makes one in memory.
        EXPECT_EQ(box->type.value, row.code == std::string("free") ? fourcc("free") : 0u);
    }
}

TEST(BoxFactory, PicksTheClassOfAVersionedCodeByItsVersion) {
    auto made = [](const char* code, std::int8_t version) {
        return createBox(Fourcc(fourcc(code)), version);
    };
    EXPECT_TRUE(std::dynamic_pointer_cast<mvhdV1>(made("mvhd", 1)));
    EXPECT_TRUE(std::dynamic_pointer_cast<tkhdV1>(made("tkhd", 1)));
    EXPECT_TRUE(std::dynamic_pointer_cast<mdhdV1>(made("mdhd", 1)));
    EXPECT_TRUE(std::dynamic_pointer_cast<elstV1>(made("elst", 1)));
    for (const std::string& code : versionedCodes) {
        SCOPED_TRACE(code);
        EXPECT_EQ(made(code.c_str(), 0)->version.value, 0u);
        EXPECT_EQ(made(code.c_str(), 1)->version.value, 1u);
        for (std::int8_t unsupported :
             {std::int8_t{2}, std::int8_t{127}, std::int8_t{-1}, std::int8_t{-128}})
            EXPECT_FALSE(made(code.c_str(), unsupported)) << int{unsupported};
    }
    // Other full boxes are made whatever their version.
    EXPECT_TRUE(std::dynamic_pointer_cast<ctts>(made("ctts", 1)));
    EXPECT_TRUE(std::dynamic_pointer_cast<stsz>(made("stsz", 2)));
}

TEST(BoxFactory, MakesAPlainDataBoxForEveryOtherCodeCaseSensitively) {
    for (const char* code : {"in32", "MOOV", "Moov", "uuid",
                             "\xa9"
                             "day"}) {
        BoxPtr box = createBox(Fourcc(fourcc(code)), -1);
        ASSERT_TRUE(box);
        const Box& made = *box;
        EXPECT_EQ(typeid(made), typeid(DataBox)) << code;
    }
    BoxPtr zero = createBox(Fourcc(0), 0);
    ASSERT_TRUE(zero);
    const Box& made = *zero;
    EXPECT_EQ(typeid(made), typeid(DataBox));
}

TEST(BoxFactory, PeeksTheVersionOfExactlyFourteenCodes) {
    const std::set<std::string> peeked = {"co64", "ctts", "dref", "elst", "hdlr", "mdhd", "mvhd",
                                          "stco", "stsc", "stsd", "stss", "stsz", "stts", "tkhd"};
    std::set<std::string> found;
    for (const Row& row : catalogue()) {
        if (isFullBoxType(Fourcc(fourcc(row.code))))
            found.insert(row.code);
    }
    EXPECT_EQ(found, peeked);
    for (const char* code : {"STSD", "in32", "uuid"})
        EXPECT_FALSE(isFullBoxType(Fourcc(fourcc(code)))) << code;
    EXPECT_FALSE(isFullBoxType(Fourcc(0)));
}

TEST(BoxFactory, MakesPitmWithoutPeekingItsVersion) {
    // Version 2 would be refused if it were peeked for a versioned class.
    io::Buffer in(fullBox("pitm", 2, 0, {u16(7)}));
    auto item = std::dynamic_pointer_cast<pitm>(mp4::readBox(&in));
    ASSERT_TRUE(item);
    std::uint64_t position = 0;
    ASSERT_EQ(in.tell(position), 0u);
    EXPECT_EQ(position, 8u);
    ASSERT_EQ(item->readFields(&in, 14), 0u);
    EXPECT_EQ(item->version.value, 2u);
    EXPECT_EQ(item->itemID.value, 7u);
}

TEST(BoxFactory, AnUnsupportedHeaderVersionFailsTheParse) {
    const Bytes header = zeros(96); // enough for any of the four layouts
    for (std::uint8_t version : {std::uint8_t{2}, std::uint8_t{0xFF}}) {
        const std::vector<Bytes> files = {
            box("moov", {fullBox("mvhd", version, 0, {header})}),
            box("moov", {box("trak", {fullBox("tkhd", version, 0, {header})})}),
            box("moov", {box("trak", {box("mdia", {fullBox("mdhd", version, 0, {header})})})}),
            box("moov", {box("trak", {box("edts", {fullBox("elst", version, 0, {u32(0)})})})}),
        };
        for (const Bytes& bytes : files) {
            SCOPED_TRACE(toHex(bytes).substr(0, 80));
            io::Buffer in(bytes);
            mp4::File root;
            EXPECT_EQ(root.parse(&in), result::nullObject);
            // The top-level box is kept, but nothing below it.
            ASSERT_EQ(root.children.size(), 1u);
            EXPECT_TRUE(root.children[0]->children.empty());
        }
    }
}

TEST(BoxFactory, ACapitalisedContainerIsRawDataWithNothingParsedBelowIt) {
    const Bytes payload = concat({boxtest::mvhdV0Bytes(), box("trak")});
    io::Buffer in(box("MOOV", {payload}));
    mp4::File root;
    ASSERT_EQ(root.parse(&in), 0u);
    ASSERT_EQ(root.children.size(), 1u);
    auto raw = std::dynamic_pointer_cast<DataBox>(root.children[0]);
    ASSERT_TRUE(raw);
    EXPECT_TRUE(raw->children.empty());
    EXPECT_EQ(raw->data.elements, payload);
}

} // namespace
