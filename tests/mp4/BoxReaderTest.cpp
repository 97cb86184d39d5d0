#include "mediafmt/mp4/box/BoxReader.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/mp4/File.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"
#include "tests/mp4/DiskStream.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace boxtest;
using mp4test::DiskStream;

namespace {

TEST(ReadBox, ReadsASixtyFourBitSizeAndStopsOnThePayload) {
    io::Buffer in(concat({zeros(5), box64("abcd", {text("wxyz")})}));
    ASSERT_EQ(in.seek(5, io::SeekOrigin::begin), 0u);
    BoxPtr box = mp4::box::readBox(&in);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->offset, 5u);
    EXPECT_EQ(box->recordedSize, 20u);
    EXPECT_EQ(box->type.text(), "abcd");
    EXPECT_EQ(box->type.offset, 9u);
    std::uint64_t position = 0;
    ASSERT_EQ(in.tell(position), 0u);
    EXPECT_EQ(position, 21u);

    // A header cut short, including a peeked version byte, gives no box.
    for (const char* cut :
         {"000000", "00000010 6d6f6f", "00000001 61626364 0000", "00000010 73747364"}) {
        io::Buffer partial(hex(cut));
        EXPECT_FALSE(mp4::box::readBox(&partial)) << cut;
    }
}

TEST(ChildLoop, ReadsEachChildFromTheEndOfTheOneBefore) {
    // A video entry with an extension box after its 80 payload bytes: the
    // bytes after a box's fields are skipped.
    const Bytes plain = lmcdBytes(1);
    const Bytes extended = concat({u32(88 + 19), Bytes(plain.begin() + 4, plain.end()),
                                   box("colr", {text("nclx"), u16(1), u16(1), u16(1), u8(0)})});
    const struct {
        Bytes parent;
        const char* shape;
    } cases[] = {
        {box("stbl", {fullBox("stsd", 0, 0, {u32(2), extended, in32Bytes()}), sttsBytes(3, 1)}),
         "stsd(LMCD in32) stts"},
        // Its entryCount overruns it into the next header, which is still read.
        {box("stbl", {boxWithSize(8, "stsd"), sttsBytes(3, 1001)}), "stsd stts"},
        // Fewer bytes than a header are padding, such as the 32-bit zero that
        // ends QuickTime user data; read as a header it would take its code
        // from the next box.
        {box("moov", {box("udta", {box("IDNT"), u32(0)}), box("trak")}), "udta(IDNT) trak"},
        // A child ending past its parent (here over the trak) ends the
        // parent's loop; the trak is read from the parent's end.
        {box("moov", {box("udta", {boxWithSize(28, "TELM", {hex("01020304")}), box("IDNT")}),
                      box("trak"), box("free")}),
         "udta(TELM) trak free"},
    };
    for (const auto& c : cases) {
        BoxPtr parent = readOne(c.parent);
        ASSERT_TRUE(parent);
        EXPECT_EQ(shape(*parent), c.shape);
    }
}

TEST(ChildLoop, ACorruptChildFailsBeforeItsFieldsAndWithoutReadingAgain) {
    const Bytes header = zeros(96); // enough for any header box's fields
    const struct {
        Bytes child;
        ResultCode expected;
    } cases[] = {
        // Ending beyond the stream: its fields would allocate for the claimed size.
        {boxWithSize(100, "TELM", {hex("0102")}), result::seekPastEnd},
        {concat({u32(1), text("TELM"), u64(1ull << 40)}), result::seekPastEnd},
        {concat({u32(1), text("stsz"), u64(1ull << 40), zeros(12)}), result::seekPastEnd},
        {concat({u32(1), text("udta"), u64(~0ull)}), result::seekPastEnd},
        // Smaller than its header: no progress, so the same header again.
        {concat({u32(0), text("free"), zeros(8)}), result::seekBeforeBegin},
        {concat({u32(4), text("trak"), zeros(8)}), result::seekBeforeBegin},
        {concat({u32(1), text("trak"), u64(0), zeros(8)}), result::seekBeforeBegin},
        {concat({u32(1), text("trak"), u64(15), zeros(8)}), result::seekBeforeBegin},
        // A version no class models.
        {fullBox("mvhd", 2, 0, {header}), result::nullObject},
        {fullBox("tkhd", 0xFF, 0, {header}), result::nullObject},
        {fullBox("mdhd", 2, 0, {header}), result::nullObject},
        {fullBox("elst", 0xFF, 0, {u32(0)}), result::nullObject},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toHex(c.child));
        DiskStream in(box("moov", {c.child, box("trak")}));
        in.readBudget = 1000;
        BoxPtr outer;
        EXPECT_EQ(readWhole(in, outer), c.expected);
        EXPECT_TRUE(outer->children.empty());
    }
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

TEST(ChildLoop, NestingIsBoundedAtSixtyFourLevels) {
    io::Buffer deepest(nested(64));
    mp4::File allowed;
    ASSERT_EQ(allowed.parse(&deepest), 0u);
    std::size_t depth = 0;
    for (const Box* at = &allowed; !at->children.empty(); at = at->children[0].get())
        ++depth;
    EXPECT_EQ(depth, 64u);

    // Far deeper input fails the same way instead of exhausting the stack.
    for (std::uint32_t tooDeep : {65u, 5000u}) {
        io::Buffer in(nested(tooDeep));
        mp4::File refused;
        EXPECT_EQ(refused.parse(&in), result::error) << tooDeep;
    }
}

} // namespace
