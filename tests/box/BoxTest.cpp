#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tests/box/ReadBack.h"
#include "tests/support/BoxBuilder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace testsupport;
using boxtest::readOne;
using boxtest::sizeOf;
using boxtest::written;

namespace {

// A field that claims any encoded size but writes nothing, so the header
// form of a box over 4 GiB can be checked without 4 GiB of memory.
class ClaimedSizeField final : public mp4::type::Type {
public:
    explicit ClaimedSizeField(std::uint64_t claimed) : claimed_(claimed) {}
    [[nodiscard]] ResultCode write(io::Io*) const override { return 0; }
    [[nodiscard]] ResultCode read(io::Io*, std::uint64_t) override { return 0; }
    std::uint64_t size() const override { return claimed_; }
    [[nodiscard]] ResultCode print(io::Io*, std::uint32_t) const override { return 0; }

private:
    std::uint64_t claimed_;
};

class ClaimedSizeBox final : public Box {
public:
    ClaimedSizeField field;

    explicit ClaimedSizeBox(std::uint64_t payload) : field(payload) {
        type.value = mp4::type::fourcc("huge");
        addField(&field, "field");
    }
};

TEST(Box, EmptyBoxIsItsEightByteHeader) {
    auto empty = std::make_shared<ContainerBox>();
    empty->type.value = mp4::type::fourcc("udta");
    EXPECT_EQ(sizeOf(*empty), 8u);
    EXPECT_EQ(written(*empty), box("udta"));
}

TEST(Box, FullBoxWritesVersionAndFlagsAfterTheHeader) {
    FullBox full;
    full.type.value = mp4::type::fourcc("abcd");
    full.version.value = 1;
    full.flags.value = 0x000001;
    EXPECT_EQ(toHex(written(full)), "0000000c"
                                    "61626364"
                                    "01000001");
}

TEST(Box, HeaderTakesSixtyFourBitsOnlyAboveTheThirtyTwoBitRange) {
    ClaimedSizeBox largest(0xFFFFFFFFull - 8);
    EXPECT_EQ(sizeOf(largest), 0xFFFFFFFFull);
    EXPECT_EQ(toHex(written(largest)), "ffffffff"
                                       "68756765");

    ClaimedSizeBox oneMore(0xFFFFFFFFull - 7);
    EXPECT_EQ(sizeOf(oneMore), 4294967304ull);
    EXPECT_EQ(toHex(written(oneMore)), "00000001"
                                       "68756765"
                                       "0000000100000008");
}

TEST(Box, MdatWritesOnlyItsHeaderWithTheRecordedSize) {
    mdat media;
    media.type.value = mp4::type::fourcc("mdat");
    media.recordedSize = 5ull << 30;
    EXPECT_EQ(sizeOf(media), 5ull << 30);
    EXPECT_EQ(toHex(written(media)), "00000001"
                                     "6d646174"
                                     "0000000140000000");
    media.recordedSize = 1000;
    EXPECT_EQ(toHex(written(media)), "000003e8"
                                     "6d646174");
}

TEST(Box, ASixtyFourBitHeaderWhoseSizeFitsIsWrittenBackWithEightBytes) {
    BoxPtr read = readOne(box64("free", {text("abcd")}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->recordedSize, 20u);
    EXPECT_EQ(written(*read), box("free", {text("abcd")}));
}

TEST(Box, WritingWithoutChildrenStillCountsThemInTheHeader) {
    BoxPtr read = readOne(box("udta", {box("abcd", {text("xy")})}));
    ASSERT_TRUE(read);
    io::Buffer out;
    ASSERT_EQ(read->write(&out, false), 0u);
    EXPECT_EQ(toHex(out.bytes()), "00000012"
                                  "75647461");
}

TEST(Box, NullArgumentsGiveNullObject) {
    ContainerBox container;
    EXPECT_EQ(container.readFields(nullptr, 8), result::nullObject);
    EXPECT_EQ(container.readChildren(nullptr, 8), result::nullObject);
    EXPECT_EQ(container.write(nullptr, true), result::nullObject);
    EXPECT_EQ(container.addChild(nullptr), result::nullObject);
    auto child = std::make_shared<DataBox>();
    ASSERT_EQ(container.addChild(child), 0u);
    EXPECT_EQ(container.insertChildAfter(nullptr, child), result::nullObject);
    EXPECT_EQ(container.insertChildAfter(std::make_shared<DataBox>(), nullptr), result::nullObject);
    EXPECT_EQ(container.children.size(), 1u);
}

TEST(Box, InsertChildAfterPlacesTheChildRightAfterItsSibling) {
    ContainerBox parent;
    auto first = std::make_shared<DataBox>();
    auto last = std::make_shared<DataBox>();
    ASSERT_EQ(parent.addChild(first), 0u);
    ASSERT_EQ(parent.addChild(last), 0u);
    EXPECT_EQ(first->parent, &parent);

    auto filler = std::make_shared<mp4::box::free>();
    ASSERT_EQ(parent.insertChildAfter(filler, first), 0u);
    ASSERT_EQ(parent.children.size(), 3u);
    EXPECT_EQ(parent.children[1], filler);
    EXPECT_EQ(parent.children[2], last);
    EXPECT_EQ(filler->parent, &parent);
}

TEST(Box, InsertChildAfterAForeignSiblingChangesNothing) {
    ContainerBox parent;
    ContainerBox other;
    auto own = std::make_shared<DataBox>();
    auto foreign = std::make_shared<DataBox>();
    ASSERT_EQ(parent.addChild(own), 0u);
    ASSERT_EQ(other.addChild(foreign), 0u);

    auto child = std::make_shared<DataBox>();
    EXPECT_EQ(parent.insertChildAfter(child, foreign), result::error);
    EXPECT_EQ(parent.children, std::vector<BoxPtr>{own});
    EXPECT_EQ(other.children, std::vector<BoxPtr>{foreign});
    EXPECT_EQ(child->parent, nullptr);
}

} // namespace
