#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"

#include <gtest/gtest.h>

using namespace mediafmt::mp4::box;
using namespace boxtest;

namespace {

TEST(SampleEntryBoxes, LmcdReadsItsEightyPayloadBytesIntoSeventeenFields) {
    auto entry = readAs<VideoSampleDescriptionBox>(lmcdBytes(2));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fields.size(), 17u);
    EXPECT_EQ(entry->dataReferenceIndex.value, 2u);
    EXPECT_EQ(entry->SampleEntryBox::reserved.value[5], 0xa5);
    EXPECT_EQ(entry->vendor.text(), "lmcd");
    EXPECT_EQ(entry->width.value, 3840u);
    EXPECT_EQ(entry->height.value, 2160u);
    EXPECT_EQ(entry->compressorName.value[0], 8u);
    EXPECT_EQ(entry->compressorName.value[8], 'e');
    EXPECT_EQ(entry->colorTableID.value, 65535u);
    EXPECT_EQ(entry->VideoSampleDescriptionBox::reserved.value, 0x0102u);
}

TEST(SampleEntryBoxes, SettingTheDataReferenceIndexChangesOnlyBytesFourteenAndFifteen) {
    const Bytes bytes = lmcdBytes(0x0203);
    auto entry = readAs<VideoSampleDescriptionBox>(bytes);
    ASSERT_TRUE(entry);
    entry->dataReferenceIndex.value = 1;
    Bytes expected = bytes;
    expected[14] = 0x00;
    expected[15] = 0x01;
    EXPECT_EQ(toHex(written(*entry)), toHex(expected));
}

TEST(SampleEntryBoxes, ColrReadsAllFiveFieldsInNineteenBytes) {
    auto colour = readAs<colr>(box("colr", {text("nclc"), u16(1), u16(2), u16(6), u8(0x80)}));
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->parameterType.text(), "nclc");
    EXPECT_EQ(colour->transferFunctionIndex.value, 2u);
    EXPECT_EQ(colour->matrixIndex.value, 6u);
    EXPECT_EQ(colour->fullRangeFlag.value, 0x80u);
}

} // namespace
