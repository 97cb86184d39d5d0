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

TEST(BoxHeader, TakesSixtyFourBitsOnlyAboveTheThirtyTwoBitRange) {
    ClaimedSizeBox largest(0xFFFFFFFFull - 8);
    EXPECT_EQ(sizeOf(largest), 0xFFFFFFFFull);
    EXPECT_EQ(written(largest), hex("ffffffff 68756765"));
    ClaimedSizeBox oneMore(0xFFFFFFFFull - 7);
    EXPECT_EQ(sizeOf(oneMore), 4294967304ull);
    EXPECT_EQ(written(oneMore), hex("0000000168756765 0000000100000008"));

    // Media data is written as its header alone, with the size it was read with.
    mdat media;
    media.type.value = mp4::type::fourcc("mdat");
    media.recordedSize = 5ull << 30;
    EXPECT_EQ(sizeOf(media), 5ull << 30);
    EXPECT_EQ(written(media), hex("000000016d646174 0000000140000000"));
    media.recordedSize = 1000;
    EXPECT_EQ(written(media), hex("000003e8 6d646174"));

    // A 64-bit header whose size fits is written back with 8 bytes.
    BoxPtr read = readOne(box64("free", {text("abcd")}));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->recordedSize, 20u);
    EXPECT_EQ(written(*read), box("free", {text("abcd")}));
}

TEST(BoxHeader, WritingWithoutChildrenStillCountsThemInTheSize) {
    BoxPtr read = readOne(box("udta", {box("abcd", {text("xy")})}));
    ASSERT_TRUE(read);
    io::Buffer out;
    ASSERT_EQ(read->write(&out, false), 0u);
    EXPECT_EQ(out.bytes(), hex("00000012 75647461"));
}

TEST(ChildList, InsertChildAfterPlacesTheChildRightAfterItsSiblingOnly) {
    ContainerBox parent;
    auto first = std::make_shared<DataBox>();
    auto last = std::make_shared<DataBox>();
    ASSERT_EQ(parent.addChild(first), 0u);
    ASSERT_EQ(parent.addChild(last), 0u);
    EXPECT_EQ(first->parent, &parent);

    auto filler = std::make_shared<mp4::box::free>();
    ASSERT_EQ(parent.insertChildAfter(filler, first), 0u);
    EXPECT_EQ(parent.children, (std::vector<BoxPtr>{first, filler, last}));
    EXPECT_EQ(filler->parent, &parent);

    // A sibling of another parent, or none at all, changes nothing.
    ContainerBox other;
    auto foreign = std::make_shared<DataBox>();
    ASSERT_EQ(other.addChild(foreign), 0u);
    auto child = std::make_shared<DataBox>();
    EXPECT_EQ(parent.insertChildAfter(child, foreign), result::error);
    EXPECT_EQ(parent.insertChildAfter(nullptr, first), result::nullObject);
    EXPECT_EQ(parent.insertChildAfter(child, nullptr), result::nullObject);
    EXPECT_EQ(parent.addChild(nullptr), result::nullObject);
    EXPECT_EQ(parent.children, (std::vector<BoxPtr>{first, filler, last}));
    EXPECT_EQ(other.children, std::vector<BoxPtr>{foreign});
    EXPECT_EQ(child->parent, nullptr);
}

} // namespace
