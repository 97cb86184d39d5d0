#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"
#include "tests/mp4/DiskStream.h"
#include "tests/support/SameTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace boxtest;
using mp4test::DiskStream;

namespace {

const Bytes ftypBytes = box("ftyp", {text("qt  "), u32(0x200), text("qt  ")});

Bytes moovBytes() {
    return box("moov", {mvhdV0Bytes(), box("udta", {box("TELM", {zeros(40)})})});
}

TEST(FileParse, NeverReadsTheMediaDataWhereverTheMovieStands) {
    constexpr std::uint64_t mdatSize = 6ull << 30;
    const Bytes movie = moovBytes();
    for (bool moovFirst : {false, true}) {
        SCOPED_TRACE(moovFirst ? "moov first" : "mdat first");
        // The media data is held only as its 16-byte header.
        const std::uint64_t mdatOffset = ftypBytes.size() + (moovFirst ? movie.size() : 0);
        const std::uint64_t moovOffset = ftypBytes.size() + (moovFirst ? 0 : mdatSize);
        DiskStream stream(ftypBytes.size() + movie.size() + mdatSize);
        stream.place(0, ftypBytes);
        stream.place(mdatOffset, concat({u32(1), text("mdat"), u64(mdatSize)}));
        stream.place(moovOffset, movie);

        mp4::File root;
        ASSERT_EQ(root.parse(&stream), 0u);
        EXPECT_EQ(shape(root), moovFirst ? "ftyp moov(mvhd udta(TELM)) mdat"
                                         : "ftyp mdat moov(mvhd udta(TELM))");
        BoxPtr media = root.find("mdat");
        ASSERT_TRUE(std::dynamic_pointer_cast<mdat>(media));
        EXPECT_EQ(media->offset, mdatOffset);
        EXPECT_EQ(media->recordedSize, mdatSize);
        // At most the look-ahead after the box before it reaches into the media.
        EXPECT_LT(stream.unheldBytesRead, mp4::File::lookAhead);
        EXPECT_EQ(root.find("moov/udta/TELM")->offset, moovOffset + 8 + 108 + 8);
    }
}

TEST(FileParse, EndsAtTheEndOfTheFileOrAtTheFirstFailure) {
    const struct {
        Bytes file;
        ResultCode expected;
        const char* shape;
    } cases[] = {
        {Bytes(), result::endOfFile, ""},
        // Media data running past the end of the file, or of size 0 (to the
        // end of the file), or with an end no file can reach: nothing after it
        // is read, not even the moov that seems to follow.
        {concat({ftypBytes, moovBytes(), boxWithSize(100000, "mdat", {zeros(50)})}), 0,
         "ftyp moov(mvhd udta(TELM)) mdat"},
        {concat({ftypBytes, u32(0), text("mdat"), zeros(64), moovBytes()}), 0, "ftyp mdat"},
        {concat({ftypBytes, u32(1), text("mdat"), u64(0), zeros(64), moovBytes()}), 0, "ftyp mdat"},
        {concat({ftypBytes, u32(1), text("mdat"), u64(~0ull), zeros(64), moovBytes()}), 0,
         "ftyp mdat"},
        // Any other box smaller than its header fails; a free box's data
        // would start after its end.
        {concat({ftypBytes, u32(0), text("free"), zeros(64), moovBytes()}), result::endOfFile,
         "ftyp free"},
        {concat({ftypBytes, u32(0), text("moov"), zeros(64), moovBytes()}), result::seekBeforeBegin,
         "ftyp moov"},
        {concat({ftypBytes, u32(1), text("moov"), u64(12), zeros(64), moovBytes()}),
         result::seekBeforeBegin, "ftyp moov"},
        // A nested box running past the loaded bytes fails before its fields.
        {concat({ftypBytes, box("moov", {box("udta", {boxWithSize(200, "TELM", {zeros(8)})})}),
                 zeros(400)}),
         result::seekPastEnd, "ftyp moov"},
        {concat({ftypBytes,
                 box("moov", {box("udta", {u32(1), text("TELM"), u64(1ull << 40), zeros(8)})}),
                 zeros(400)}),
         result::seekPastEnd, "ftyp moov"},
        // The TELM overruns its moov by 8 bytes, into the header of the free
        // box, which is still read from the moov's end.
        {concat({ftypBytes, box("moov", {mvhdV0Bytes(), boxWithSize(20, "TELM", {zeros(4)})}),
                 box("free", {zeros(40)}), box("skip", {zeros(40)})}),
         0, "ftyp moov(mvhd TELM) free skip"},
        // A last box within the look-ahead is not read.
        {concat({ftypBytes, moovBytes(), box("free", {zeros(8)})}), 0,
         "ftyp moov(mvhd udta(TELM))"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        DiskStream in(c.file);
        in.readBudget = 1000;
        mp4::File root;
        EXPECT_EQ(root.parse(&in), c.expected);
        EXPECT_EQ(shape(root), c.shape);
    }
    EXPECT_EQ(mp4::File().parse(nullptr), result::nullObject);
}

TEST(FileParse, ABoxRunningPastTheEndOfTheFileHoldsOnlyTheBytesThere) {
    // More than the look-ahead of the ftyp is there, so the free box is read.
    const Bytes present = concat({hex("0102"), zeros(38)});
    // A claim no memory could hold costs no more than the file.
    for (const Bytes& header :
         {concat({u32(200), text("free")}), concat({u32(1), text("free"), u64(1ull << 60)})}) {
        DiskStream truncated(concat({ftypBytes, header, present}));
        mp4::File root;
        ASSERT_EQ(root.parse(&truncated), 0u);
        ASSERT_EQ(root.children.size(), 2u);
        auto filler = std::dynamic_pointer_cast<DataBox>(root.children[1]);
        ASSERT_TRUE(filler);
        EXPECT_EQ(filler->data.elements, present);
    }
}

// A file is read on demand instead of loaded box by box; the parse must come
// out the same as from a stream in memory that behaves like a file, including where the bytes
// loaded for one box run out and those loaded for an earlier, longer one show through.
TEST(FileParse, AFileParsesExactlyAsTheSameBytesInMemory) {
    const Bytes movie = box("moov", {mvhdV0Bytes(), boxWithSize(20, "TELM", {zeros(4)})});
    Bytes sizeList = concat({u32(0), u32(40000)});
    for (std::uint32_t i = 0; i < 40000; ++i) {
        const Bytes size = u32(i * 2654435761u);
        sizeList.insert(sizeList.end(), size.begin(), size.end());
    }
    const Bytes bigTable = box(
        "moov",
        {box("trak",
             {box("mdia", {box("minf", {box("stbl", {fullBox("stsz", 0, 0, {sizeList})})})})})});
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"camera recording", cameraFileBytes()},
        {"a table larger than the window", concat({ftypBytes, bigTable})},
        {"the same table cut off by the end of the file",
         Bytes(bigTable.begin(), bigTable.begin() + 100000)},
        {"media data past the end of the file",
         concat({ftypBytes, moovBytes(), boxWithSize(100000, "mdat", {zeros(50)})})},
        // A file system refuses to seek to the end it claims.
        {"media data past the end of any file",
         concat(
             {ftypBytes, moovBytes(), u32(1), text("mdat"), u64(0x0500000000000000), zeros(64)})},
        {"a box past the end of the file",
         concat({ftypBytes, boxWithSize(200, "free", {hex("0102"), zeros(38)})})},
        {"a nested box past the loaded bytes",
         concat({ftypBytes, box("moov", {box("udta", {boxWithSize(200, "TELM", {zeros(8)})})}),
                 zeros(400)})},
        {"a box overrunning its container",
         concat({ftypBytes, movie, box("free", {zeros(40)}), box("skip", {zeros(40)})})},
        {"a last box within the look-ahead", concat({ftypBytes, moovBytes(), box("free", {})})},
        // The mvhd's fields need 100 bytes, 32 of which are loaded for it:
        // the rest are those loaded for the moov before it.
        {"fields beyond the bytes loaded for their box",
         concat({ftypBytes, box("moov", {box("udta", {box("TELM", {Bytes(300, 0xAB)})})}), u32(8),
                 text("mvhd"), box("free", {zeros(32)})})},
        {"an empty file", Bytes{}},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DiskStream memory(c.bytes);
        mp4::File fromMemory;
        const ResultCode expected = fromMemory.parse(&memory);

        io::File file;
        ASSERT_EQ(file.open(dir.write("clip.mov", c.bytes), io::OpenMode::read), 0u);
        mp4::File fromFile;
        EXPECT_EQ(fromFile.parse(&file), expected);
        EXPECT_TRUE(testsupport::sameTree(fromFile, fromMemory));
        // The file stands where the last region loaded into memory ended.
        std::uint64_t memoryAt = 0;
        std::uint64_t fileAt = 0;
        ASSERT_EQ(memory.tell(memoryAt), 0u);
        ASSERT_EQ(file.tell(fileAt), 0u);
        EXPECT_EQ(fileAt, memoryAt);
        file.close();
    }
}

} // namespace
