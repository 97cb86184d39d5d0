#include "mediafmt/mp4/BoxReader.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/CameraBoxes.h"
#include "mediafmt/mp4/box/SampleTableBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"
#include "tests/mp4/DiskStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace boxtest;
using mp4test::DiskStream;

namespace {

std::uint64_t positionOf(io::Io& stream) {
    std::uint64_t position = 0;
    EXPECT_EQ(stream.tell(position), 0u);
    return position;
}

// Reads the box at the start of the stream and then its content, as the
// child loop does; the code of the first step that fails.
ResultCode readWhole(io::Io& stream, BoxPtr& box) {
    box = mp4::readBox(&stream);
    if (!box)
        return result::nullObject;
    const std::uint64_t end = box->offset + box->recordedSize;
    if (ResultCode rc = box->readFields(&stream, end); rc != 0)
        return rc;
    return box->readChildren(&stream, end);
}

// depth udta boxes, each the only child of the one before.
Bytes nested(std::uint32_t depth) {
    Bytes bytes;
    for (std::uint32_t level = 0; level < depth; ++level) {
        const Bytes header = concat({u32(8 * (depth - level)), text("udta")});
        bytes.insert(bytes.end(), header.begin(), header.end());
    }
    return bytes;
}

TEST(ReadBox, ReadsASixtyFourBitSizeAndStopsOnThePayload) {
    io::Buffer in(concat({zeros(5), box64("abcd", {text("wxyz")})}));
    ASSERT_EQ(in.seek(5, io::SeekOrigin::begin), 0u);
    BoxPtr box = mp4::readBox(&in);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->offset, 5u);
    EXPECT_EQ(box->recordedSize, 20u);
    EXPECT_EQ(box->type.text(), "abcd");
    EXPECT_EQ(box->type.offset, 9u);
    EXPECT_EQ(positionOf(in), 21u);
}

TEST(ReadBox, LeavesTheStreamOnAPeekedVersionByte) {
    io::Buffer in(fullBox("stsd", 1, 0, {u32(0)}));
    BoxPtr box = mp4::readBox(&in);
    ASSERT_TRUE(std::dynamic_pointer_cast<stsd>(box));
    EXPECT_EQ(positionOf(in), 8u);
    ASSERT_EQ(box->readFields(&in, 16), 0u);
    EXPECT_EQ(box->version.value, 1u);
}

TEST(ReadBox, AHeaderCutShortGivesNoBox) {
    for (const char* bytes :
         {"000000", "00000010 6d6f6f", "00000001 61626364 0000", "00000010 73747364"}) {
        io::Buffer in(hex(bytes));
        EXPECT_FALSE(mp4::readBox(&in)) << bytes;
    }
}

TEST(ChildLoop, SkipsBytesAfterTheLastFieldAndReadsTheNextSiblingFromTheEnd) {
    // A video entry with an extension box appended after its 80 payload bytes.
    const Bytes plain = lmcdBytes(1);
    const Bytes entry = concat({u32(88 + 19), Bytes(plain.begin() + 4, plain.end()),
                                box("colr", {text("nclx"), u16(1), u16(1), u16(1), u8(0)})});
    auto table = readOne(
        box("stbl", {fullBox("stsd", 0, 0, {u32(2), entry, in32Bytes()}), sttsBytes(3, 1001)}));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->children.size(), 2u);
    const BoxPtr& descriptions = table->children[0];
    ASSERT_EQ(descriptions->children.size(), 2u);
    EXPECT_TRUE(descriptions->children[0]->children.empty());
    EXPECT_EQ(sizeOf(*descriptions->children[0]), 88u);
    EXPECT_EQ(descriptions->children[1]->type.text(), "in32");
    EXPECT_EQ(descriptions->children[1]->offset, 8 + 16 + entry.size());
    auto times = std::dynamic_pointer_cast<stts>(table->children[1]);
    ASSERT_TRUE(times);
    ASSERT_EQ(times->timeToSampleTable.elements.size(), 1u);
    EXPECT_EQ(times->timeToSampleTable.elements[0].sampleDelta, 1001u);
}

TEST(ChildLoop, AnStsdCoveringOnlyItsHeaderReadsOnAndTheNextBoxIsIntact) {
    auto table = readOne(box("stbl", {boxWithSize(8, "stsd"), sttsBytes(3, 1001)}));
    ASSERT_TRUE(table);
    ASSERT_EQ(table->children.size(), 2u);
    EXPECT_TRUE(table->children[0]->children.empty());
    auto times = std::dynamic_pointer_cast<stts>(table->children[1]);
    ASSERT_TRUE(times);
    EXPECT_EQ(times->offset, 16u);
    ASSERT_EQ(times->timeToSampleTable.elements.size(), 1u);
    EXPECT_EQ(times->timeToSampleTable.elements[0].sampleDelta, 1001u);
}

TEST(ChildLoop, FewerBytesThanAHeaderAtTheEndArePaddingAndSkipped) {
    // QuickTime ends user data with a 32-bit zero; read as a header it would
    // take its code from the next box.
    auto outer = readOne(box("moov", {box("udta", {box("IDNT"), u32(0)}), box("trak")}));
    ASSERT_TRUE(outer);
    ASSERT_EQ(outer->children.size(), 2u);
    EXPECT_EQ(outer->children[0]->children.size(), 1u);
    EXPECT_EQ(outer->children[1]->type.text(), "trak");
}

TEST(ChildLoop, AChildEndingPastItsParentEndsTheParentsLoop) {
    // The TELM claims 8 bytes beyond its udta: the header of the trak.
    const Bytes inner = box("udta", {boxWithSize(28, "TELM", {hex("01020304")}), box("IDNT")});
    auto outer = readOne(box("moov", {inner, box("trak")}));
    ASSERT_TRUE(outer);
    ASSERT_EQ(outer->children.size(), 2u);
    ASSERT_EQ(outer->children[0]->children.size(), 1u);
    auto record = std::dynamic_pointer_cast<TELM>(outer->children[0]->children[0]);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->data.elements.size(), 20u);
    EXPECT_EQ(outer->children[1]->type.text(), "trak");
}

TEST(ChildLoop, AChildEndingBeyondTheStreamFailsBeforeItsFieldsAreRead) {
    const std::vector<Bytes> children = {
        boxWithSize(100, "TELM", {hex("0102")}),
        concat({u32(1), text("TELM"), u64(1ull << 40)}),
        concat({u32(1), text("stsz"), u64(1ull << 40), zeros(12)}),
        concat({u32(1), text("udta"), u64(~0ull)}),
    };
    for (const Bytes& child : children) {
        SCOPED_TRACE(toHex(child));
        io::Buffer in(box("moov", {child}));
        BoxPtr outer;
        EXPECT_EQ(readWhole(in, outer), result::seekPastEnd);
        EXPECT_TRUE(outer->children.empty());
    }
}

TEST(ChildLoop, AChildSmallerThanItsHeaderFailsWithoutReadingAgain) {
    const std::vector<Bytes> children = {
        concat({u32(0), text("free"), zeros(8)}),
        concat({u32(4), text("trak"), zeros(8)}),
        concat({u32(1), text("trak"), u64(0), zeros(8)}),
        concat({u32(1), text("trak"), u64(15), zeros(8)}),
    };
    for (const Bytes& child : children) {
        SCOPED_TRACE(toHex(child));
        DiskStream in(box("moov", {child, box("trak")}));
        in.readBudget = 1000;
        BoxPtr outer;
        EXPECT_EQ(readWhole(in, outer), result::seekBeforeBegin);
        EXPECT_TRUE(outer->children.empty());
    }
}

TEST(ChildLoop, NestingIsBoundedAtSixtyFourLevels) {
    io::Buffer deepest(nested(64));
    mp4::File allowed;
    ASSERT_EQ(allowed.parse(&deepest), 0u);
    std::size_t depth = 0;
    for (const Box* at = &allowed; !at->children.empty(); at = at->children[0].get())
        ++depth;
    EXPECT_EQ(depth, 64u);

    io::Buffer tooDeep(nested(65));
    mp4::File refused;
    EXPECT_EQ(refused.parse(&tooDeep), result::error);

    // Far deeper input fails the same way instead of exhausting the stack.
    io::Buffer abusive(nested(5000));
    mp4::File alsoRefused;
    EXPECT_EQ(alsoRefused.parse(&abusive), result::error);
}

} // namespace
