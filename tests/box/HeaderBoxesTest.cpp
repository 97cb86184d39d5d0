#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"

#include <gtest/gtest.h>

using namespace mediafmt::mp4::box;
using namespace boxtest;

namespace {

TEST(HeaderBoxes, FtypTakesEveryFurtherFourBytesAsABrand) {
    auto bare = readAs<ftyp>(box("ftyp", {text("isom"), u32(0)}));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->majorBrand.text(), "isom");
    EXPECT_TRUE(bare->compatibleBrands.elements.empty());

    auto branded =
        readAs<ftyp>(box("ftyp", {text("qt  "), u32(0x200), text("qt  "), text("isom")}));
    ASSERT_TRUE(branded);
    EXPECT_EQ(branded->minorVersion.value, 0x200u);
    ASSERT_EQ(branded->compatibleBrands.elements.size(), 2u);
    EXPECT_EQ(branded->compatibleBrands.elements[1].text(), "isom");
}

TEST(HeaderBoxes, MvhdVersionZeroReadsSeventeenFieldsToItsLastByte) {
    auto header = readAs<mvhdV0>(mvhdV0Bytes(0x01020304));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->fields.size(), 17u);
    EXPECT_EQ(header->timescale.value, 600u);
    EXPECT_EQ(header->duration.value, 36000u);
    EXPECT_EQ(header->reserved1.value[8], 0x09);
    EXPECT_EQ(header->currentTime.value, 16u);
    EXPECT_EQ(header->nextTrackID.value, 0x01020304u);
}

TEST(HeaderBoxes, MvhdVersionOneHasWideTimesAndOnePreDefinedArea) {
    auto header = readAs<mvhdV1>(mvhdV1Bytes(0x01020304));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->fields.size(), 12u);
    EXPECT_EQ(header->fields[10].name, "preDefined");
    EXPECT_EQ(header->creationTime.value, 0x00000001DA1B2C3Dull);
    EXPECT_EQ(header->duration.value, 0x0000000123456789ull);
    EXPECT_EQ(header->preDefined.value[0], 0xa1);
    EXPECT_EQ(header->preDefined.value[23], 0xf4);
    EXPECT_EQ(header->nextTrackID.value, 0x01020304u);
}

TEST(HeaderBoxes, TkhdVersionsDifferInTheWidthOfTimesAndDuration) {
    auto narrow = readAs<tkhdV0>(tkhdV0Bytes(7));
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->trackID.value, 7u);
    EXPECT_EQ(narrow->duration.value, 36000u);
    EXPECT_EQ(narrow->reserved2.value[7], 0x08);
    EXPECT_EQ(narrow->alternateGroup.value, 1u);
    EXPECT_DOUBLE_EQ(narrow->width.value, 3840.0);

    auto wide = readAs<tkhdV1>(tkhdV1Bytes(9));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->creationTime.value, 0x00000001DA1B2C3Dull);
    EXPECT_EQ(wide->trackID.value, 9u);
    EXPECT_EQ(wide->duration.value, 0x0000000123456789ull);
}

TEST(HeaderBoxes, MdhdVersionsDifferInTheWidthOfTimesAndDuration) {
    auto narrow = readAs<mdhdV0>(mdhdV0Bytes(30000));
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->timescale.value, 30000u);

    auto wide = readAs<mdhdV1>(mdhdV1Bytes(48000));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->modificationTime.value, 0x00000001DA1B2C3Eull);
    EXPECT_EQ(wide->timescale.value, 48000u);
    EXPECT_EQ(wide->duration.value, 0x0000000123456789ull);
    EXPECT_EQ(wide->language.value, 0x55c4u);
}

TEST(HeaderBoxes, HdlrNameKeepsEveryRemainingByte) {
    auto cName = readAs<hdlr>(hdlrBytes("vide", concat({text("VideoHandler"), u8(0)})));
    ASSERT_TRUE(cName);
    EXPECT_EQ(cName->handlerType.text(), "vide");
    EXPECT_EQ(cName->name.value, std::string("VideoHandler\0", 13));

    auto zero = readAs<hdlr>(hdlrBytes("vide", u8(0)));
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->name.value, std::string(1, '\0'));

    auto none = readAs<hdlr>(hdlrBytes("vide", {}));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->name.value.empty());
}

TEST(HeaderBoxes, ElstEntriesAreTwelveOrTwentyBytesWithASignedMediaTime) {
    auto narrow = readAs<elstV0>(
        fullBox("elst", 0, 0, {u32(1), u32(36000), u32(0xFFFFFFFF), u16(1), u16(0)}));
    ASSERT_TRUE(narrow);
    EXPECT_EQ(narrow->recordedSize, 28u);
    ASSERT_EQ(narrow->editListTable.elements.size(), 1u);
    EXPECT_EQ(narrow->editListTable.elements[0].mediaTime, -1);
    EXPECT_EQ(narrow->editListTable.elements[0].mediaRateInteger, 1u);

    auto wide = readAs<elstV1>(
        fullBox("elst", 1, 0, {u32(1), u64(0x100000000), u64(~0ull), u16(1), u16(0)}));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->recordedSize, 36u);
    ASSERT_EQ(wide->editListTable.elements.size(), 1u);
    EXPECT_EQ(wide->editListTable.elements[0].segmentDuration, 0x100000000ull);
    EXPECT_EQ(wide->editListTable.elements[0].mediaTime, -1);
}

TEST(HeaderBoxes, DrefKeepsItsEntriesAsRawData) {
    auto references = readAs<dref>(drefBytes());
    ASSERT_TRUE(references);
    EXPECT_TRUE(references->children.empty());
    EXPECT_EQ(references->data.elements, concat({u32(1), fullBox("url ", 0, 1)}));
}

TEST(HeaderBoxes, MetaReadsItsChildrenAfterVersionAndFlags) {
    auto metadata =
        readAs<meta>(fullBox("meta", 0, 0, {hdlrBytes("mdta", u8(0)), box("keys", {zeros(8)})}));
    ASSERT_TRUE(metadata);
    ASSERT_EQ(metadata->children.size(), 2u);
    EXPECT_EQ(metadata->children[0]->offset, 12u);
    EXPECT_TRUE(std::dynamic_pointer_cast<hdlr>(metadata->children[0]));
    EXPECT_EQ(metadata->children[1]->type.text(), "keys");
}

} // namespace
