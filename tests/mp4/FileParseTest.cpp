#include "mediafmt/io/Buffer.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "mediafmt/mp4/box/HeaderBoxes.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/mp4/DiskStream.h"
#include "tests/support/SameTree.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mediafmt;
using namespace mediafmt::mp4::box;
using namespace boxtest;
using mp4test::DiskStream;

namespace {

std::vector<std::string> codesOf(const Box& parent) {
    std::vector<std::string> codes;
    for (const BoxPtr& child : parent.children)
        codes.push_back(child->type.text());
    return codes;
}

const Bytes ftypBytes = box("ftyp", {text("qt  "), u32(0x200), text("qt  ")});

Bytes moovBytes() {
    return box("moov", {mvhdV0Bytes(), box("udta", {box("TELM", {zeros(40)})})});
}

// A recording whose media data is 6 GiB, held only as its 16-byte header.
struct LargeRecording {
    DiskStream stream;
    std::uint64_t mdatOffset;
    std::uint64_t moovOffset;
    static constexpr std::uint64_t mdatSize = 6ull << 30;

    explicit LargeRecording(bool moovFirst)
        : stream(ftypBytes.size() + moovBytes().size() + mdatSize),
          mdatOffset(moovFirst ? ftypBytes.size() + moovBytes().size() : ftypBytes.size()),
          moovOffset(moovFirst ? ftypBytes.size() : ftypBytes.size() + mdatSize) {
        stream.place(0, ftypBytes);
        stream.place(mdatOffset, concat({u32(1), text("mdat"), u64(mdatSize)}));
        stream.place(moovOffset, moovBytes());
    }
};

TEST(FileParse, NeverReadsTheMediaDataWhereverTheMovieStands) {
    for (bool moovFirst : {false, true}) {
        SCOPED_TRACE(moovFirst ? "moov first" : "mdat first");
        LargeRecording file(moovFirst);
        mp4::File root;
        ASSERT_EQ(root.parse(&file.stream), 0u);
        EXPECT_EQ(codesOf(root), (moovFirst ? std::vector<std::string>{"ftyp", "moov", "mdat"}
                                            : std::vector<std::string>{"ftyp", "mdat", "moov"}));

        BoxPtr media = root.find("mdat");
        ASSERT_TRUE(std::dynamic_pointer_cast<mdat>(media));
        EXPECT_EQ(media->offset, file.mdatOffset);
        EXPECT_EQ(media->recordedSize, LargeRecording::mdatSize);
        EXPECT_TRUE(media->fields.empty());
        EXPECT_TRUE(media->children.empty());
        // At most the look-ahead after the box before it reaches into the media.
        EXPECT_LT(file.stream.unheldBytesRead, mp4::File::lookAhead);

        BoxPtr header = root.find("moov/mvhd");
        ASSERT_TRUE(std::dynamic_pointer_cast<mvhdV0>(header));
        EXPECT_EQ(header->offset, file.moovOffset + 8);
        EXPECT_EQ(root.find("moov/udta/TELM")->offset, file.moovOffset + 8 + 108 + 8);
    }
}

TEST(FileParse, AnEmptyFileEndsWithEndOfFile) {
    DiskStream empty(Bytes{});
    mp4::File root;
    EXPECT_EQ(root.parse(&empty), result::endOfFile);
    ASSERT_EQ(root.children.size(), 1u);
    EXPECT_EQ(root.children[0]->type.value, 0u);
}

TEST(FileParse, MediaDataRunningPastTheEndOfTheFileEndsTheParse) {
    DiskStream truncated(
        concat({ftypBytes, moovBytes(), boxWithSize(100000, "mdat", {zeros(50)})}));
    mp4::File root;
    EXPECT_EQ(root.parse(&truncated), 0u);
    EXPECT_EQ(codesOf(root), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
    EXPECT_EQ(root.children[2]->recordedSize, 100000u);
}

TEST(FileParse, MediaDataOfSizeZeroRunsToTheEndOfTheFile) {
    const std::vector<Bytes> headers = {
        concat({u32(0), text("mdat")}),
        concat({u32(1), text("mdat"), u64(0)}),
        // An end no file can reach.
        concat({u32(1), text("mdat"), u64(~0ull)}),
    };
    for (const Bytes& header : headers) {
        SCOPED_TRACE(toHex(header));
        // The moov after it lies inside the media data, as far as the header says.
        DiskStream in(concat({ftypBytes, header, zeros(64), moovBytes()}));
        in.readBudget = 1000;
        mp4::File root;
        EXPECT_EQ(root.parse(&in), 0u);
        EXPECT_EQ(codesOf(root), (std::vector<std::string>{"ftyp", "mdat"}));
        EXPECT_EQ(root.children[1]->recordedSize, header == headers[2] ? ~0ull : 0u);
    }
}

TEST(FileParse, AnyOtherTopLevelBoxSmallerThanItsHeaderFails) {
    struct Case {
        Bytes header;
        ResultCode expected;
    };
    const std::vector<Case> cases = {
        // Its data would start after its end.
        {concat({u32(0), text("free")}), result::endOfFile},
        {concat({u32(0), text("moov")}), result::seekBeforeBegin},
        {concat({u32(1), text("moov"), u64(12)}), result::seekBeforeBegin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toHex(c.header));
        DiskStream in(concat({ftypBytes, c.header, zeros(64), moovBytes()}));
        in.readBudget = 1000;
        mp4::File root;
        EXPECT_EQ(root.parse(&in), c.expected);
        ASSERT_EQ(root.children.size(), 2u);
        EXPECT_EQ(root.children[1]->recordedSize, c.header.size() == 8 ? 0u : 12u);
    }
}

TEST(FileParse, ABoxRunningPastTheEndOfTheFileHoldsOnlyTheBytesThere) {
    // More than the look-ahead of the ftyp is there, so the free box is read.
    const Bytes present = concat({hex("0102"), zeros(38)});
    DiskStream truncated(concat({ftypBytes, boxWithSize(200, "free", {present})}));
    mp4::File root;
    ASSERT_EQ(root.parse(&truncated), 0u);
    ASSERT_EQ(root.children.size(), 2u);
    auto filler = std::dynamic_pointer_cast<DataBox>(root.children[1]);
    ASSERT_TRUE(filler);
    EXPECT_EQ(filler->recordedSize, 200u);
    EXPECT_EQ(filler->data.elements, present);

    // A claim no memory could hold costs no more than the file.
    DiskStream corrupt(concat({ftypBytes, u32(1), text("free"), u64(1ull << 60), present}));
    mp4::File other;
    ASSERT_EQ(other.parse(&corrupt), 0u);
    ASSERT_EQ(other.children.size(), 2u);
    EXPECT_EQ(std::dynamic_pointer_cast<DataBox>(other.children[1])->data.elements, present);
}

TEST(FileParse, ANestedBoxRunningPastTheLoadedBytesFails) {
    for (const Bytes& child : {boxWithSize(200, "TELM", {zeros(8)}),
                               concat({u32(1), text("TELM"), u64(1ull << 40), zeros(8)})}) {
        SCOPED_TRACE(toHex(child));
        DiskStream in(concat({ftypBytes, box("moov", {box("udta", {child})}), zeros(400)}));
        mp4::File root;
        EXPECT_EQ(root.parse(&in), result::seekPastEnd);
        EXPECT_EQ(codesOf(root), (std::vector<std::string>{"ftyp", "moov"}));
        EXPECT_TRUE(root.children[1]->children.empty());
    }
}

TEST(FileParse, TheNextTopLevelBoxIsReadFromTheEndOfTheOneBefore) {
    // The TELM overruns its moov by 8 bytes, into the header of the free box.
    const Bytes movie = box("moov", {mvhdV0Bytes(), boxWithSize(20, "TELM", {zeros(4)})});
    DiskStream in(concat({ftypBytes, movie, box("free", {zeros(40)}), box("skip", {zeros(40)})}));
    mp4::File root;
    ASSERT_EQ(root.parse(&in), 0u);
    EXPECT_EQ(codesOf(root), (std::vector<std::string>{"ftyp", "moov", "free", "skip"}));
    EXPECT_EQ(codesOf(*root.children[1]), (std::vector<std::string>{"mvhd", "TELM"}));
    auto record = std::dynamic_pointer_cast<DataBox>(root.children[1]->children[1]);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->data.elements, concat({zeros(4), u32(48), text("free")}));
    EXPECT_EQ(root.children[2]->offset, ftypBytes.size() + movie.size());
}

TEST(FileParse, ALastBoxWithinTheLookAheadIsNotRead) {
    DiskStream in(concat({ftypBytes, moovBytes(), box("free", {zeros(8)})}));
    mp4::File root;
    ASSERT_EQ(root.parse(&in), 0u);
    EXPECT_EQ(codesOf(root), (std::vector<std::string>{"ftyp", "moov"}));
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

TEST(FileParse, ANullStreamIsRefused) {
    mp4::File root;
    EXPECT_EQ(root.parse(nullptr), result::nullObject);
}

} // namespace
