// Writes the seed corpus of the fuzz targets: camera-like recordings that are
// healthy, defective, refused by a repair for each reason it refuses, or odd
// in the ways a parser must survive. Their media data is cut to a few bytes,
// since nothing reads it and small seeds fuzz faster.
//
// make_corpus <directory>   writes <directory>/parse/*, <directory>/repair/*
//                           and <directory>/journal/*

#include "fuzz/SafetyChecks.h"
#include "tests/support/CameraFile.h"
#include "tests/support/FileBytes.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

constexpr std::size_t keptMediaBytes = 64;

// The top-level boxes of a recording built with 8-byte headers, every mdat
// cut to its first few bytes. The chunk offsets then point past the end,
// which nothing here reads.
std::vector<Bytes> topLevelBoxes(const Bytes& recording) {
    std::vector<Bytes> boxes;
    for (std::size_t at = 0; at + 8 <= recording.size();) {
        const auto start = recording.begin() + static_cast<std::ptrdiff_t>(at);
        const std::size_t size = std::size_t{start[0]} << 24 | std::size_t{start[1]} << 16 |
                                 std::size_t{start[2]} << 8 | start[3];
        if (Bytes(start + 4, start + 8) == text("mdat"))
            boxes.push_back(box("mdat", {Bytes(start + 8, start + 8 + keptMediaBytes)}));
        else
            boxes.emplace_back(start, start + static_cast<std::ptrdiff_t>(size));
        at += size;
    }
    return boxes;
}

// The box rebuilt with a 16-byte header around the same payload.
Bytes longHeader(const Bytes& boxBytes) {
    return concat({u32(1), Bytes(boxBytes.begin() + 4, boxBytes.begin() + 8),
                   u64(boxBytes.size() + 8), Bytes(boxBytes.begin() + 8, boxBytes.end())});
}

// The recording's top-level boxes, each as transform makes it.
template <typename Transform> Bytes eachTopLevelBox(const Bytes& recording, Transform transform) {
    Bytes out;
    for (const Bytes& top : topLevelBoxes(recording))
        out = concat({out, transform(top)});
    return out;
}

Bytes camera(std::uint32_t chunks, bool audioDefective, std::uint16_t dataReferenceIndex) {
    Recording recording;
    recording.audioChunks = chunks;
    recording.audioDefective = audioDefective;
    recording.videoDataReferenceIndex = dataReferenceIndex;
    return eachTopLevelBox(cameraRecording(recording), [](const Bytes& top) { return top; });
}

const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});
const Bytes media = box("mdat", {zeros(keptMediaBytes)});

// A movie header of version 0, or of version 1 with 64-bit times.
Bytes mvhd(std::uint8_t version) {
    const Bytes times =
        version == 0 ? concat({u32(0xDA1B2C3D), u32(0xDA1B2C3E), u32(600), u32(36000)})
                     : concat({u64(6377812095), u64(6377812096), u32(90000), u64(0x123456789)});
    return fullBox("mvhd", version, 0,
                   {times, u32(0x00010000), u16(0x0100), hex("01020304050607080900"),
                    u32(0x00010000), zeros(12), u32(0x00010000), zeros(12), u32(0x40000000),
                    u32(11), u32(12), u32(13), u32(14), u32(15), u32(16), u32(3)});
}

Bytes movie(std::initializer_list<Bytes> moovChildren) {
    return concat({ftyp, media, box("moov", {mvhd(0), concat(moovChildren)})});
}

const std::vector<std::uint32_t> offsets = {40, 16424, 32808};

// A movie whose one track is an ambisonic track with these tables.
Bytes audioMovie(std::initializer_list<Bytes> tables) {
    return movie({trakBox(1, "soun", 48000, 3 * framesPerChunk,
                          box("stbl", {stsdBox({in32Entry()}), concat(tables)}))});
}

Bytes defectiveAudioTrak(std::uint32_t id) {
    return trakBox(id, "soun", 48000, 3 * framesPerChunk, defectiveAudioStbl(3, offsets));
}

// Every class of the box catalogue at least once, each version of those
// whose layout depends on it included, added to a defective recording.
Bytes catalogue() {
    const Bytes extraTrak = box(
        "trak",
        {fullBox("tkhd", 1, 3,
                 {u64(0x1DA1B2C3D), u64(0x1DA1B2C3E), u32(3), u32(0), u64(0x123456789), zeros(8),
                  u16(0), u16(0), u16(0), u16(0), u32(0x00010000), zeros(12), u32(0x00010000),
                  zeros(12), u32(0x40000000), u32(3840u << 16), u32(2160u << 16)}),
         box("edts", {fullBox("elst", 1, 0, {u32(1), u64(36000), u64(0), u16(1), u16(0)}),
                      fullBox("elst", 0, 0,
                              {u32(2), u32(36000), u32(0xFFFFFFFF), u16(1), u16(0), u32(100),
                               u32(5), u16(0), u16(0x8000)})}),
         box("mdia",
             {fullBox("mdhd", 1, 0,
                      {u64(3034627200), u64(2082844800), u32(90000), u64(0x123456789), u16(0x55c4),
                       u16(0)}),
              fullBox("hdlr", 0, 0,
                      {text("mhlr"), text("vide"), zeros(12), text("Handler"), u8(0)}),
              box("minf",
                  {box("stbl",
                       {fullBox("stsd", 0, 0,
                                {u32(1),
                                 box("LMCD", {zeros(80), box("colr", {text("nclx"), u16(1), u16(1),
                                                                      u16(1), u8(0)})})}),
                        sttsBox({{3, 1001}}),
                        fullBox("ctts", 0, 0, {u32(2), u32(1), u32(500), u32(2), u32(1000)}),
                        stscBox({{1, 1, 1}}), stszBox(0, 3, {1000, 2000, 3000}),
                        fullBox("co64", 0, 0, {u32(2), u64(0x30), u64(0x4000)}),
                        fullBox("stss", 0, 0, {u32(1), u32(1)})})})})});
    const Bytes meta = fullBox("meta", 0, 0,
                               {fullBox("hdlr", 0, 0, {u32(0), text("mdta"), zeros(12), u8(0)}),
                                fullBox("pitm", 0, 0, {u16(1)}), box("idat", {hex("0102")})});
    const Bytes udta = box("udta", {box("OPTC", {Bytes(99, 0x0a)}),
                                    box("IDNT", {text("clip-0001")}), box("CNFG", {zeros(100)}),
                                    meta, box("colr", {text("nclc"), u16(1), u16(1), u16(1)})});
    const std::vector<Bytes> boxes = topLevelBoxes(camera(3, true, 2));
    return concat(
        {boxes[0], boxes[1],
         box("moov", {Bytes(boxes[2].begin() + 8, boxes[2].end()), extraTrak, udta,
                      box("moov", {mvhd(1)})}),
         box("ftyp", {text("qt  "), u32(0), text("isomiso2avc1mp41mp42qt  M4V M4A 3gp4abcdwxyz")}),
         box("udta", {box("TELM", {zeros(40)}), box("skip")})});
}

std::vector<std::pair<std::string, Bytes>> seeds() {
    std::vector<std::pair<std::string, Bytes>> all;
    auto add = [&](std::string name, Bytes bytes) { all.emplace_back(std::move(name), bytes); };

    // What the repairs are for.
    add("healthy", camera(3, false, 1));
    add("both-defects", camera(3, true, 0));
    add("audio-defect", camera(3, true, 1));
    add("video-defect-65535", camera(3, false, 65535));
    add("audio-defect-two-sizes", camera(2, true, 2));
    const Bytes oneToAChunk = stscBox({{1, 1, 1}});
    const Bytes sizes = stszBox(0, 3, {16, 16, 16});
    const Bytes chunks = stcoBox(offsets);
    add("audio-defect-constant-size",
        audioMovie({sttsBox({{3, 1024}}), oneToAChunk, stszBox(0, 3, {}), chunks}));
    // The shortest sample that is still too long: two time units.
    add("audio-defect-two-units", audioMovie({sttsBox({{3, 2}}), oneToAChunk, sizes, chunks}));
    // One sample to a chunk is no defect while each sample lasts one time unit.
    add("audio-one-unit-one-per-chunk",
        audioMovie({sttsBox({{3, 1}}), oneToAChunk, sizes, chunks}));
    add("audio-third-track", movie({videoTrak(lmcdEntry(1)), videoTrak(lmcdEntry(1)),
                                    defectiveAudioTrak(3), defectiveAudioTrak(4)}));
    add("lumacode-with-extension", movie({videoTrak(lmcdEntry(0, box("fiel", {u16(0x0101)})))}));
    add("no-audio-track", movie({videoTrak(lmcdEntry(0))}));
    // A QuickTime ftyp padded with a zero brand, a meta too short for more
    // than its version and flags, then a QuickTime meta whose handler is only
    // a header, which ends the parse.
    add("meta-and-brand-edges",
        concat({box("ftyp", {text("qt  "), u32(0x20050300), text("qt  "), u32(0)}), media,
                box("moov", {mvhd(0), box("udta", {fullBox("meta", 0, 0)}),
                             box("udta", {box("meta", {box("hdlr")})})})}));

    // Tables a repair stopped part-way left, which the check alone would
    // call right: the sizes and the filler written, then the chunk table,
    // then part of the time-to-sample entry's delta, or of its count.
    const Bytes wholeChunks = stscBox({{1, 1024, 1}});
    const Bytes rewrittenSizes = concat({stszBox(16, 3072, {}), box("free", {zeros(4)})});
    add("torn-after-chunk-table",
        audioMovie({sttsBox({{3, 1024}}), wholeChunks, rewrittenSizes, chunks}));
    add("torn-in-time-delta",
        audioMovie({sttsBox({{3, 1025}}), wholeChunks, rewrittenSizes, chunks}));
    add("torn-in-time-count",
        audioMovie({sttsBox({{3075, 1}}), wholeChunks, rewrittenSizes, chunks}));
    // The same with samples that lasted 512 units, the square root of their
    // count, in 256 chunks; the delta's low byte written.
    add("torn-in-time-delta-square",
        audioMovie({sttsBox({{512, 513}}), wholeChunks, stszBox(16, 262144, {}),
                    stcoBox(sequence(40, 16384, 256))}));
    // Sizes as a repair writes them, but a chunk entry no repair writes: not
    // taken for a repair stopped part-way, and left alone.
    add("audio-defect-sizes-written-half-chunks",
        audioMovie({sttsBox({{3, 1024}}), stscBox({{1, 512, 1}}), stszBox(16, 3072, {}), chunks}));
    // Long samples in whole chunks, consistent with their sizes: no repair
    // leaves these, and they are left alone.
    add("audio-long-samples-whole-chunks",
        audioMovie({sttsBox({{3072, 1024}}), wholeChunks, stszBox(16, 3072, {}), chunks}));

    // Each reason a repair refuses, or a step fails.
    add("refused-one-size", camera(1, true, 0));
    add("refused-two-time-entries",
        audioMovie({sttsBox({{2, 1024}, {1, 1024}}), oneToAChunk, sizes, chunks}));
    add("refused-total-overflow",
        audioMovie({sttsBox({{65537, 65536}}), oneToAChunk, sizes, chunks}));
    add("refused-long-header-in-stbl",
        audioMovie({sttsBox({{3, 1024}}), oneToAChunk, sizes, longHeader(chunks)}));
    add("refused-count-beyond-table",
        audioMovie(
            {fullBox("stts", 0, 0, {u32(2), u32(3), u32(1024)}), oneToAChunk, sizes, chunks}));
    add("refused-short-lumacode",
        movie({videoTrak(concat({u32(48), text("LMCD"), zeros(6), u16(0), zeros(32)}))}));
    add("check-no-moov", concat({ftyp, media}));
    add("check-no-stsz", audioMovie({sttsBox({{3, 1024}}), oneToAChunk, chunks}));
    add("parse-version-2-header",
        concat({ftyp, media, box("moov", {fullBox("mvhd", 2, 0, {zeros(96)})})}));
    add("parse-child-smaller-than-header",
        concat({ftyp, media, box("moov", {mvhd(0), u32(4), text("trak")})}));
    add("parse-child-past-loaded",
        concat({ftyp, media, box("moov", {mvhd(0), u32(4000), text("trak")})}));
    add("parse-nesting-refused", concat({ftyp, box("moov", {nestedBoxes(63)})}));

    // Odd but valid.
    add("nesting-deepest", concat({ftyp, box("moov", {nestedBoxes(62)})}));
    // A table longer than the library encodes in one piece.
    add("long-table",
        movie({videoTrak(lmcdEntry(1)),
               box("udta", {sttsBox(std::vector<std::pair<std::uint32_t, std::uint32_t>>(
                               9000, {3, 1001}))})}));
    const Bytes twoChunks = camera(2, true, 0);
    add("long-headers", eachTopLevelBox(twoChunks, longHeader));
    add("trailing-padding", concat({twoChunks, zeros(7)}));
    add("trailing-box-in-look-ahead", concat({twoChunks, box("free", {zeros(8)})}));
    add("user-data-terminator",
        movie({videoTrak(lmcdEntry(0)), box("udta", {box("TELM", {hex("01")}), u32(0)})}));
    add("media-size-zero-last", concat({ftyp, box("moov", {mvhd(0), videoTrak(lmcdEntry(0))}),
                                        u32(0), text("mdat"), zeros(keptMediaBytes)}));
    // The movie first, then media data whose size reaches far beyond the
    // largest file any file system holds.
    const std::vector<Bytes> boxes = topLevelBoxes(twoChunks);
    add("media-size-beyond-any-disk",
        concat({boxes[0], boxes[2], u32(1), text("mdat"), u64(0x0500000000000000),
                Bytes(boxes[1].begin() + 8, boxes[1].end())}));
    add("cut-short", Bytes(twoChunks.begin(), twoChunks.end() - 200));
    add("catalogue", catalogue());
    // Codes and text that must reach neither the terminal nor the JSON as they are.
    add("odd-bytes",
        concat({ftyp, box("BLDV", {text("v1\n" + std::string(17, ' ')), u8(0)}),
                box("BLDV", {text("v2\n" + std::string(19, ' ')), u8(0)}),
                box("moov", {box("udta", {box("\xA9nam", {text("Take 1")}),
                                          box("BLDV", {text("v1\x1b]0;owned\x07"), u8(0)}),
                                          box("\x1b[2J", {zeros(40)})})})}));
    return all;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus <directory>\n");
        return 1;
    }
    std::vector<std::pair<std::string, Bytes>> journals;
    for (const Bytes& seed : fuzzcheck::journalSeeds())
        journals.emplace_back("journal-" + std::to_string(journals.size()), seed);
    for (const char* target : {"parse", "repair", "journal"}) {
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
        for (const auto& [name, bytes] : std::string(target) == "journal" ? journals : seeds()) {
            if (!writeFile(dir / name, bytes)) {
                std::fprintf(stderr, "cannot write %s\n", (dir / name).string().c_str());
                return 1;
            }
        }
    }
    return 0;
}
