#include "mediafmt/io/Buffer.h"
#include "tests/box/CatalogueBytes.h"
#include "tests/box/ReadBack.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace boxtest;

namespace {

Bytes colrBytes() {
    return box("colr", {text("nclx"), u16(1), u16(2), u16(6), u8(0x80)});
}

struct Sample {
    std::string name;
    Bytes bytes;
};

// One real-shaped instance of every box the catalogue models, plus boxes it
// keeps as raw data; each must be written back to exactly its own bytes.
std::vector<Sample> samples() {
    return {
        {"ftyp without brands", box("ftyp", {text("isom"), u32(0)})},
        {"ftyp with two brands",
         box("ftyp", {text("qt  "), u32(0x200), text("qt  "), text("isom")})},
        {"mvhd v0", mvhdV0Bytes()},
        {"mvhd v1", mvhdV1Bytes()},
        {"tkhd v0", tkhdV0Bytes(1)},
        {"tkhd v1", tkhdV1Bytes(2)},
        {"mdhd v0", mdhdV0Bytes(30000)},
        {"mdhd v1", mdhdV1Bytes(48000)},
        {"hdlr with a C name", hdlrBytes("vide", concat({text("VideoHandler"), u8(0)}))},
        {"hdlr with a counted name", hdlrBytes("soun", concat({u8(5), text("Sound")}))},
        {"hdlr with a zero name", hdlrBytes("vide", u8(0))},
        {"hdlr without a name", hdlrBytes("vide", {})},
        {"elst v0", fullBox("elst", 0, 0, {u32(1), u32(36000), u32(0xFFFFFFFF), u16(1), u16(0)})},
        {"elst v1", fullBox("elst", 1, 0, {u32(1), u64(36000), u64(~0ull), u16(1), u16(0)})},
        {"dref with a self-reference", drefBytes()},
        {"pitm", fullBox("pitm", 1, 0, {u16(0x1234)})},
        {"idat", box("idat", {text("item data")})},
        {"meta", fullBox("meta", 0, 0, {hdlrBytes("mdta", u8(0)), box("keys", {zeros(8)})})},
        {"moov with an unlisted child", box("moov", {box("prfl", {text("xyz")}), mvhdV0Bytes()})},
        {"udta with an unlisted child", box("udta", {box("\xa9"
                                                         "day",
                                                         {text("2024")})})},
        {"stts", fullBox("stts", 0, 0, {u32(2), u32(100), u32(1024), u32(1), u32(512)})},
        {"stsc", fullBox("stsc", 0, 0, {u32(2), u32(1), u32(1), u32(1), u32(5), u32(3), u32(1)})},
        {"stsz without a list", fullBox("stsz", 0, 0, {u32(1024), u32(500)})},
        {"stsz with a list", stszListBytes()},
        {"stco", stcoBytes()},
        {"stco empty", fullBox("stco", 0, 0, {u32(0)})},
        {"co64", fullBox("co64", 0, 0, {u32(2), u64(0x100000000), u64(0x200000010)})},
        {"ctts v1", fullBox("ctts", 1, 0, {u32(2), u32(1), u32(0xFFFFFC00), u32(3), u32(512)})},
        {"stss", fullBox("stss", 0, 0, {u32(2), u32(1), u32(31)})},
        {"stsd with two entries", fullBox("stsd", 0, 0, {u32(1), lmcdBytes(2), in32Bytes()})},
        {"stbl", stblBytes(lmcdBytes(1))},
        {"LMCD", lmcdBytes(2)},
        {"colr", colrBytes()},
        {"in32", in32Bytes()},
        {"TELM", box("TELM", {hex("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10")})},
        {"UQID", box("UQID", {hex("00112233445566778899aabbccddeeff")})},
        {"BLDV", box("BLDV", {text("FW1.02.0034"), u8(0)})},
        {"MRKS", box("MRKS", {u32(3), u32(10), u32(20), u32(30), u32(0), u32(0)})},
        {"OPTC", box("OPTC", {hex("ff fe fd fc fb")})},
        {"IDNT", box("IDNT")},
        {"CNFG", box("CNFG", {text("iso=800;wb=5600")})},
        {"free", box("free", {zeros(12)})},
        {"unknown code", box("abcd", {text("anything at all")})},
    };
}

TEST(Catalogue, EveryBoxIsWrittenBackByteForByte) {
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.name);
        BoxPtr box = readOne(sample.bytes);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->recordedSize, sample.bytes.size());
        EXPECT_EQ(sizeOf(*box), sample.bytes.size());
        EXPECT_EQ(toHex(written(*box)), toHex(sample.bytes));
    }
}

// Two fields of the same width registered the other way round would still
// round-trip, so the fields next to one of their own width, and those the
// repairs read or change, are checked by name for their bytes.
TEST(Catalogue, FieldsHoldTheBytesAtTheirPosition) {
    const struct {
        Bytes box;
        std::vector<std::pair<std::string, std::string>> fields;
    } cases[] = {
        {box("ftyp", {text("qt  "), u32(0x200)}),
         {{"majorBrand", "71742020"}, {"minorVersion", "00000200"}}},
        {mvhdV0Bytes(),
         {{"creationTime", "da1b2c3d"},
          {"modificationTime", "da1b2c3e"},
          {"timescale", "00000258"},
          {"duration", "00008ca0"},
          {"previewTime", "0000000b"},
          {"currentTime", "00000010"},
          {"nextTrackID", "00000003"}}},
        {mvhdV1Bytes(),
         {{"modificationTime", "00000001da1b2c3e"},
          {"duration", "0000000123456789"},
          {"nextTrackID", "00000003"}}},
        {tkhdV0Bytes(7),
         {{"trackID", "00000007"},
          {"alternateGroup", "0001"},
          {"volume", "0100"},
          {"width", "0f000000"},
          {"height", "08700000"}}},
        {tkhdV1Bytes(9), {{"trackID", "00000009"}, {"duration", "0000000123456789"}}},
        {mdhdV0Bytes(48000),
         {{"timescale", "0000bb80"}, {"duration", "00007530"}, {"language", "55c4"}}},
        {mdhdV1Bytes(48000), {{"timescale", "0000bb80"}, {"duration", "0000000123456789"}}},
        {hdlrBytes("vide", {}), {{"componentType", "6d686c72"}, {"handlerType", "76696465"}}},
        {stszListBytes(), {{"sampleSize", "00000000"}, {"sampleCount", "00000003"}}},
        {lmcdBytes(2),
         {{"dataReferenceIndex", "0002"},
          {"spatialQuality", "00000200"},
          {"width", "0f00"},
          {"height", "0870"},
          {"frameCount", "0001"},
          {"bitDepth", "0018"},
          {"colorTableID", "ffff"}}},
        {colrBytes(),
         {{"primariesIndex", "0001"}, {"transferFunctionIndex", "0002"}, {"matrixIndex", "0006"}}},
        {box("MRKS", {u32(3), u32(10)}), {{"activeMarks", "00000003"}}},
    };
    for (const auto& c : cases) {
        BoxPtr read = readOne(c.box);
        ASSERT_TRUE(read);
        for (const auto& [name, bytes] : c.fields) {
            SCOPED_TRACE(read->type.text() + " " + name);
            auto field = read->fields.begin();
            while (field != read->fields.end() && field->name != name)
                ++field;
            ASSERT_NE(field, read->fields.end());
            mediafmt::io::Buffer out;
            ASSERT_EQ(field->value->write(&out), 0u);
            EXPECT_EQ(toHex(out.bytes()), bytes);
        }
    }
}

} // namespace
