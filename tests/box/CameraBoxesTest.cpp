#include "mediafmt/mp4/box/CameraBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace mediafmt::mp4::box;
using namespace boxtest;

namespace {

TEST(CameraBoxes, IdentifiersAndFirmwareVersion) {
    auto unique = readAs<UQID>(box("UQID", {hex("00112233445566778899aabbccddeeff")}));
    ASSERT_TRUE(unique);
    EXPECT_EQ(unique->uqid.value[15], 0xffu);
    EXPECT_EQ(sizeOf(*unique), 24u);

    auto firmware = readAs<BLDV>(box("BLDV", {text("FW1.02.0034"), u8(0)}));
    ASSERT_TRUE(firmware);
    EXPECT_EQ(firmware->firmwareVersion.value, std::string("FW1.02.0034\0", 12));
    EXPECT_EQ(sizeOf(*firmware), 20u);

    auto media = readAs<IDNT>(box("IDNT"));
    ASSERT_TRUE(media);
    EXPECT_TRUE(media->idnt.elements.empty());
    EXPECT_EQ(sizeOf(*media), 8u);
}

TEST(CameraBoxes, MarkTableLengthComesFromTheBoxNotTheCount) {
    auto marks = readAs<MRKS>(box("MRKS", {u32(3), u32(10), u32(20), u32(30), u32(0), u32(0)}));
    ASSERT_TRUE(marks);
    EXPECT_EQ(marks->activeMarks.value, 3u);
    EXPECT_EQ(marks->markTable.elements, (std::vector<std::uint32_t>{10, 20, 30, 0, 0}));

    auto countOnly = readAs<MRKS>(box("MRKS", {u32(2)}));
    ASSERT_TRUE(countOnly);
    EXPECT_EQ(countOnly->activeMarks.value, 2u);
    EXPECT_TRUE(countOnly->markTable.elements.empty());
}

} // namespace
