// Writes the recordings of tests/data/other-recorders that ffmpeg cannot
// make: QuickTime-style meta boxes, boxes in the last bytes of a file,
// offsets beyond 2 GiB, and a camera recording carrying a phone's meta.
// Usage: make_other_recorders <directory>

#include "tests/support/CameraFile.h"
#include "tests/support/FileBytes.h"

#include <cstdio>
#include <string>

using namespace testsupport;

namespace {

const Bytes ftyp = box("ftyp", {text("qt  "), u32(0x20050300), text("qt  ")});

Bytes videoTrak(const Bytes& moreTables = {}) {
    return trakBox(
        1, "vide", 600, 600,
        box("stbl", {stsdBox({box("avc1", {zeros(78)})}), sttsBox({{2, 300}}), stscBox({{1, 1, 1}}),
                     stszBox(0, 2, {16, 16}), stcoBox({36, 52}), moreTables}));
}

Bytes movie(const Bytes& moovTail, const Bytes& moreTables = {}) {
    return concat(
        {ftyp, box("mdat", {zeros(32)}),
         box("moov", {fullBox("mvhd", 0, 0, {zeros(96)}), videoTrak(moreTables), moovTail})});
}

Bytes handler(const char* type) {
    return fullBox("hdlr", 0, 0, {u32(0), text(type), zeros(12), u8(0)});
}

Bytes item(std::string_view code, const char* value) {
    return box(code, {box("data", {u32(1), u32(0), text(value)})});
}

// As a phone writes it in moov: no version or flags, then hdlr, keys, ilst.
const Bytes phoneMeta =
    box("meta", {handler("mdta"),
                 box("keys", {u32(0), u32(1), box("mdta", {text("com.apple.quicktime.make")})}),
                 box("ilst", {item(std::string("\0\0\0\1", 4), "Phone")})});

// The camera recording with the phone's meta at the end of its moov.
Bytes withPhoneMeta(Bytes file) {
    std::size_t at = 0;
    while (std::string(&file[at + 4], &file[at + 8]) != "moov")
        at += (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
              (std::size_t{file[at + 2]} << 8) | file[at + 3];
    const Bytes size = u32(file.size() - at + phoneMeta.size());
    std::copy(size.begin(), size.end(), &file[at]);
    return concat({file, phoneMeta});
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_other_recorders <directory>\n");
        return 1;
    }
    const std::string dir = std::string(argv[1]) + "/";

    const Bytes isoMeta =
        fullBox("meta", 0, 0, {handler("mdir"), box("ilst", {item("\xA9nam", "Song")})});
    const Bytes taggerMeta = box("meta", {handler("mdir"), box("ilst", {item("\xA9"
                                                                             "ART",
                                                                             "Band")})});
    const Bytes mfra = box("mfra", {fullBox("mfro", 0, 0, {u32(24)})});
    const Bytes wide = {0x90, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF0};
    const Bytes edits = box(
        "edts",
        {fullBox("elst", 0, 0,
                 {u32(2), u32(0x90000000), u32(0xFFFFFFFF), u32(0x10000), u32(0xFFFFFFFF), u32(0),
                  u32(0x10000)}),
         fullBox("elst", 1, 0, {u32(1), u64(0x123456789), u64(0xFFFFFFFFFFFFFFFF), u32(0x10000)})});
    bool ok =
        writeFile(dir + "camera-phone-meta.mov", withPhoneMeta(cameraRecording(true, 2))) &&
        writeFile(dir + "camera-phone-meta.mov.repaired",
                  withPhoneMeta(cameraRecording(false, 2))) &&
        writeFile(
            dir + "meta-forms.mov",
            movie(concat({phoneMeta, box("udta", {isoMeta, taggerMeta,
                                                  box("\xA9xyz", {text("+48.8577+002.2950/")}),
                                                  // Only an hdlr that fills it: QuickTime's form.
                                                  box("meta", {handler("mdir")}),
                                                  // Version and flags that read as a size: ISO's.
                                                  fullBox("meta", 0, 16, {handler("mdir")}),
                                                  box("\x9F\xA0\x7F~", {zeros(2)})})}))) &&
        writeFile(dir + "tail-two-boxes-and-bytes.mp4",
                  concat({movie({}), box("free"), box("mdat"), zeros(5)})) &&
        writeFile(dir + "tail-free-32.mov", concat({movie({}), box("free", {zeros(24)})})) &&
        writeFile(
            dir + "tail-mfra.mp4",
            concat({movie(box("mvex", {fullBox("trex", 0, 0, {u32(1), zeros(16)})})), mfra})) &&
        writeFile(dir + "tail-moov-cut.mov",
                  concat({ftyp, box("mdat", {zeros(64)}), u32(4000), text("moov"), u32(108),
                          text("mvhd"), zeros(15)})) &&
        writeFile(dir + "offsets-above-2gib.mov",
                  movie(edits, concat({stcoBox({0x90000000, 0xFFFFFFF0}),
                                       fullBox("co64", 0, 0, {u32(2), u64(0x123456789), wide})})));
    return ok ? 0 : 1;
}
