#include "fuzz/SafetyChecks.h"

#include "fuzz/MemoryDisk.h"
#include "mediafmt/io/Buffer.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tool/repair/RepairRun.h"

#include <filesystem>
#include <limits>
#include <random>
#include <vector>

namespace fuzzcheck {

using namespace mediafmt;
using mp4::box::Box;
using mp4::box::BoxPtr;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::string codeText(ResultCode code) {
    return code == notRun ? "nothing (not run)" : std::to_string(code);
}

bool documented(ResultCode code) {
    return code == notRun || code <= result::divideByZero;
}

std::string describe(const Box& box) {
    return "'" + mp4::box::boxPath(&box) + "' at " + std::to_string(box.offset);
}

// A media data box writes only its header, whatever size it reports.
bool holdsMediaData(const Box& box) {
    if (dynamic_cast<const mp4::box::mdat*>(&box) != nullptr)
        return true;
    for (const BoxPtr& child : box.children) {
        if (holdsMediaData(*child))
            return true;
    }
    return false;
}

// Whether find reads the box's path back as boxPath wrote it: a code 0 gives
// an empty segment, and "/" and "[" are path syntax.
bool unambiguousPath(const Box& box) {
    for (const Box* at = &box; at->parent != nullptr; at = at->parent) {
        const std::string code = at->type.text();
        if (code.empty() || code.find_first_of("/[") != std::string::npos)
            return false;
    }
    return true;
}

ResultCode encode(const Box& box, Bytes& bytes) {
    io::Buffer buffer;
    if (ResultCode rc = box.write(&buffer, true); rc != 0)
        return rc;
    bytes = buffer.bytes();
    return result::none;
}

// Finds, prints and encodes the box and everything below it. The nesting the
// parse accepts is bounded, and so is this recursion.
std::string walk(const mp4::File& root, const Box& box) {
    if (unambiguousPath(box) && root.find(mp4::box::boxPath(&box)).get() != &box)
        return "box " + describe(box) + " is not found again by its path";

    io::Buffer printed;
    for (const auto& field : box.fields)
        (void)field.value->print(&printed, 2);

    std::uint64_t computed = 0;
    if (ResultCode rc = box.size(computed); rc != 0)
        return "sizing box " + describe(box) + " failed with " + codeText(rc);
    Bytes encoded;
    if (ResultCode rc = encode(box, encoded); rc != 0)
        return "encoding box " + describe(box) + " failed with " + codeText(rc);
    if (!holdsMediaData(box) && encoded.size() != computed)
        return "box " + describe(box) + " computes its size as " + std::to_string(computed) +
               " but encodes to " + std::to_string(encoded.size()) + " bytes";

    for (const BoxPtr& child : box.children) {
        if (std::string failure = walk(root, *child); !failure.empty())
            return failure;
    }
    return {};
}

// A box the library wrote must read back as the same box.
std::string checkReparse(const Box& top) {
    if (holdsMediaData(top))
        return {};
    Bytes first;
    if (ResultCode rc = encode(top, first); rc != 0)
        return "encoding box " + describe(top) + " failed with " + codeText(rc);
    MemoryDisk alone(first);
    mp4::File again;
    if (ResultCode rc = again.parse(&alone); rc != 0)
        return "box " + describe(top) + " encodes to bytes that fail to parse with " + codeText(rc);
    if (again.children.size() != 1)
        return "box " + describe(top) + " encodes to bytes that parse into " +
               std::to_string(again.children.size()) + " boxes";
    Bytes second;
    if (ResultCode rc = encode(*again.children.front(), second); rc != 0)
        return "encoding box " + describe(top) + " read back failed with " + codeText(rc);
    if (second != first)
        return "box " + describe(top) + " read back from its own encoding encodes differently";
    return {};
}

// A file in the temporary directory that only this process uses, removed
// when the process ends normally. The program itself reads and writes an
// operating-system file, which the reader treats differently from streams
// in memory.
class ScratchFile {
public:
    ScratchFile() {
        std::error_code error;
        path_ = (std::filesystem::temp_directory_path(error) /
                 ("fuzzcheck-" + std::to_string(std::random_device()()) + ".mov"))
                    .u8string();
    }
    ~ScratchFile() {
        std::error_code error;
        std::filesystem::remove(path_, error);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content with the bytes and opens it as the program does.
    ResultCode open(const Bytes& bytes, io::File& file) const {
        io::File out;
        if (ResultCode rc = out.open(path_, io::OpenMode::write); rc != 0)
            return rc;
        std::uint64_t put = 0;
        if (!bytes.empty()) {
            if (ResultCode rc = out.write(bytes.data(), bytes.size(), put); rc != 0)
                return rc;
        }
        out.close();
        if (put != bytes.size())
            return result::writeError;
        return file.open(path_, io::OpenMode::readWrite);
    }

    // The file's content, read through a stream of its own.
    ResultCode content(Bytes& bytes) const {
        io::File in;
        if (ResultCode rc = in.open(path_, io::OpenMode::read); rc != 0)
            return rc;
        std::uint64_t length = 0;
        if (ResultCode rc = in.size(length); rc != 0)
            return rc;
        bytes.assign(static_cast<std::size_t>(length), 0);
        std::uint64_t got = 0;
        if (length != 0) {
            if (ResultCode rc = in.read(bytes.data(), length, got); rc != 0)
                return rc;
        }
        return got == length ? result::none : result::readError;
    }

private:
    std::string path_;
};

const ScratchFile& scratchFile() {
    static const ScratchFile file;
    return file;
}

// Everything a parse produced: its result, every box's place, size and code,
// and the encoding of every top-level box.
struct TreeImage {
    ResultCode parsed = notRun;
    std::vector<std::uint64_t> places;
    Bytes encoded;

    void add(const Box& box) {
        places.insert(places.end(), {box.offset, box.recordedSize, box.type.value});
        for (const BoxPtr& child : box.children)
            add(*child);
    }

    bool operator==(const TreeImage& other) const {
        return parsed == other.parsed && places == other.places && encoded == other.encoded;
    }
};

// Parses the stream into root and records what came of it.
TreeImage parseInto(io::Io& stream, mp4::File& root) {
    TreeImage image;
    image.parsed = root.parse(&stream);
    for (const BoxPtr& top : root.children) {
        image.add(*top);
        Bytes bytes;
        if (encode(*top, bytes) == 0)
            image.encoded.insert(image.encoded.end(), bytes.begin(), bytes.end());
    }
    return image;
}

std::string checkTree(const char* source, const mp4::File& root, ResultCode parsed) {
    if (!documented(parsed))
        return std::string("parsing ") + source + " gave the undocumented code " + codeText(parsed);
    for (const BoxPtr& top : root.children) {
        if (std::string failure = walk(root, *top); !failure.empty())
            return std::string("parsed ") + source + ": " + failure;
        if (parsed != 0)
            continue;
        if (std::string failure = checkReparse(*top); !failure.empty())
            return std::string("parsed ") + source + ": " + failure;
    }
    return {};
}

bool operator==(const RepairRun& a, const RepairRun& b) {
    return a.parse == b.parse && a.check == b.check && a.needsRepair == b.needsRepair &&
           a.audio == b.audio && a.video == b.video;
}

std::string describe(const RepairRun& run) {
    return "parse " + codeText(run.parse) + ", check " + codeText(run.check) + ", audio " +
           codeText(run.audio) + ", video " + codeText(run.video);
}

// The program's run on the stream.
RepairRun runSequence(io::Io& stream) {
    mp4::File tree;
    MemoryJournal journal;
    boxmend::Journaling journaling{journal, {}};
    const boxmend::RunOutcome outcome =
        boxmend::runRepairs(stream, tree, boxmend::RunMode::apply, journaling);
    RepairRun run;
    run.parse = outcome.parse.code;
    run.check = outcome.check.code;
    run.needsRepair = outcome.check.code == result::none;
    run.audio = outcome.audio.code;
    run.video = outcome.video.code;
    return run;
}

// Bytes [begin, end) of the file.
struct Extent {
    bool present = false;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;

    bool holds(std::uint64_t at) const { return present && at >= begin && at < end; }
};

Extent extentOf(const BoxPtr& box) {
    if (!box)
        return {};
    const std::uint64_t end =
        box->recordedSize > std::numeric_limits<std::uint64_t>::max() - box->offset
            ? std::numeric_limits<std::uint64_t>::max()
            : box->offset + box->recordedSize;
    return {true, box->offset, end};
}

// The boxes the repairs may rewrite, found in a parse of the original bytes:
// the sample table box of the first track of moov with an in32 entry, looked
// up by that entry's path as the audio repair looks it up, and the first
// track's Lumacode sample entry.
struct Targets {
    Extent audio;
    Extent video;
};

Targets targetsIn(const Bytes& bytes) {
    Targets targets;
    MemoryDisk disk(bytes);
    mp4::File tree;
    MemoryJournal journal;
    boxmend::Journaling journaling{journal, {}};
    const boxmend::RunOutcome run =
        boxmend::runRepairs(disk, tree, boxmend::RunMode::planOnly, journaling);
    if (run.parse.code != 0)
        return targets;
    targets.audio = extentOf(run.audioTables.stbl);
    targets.video = extentOf(run.videoEntry);
    return targets;
}

// Bytes may change only inside the box of a repair that reported its correction.
std::string checkChanges(const RepairRun& run, const Targets& targets, const Bytes& before,
                         const Bytes& after) {
    if (after.size() != before.size())
        return "the run changed the length from " + std::to_string(before.size()) + " to " +
               std::to_string(after.size());
    for (std::size_t at = 0; at < before.size(); ++at) {
        if (before[at] == after[at])
            continue;
        if ((run.audio == 0 && targets.audio.holds(at)) ||
            (run.video == 0 && targets.video.holds(at)))
            continue;
        return "the run (" + describe(run) + ") changed byte " + std::to_string(at) +
               " outside the boxes of the corrections it reported";
    }
    return {};
}

std::string checkCodes(const char* pass, const RepairRun& run) {
    for (ResultCode code : {run.parse, run.check, run.audio, run.video}) {
        if (!documented(code))
            return std::string(pass) + " gave the undocumented code " + codeText(code);
    }
    return {};
}

} // namespace

std::string checkParse(const std::uint8_t* data, std::size_t size) {
    const Bytes bytes(data, data + size);
    io::Buffer buffer(bytes);
    mp4::File fromBuffer;
    const ResultCode parsed = parseInto(buffer, fromBuffer).parsed;
    if (std::string failure = checkTree("from a memory buffer", fromBuffer, parsed);
        !failure.empty())
        return failure;

    MemoryDisk disk(bytes);
    mp4::File fromMemory;
    const TreeImage inMemory = parseInto(disk, fromMemory);
    if (std::string failure = checkTree("from a file in memory", fromMemory, inMemory.parsed);
        !failure.empty())
        return failure;

    // The program's own stream, which the reader reads on demand, must give
    // the same tree, so the checks above hold for it too.
    io::File file;
    if (ResultCode rc = scratchFile().open(bytes, file); rc != 0)
        return "cannot open the scratch file: " + codeText(rc);
    mp4::File fromFile;
    const TreeImage onDisk = parseInto(file, fromFile);
    if (!(onDisk == inMemory))
        return "parsing from a disk file gives another tree than from a file in memory (" +
               codeText(onDisk.parsed) + " against " + codeText(inMemory.parsed) + ")";
    return {};
}

std::string checkRepair(const std::uint8_t* data, std::size_t size, RepairReport* report) {
    const Bytes original(data, data + size);
    const Targets targets = targetsIn(original);

    MemoryDisk disk(original);
    const RepairRun first = runSequence(disk);
    const Bytes repaired = disk.bytes();
    MemoryDisk again(repaired);
    const RepairRun second = runSequence(again);
    if (report != nullptr)
        *report = {first, second};

    if (std::string failure = checkChanges(first, targets, original, repaired); !failure.empty())
        return failure;
    if (disk.refusedWrites() != 0)
        return "a repair tried to write past the end of the file";
    if (std::string codes = checkCodes("the first run", first); !codes.empty())
        return codes;
    if (std::string codes = checkCodes("the second run", second); !codes.empty())
        return codes;

    if (again.bytes() != repaired)
        return "a second run changed the file";
    if (second.audio == 0 || second.video == 0)
        return "a second run made a correction again";
    if (first.parse == 0 && second.parse != 0)
        return "the repaired file fails to parse with " + codeText(second.parse);
    if (first.audio == 0 && (second.check != result::noOp || second.needsRepair))
        return "after the audio repair the check reports " + codeText(second.check);
    if (first.video == 0 && second.video != result::noOp)
        return "after the video repair it reports " + codeText(second.video);

    // The same outcome on the program's own stream.
    io::File file;
    if (ResultCode rc = scratchFile().open(original, file); rc != 0)
        return "cannot open the scratch file: " + codeText(rc);
    const RepairRun onDisk = runSequence(file);
    file.close();
    Bytes written;
    if (ResultCode rc = scratchFile().content(written); rc != 0)
        return "cannot read the scratch file back: " + codeText(rc);
    if (!(onDisk == first) || written != repaired)
        return "the repairs on a disk file end otherwise (" + describe(onDisk) +
               ") than on a file in memory (" + describe(first) + ")";
    return {};
}

} // namespace fuzzcheck
