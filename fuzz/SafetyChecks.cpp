#include "fuzz/SafetyChecks.h"

#include "mediafmt/io/Buffer.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/BoxListing.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tests/support/CameraFile.h"
#include "tests/support/FaultyStream.h"
#include "tests/support/TempDir.h"
#include "tool/repair/Journal.h"
#include "tool/repair/RepairRun.h"

#include <algorithm>
#include <zlib.h>

namespace fuzzcheck {

using namespace mediafmt;
using mp4::box::Box;
using mp4::box::BoxPtr;
using Bytes = std::vector<std::uint8_t>;
using testsupport::FaultyStream;

namespace {

using boxmend::repair::PhaseOutcome;
using boxmend::repair::PhaseState;

bool documented(ResultCode code) {
    return code <= result::divideByZero;
}

std::string describe(const Box& box) {
    return "box '" + mp4::box::boxPath(&box) + "' at " + std::to_string(box.offset);
}

// A media data box writes only its header, whatever size it reports.
bool holdsMediaData(const Box& box) {
    return dynamic_cast<const mp4::box::mdat*>(&box) != nullptr ||
           std::any_of(box.children.begin(), box.children.end(),
                       [](const BoxPtr& child) { return holdsMediaData(*child); });
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

Bytes encode(const Box& box) {
    io::Buffer buffer;
    return box.write(&buffer, true) == 0 ? buffer.takeBytes() : Bytes{};
}

// Finds, sizes and encodes the box and everything below it (imageOf prints
// them). The nesting the parse accepts is bounded, and so is this recursion.
std::string walk(const mp4::File& root, const Box& box) {
    if (unambiguousPath(box) && root.find(mp4::box::boxPath(&box)).get() != &box)
        return describe(box) + " is not found again by its path";
    std::uint64_t computed = 0;
    if (box.size(computed) != 0 || (!holdsMediaData(box) && encode(box).size() != computed))
        return describe(box) + " does not encode to the size it computes";
    for (const BoxPtr& child : box.children) {
        if (std::string failure = walk(root, *child); !failure.empty())
            return failure;
    }
    return {};
}

// A box the library wrote must read back as the same box.
std::string checkReparse(const Box& top) {
    const Bytes first = encode(top);
    FaultyStream alone(first);
    mp4::File again;
    if (again.parse(&alone) != 0 || again.children.size() != 1 ||
        encode(*again.children.front()) != first)
        return describe(top) + " does not read back from its own encoding as itself";
    return {};
}

// The parse's result, every box's place and every field's text as boxdump
// lists them, and the encoding of every top-level box: equal for two parses
// that gave the same tree.
std::string imageOf(const mp4::File& root, ResultCode parsed) {
    std::string image = std::to_string(parsed) + "\n" + mp4::listBoxTree(root);
    for (const BoxPtr& top : root.children) {
        const Bytes bytes = encode(*top);
        image.append(bytes.begin(), bytes.end());
    }
    return image;
}

// The program reads and writes an operating-system file, which the reader
// reads on demand: each input is also written to a file.
const testsupport::TempDir& scratch() {
    static const testsupport::TempDir dir;
    return dir;
}

std::string codesOf(const boxmend::repair::RunOutcome& run) {
    std::string text;
    for (const PhaseOutcome* phase : {&run.parse, &run.check, &run.audio, &run.video})
        text += (text.empty() ? "" : " ") + std::to_string(static_cast<int>(phase->state)) + "/" +
                std::to_string(phase->code);
    return text;
}

// A run of the repairs on the stream, its journal kept beside it in memory.
boxmend::repair::RunOutcome runOn(FaultyStream& disk, boxmend::repair::RunMode mode) {
    mp4::File tree;
    return boxmend::repair::runRepairs(disk, tree, mode, disk.journaling());
}

// Whether byte at of the file lies in the box; false for no box.
bool holds(const BoxPtr& box, std::size_t at) {
    return box && at >= box->offset && at - box->offset < box->recordedSize;
}

// The recording checkJournal puts a journal beside, and its repair.
struct JournalScene {
    Bytes original = testsupport::cameraRecording();
    Bytes repaired;
    boxmend::repair::RepairPlan audio;
    boxmend::repair::RepairPlan video;

    JournalScene() {
        FaultyStream planned(original);
        const auto run = runOn(planned, boxmend::repair::RunMode::planOnly);
        audio = run.audioPlan;
        video = run.videoPlan;
        FaultyStream disk(original);
        (void)runOn(disk, boxmend::repair::RunMode::apply);
        repaired = disk.bytes();
    }

    // The recording with the first steps of its repair written, as a run
    // stopped after them leaves it.
    Bytes withSteps(std::uint32_t steps) const {
        Bytes file = original;
        for (const auto* plan : {&audio, &video}) {
            for (const boxmend::repair::ByteChange& change : plan->changes) {
                if (change.step < steps)
                    std::copy(change.bytes.begin(), change.bytes.end(),
                              file.begin() + static_cast<std::ptrdiff_t>(change.offset));
            }
            if (steps > 0)
                std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(plan->fillOffset),
                            plan->fillLength, 0);
        }
        return file;
    }
};

const JournalScene& journalScene() {
    static const JournalScene scene;
    return scene;
}

} // namespace

std::string checkJournal(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return {};
    const JournalScene& scene = journalScene();
    const Bytes start = scene.withSteps(data[0] % 6u);
    const Bytes body(data + 1, data + size);
    const Bytes journal = testsupport::concat(
        {body, testsupport::u32(crc32_z(crc32(0L, Z_NULL, 0), body.data(), body.size()))});
    FaultyStream disk(start);
    boxmend::repair::SaveTrouble trouble{};
    if (disk.save(journal, trouble) != 0)
        return "cannot put the journal beside the recording";
    const auto run = runOn(disk, boxmend::repair::RunMode::apply);
    for (std::size_t at = 0; at < start.size(); ++at) {
        const std::uint8_t byte = disk.bytes()[at];
        if (byte != start[at] && byte != scene.repaired[at])
            return "a journal made the run (" + codesOf(run) + ") write byte " +
                   std::to_string(at) + ", which no repair of the recording writes";
    }
    return {};
}

std::vector<Bytes> journalSeeds() {
    const JournalScene& scene = journalScene();
    std::vector<Bytes> seeds;
    for (std::uint32_t version :
         {boxmend::repair::firstJournalVersion, boxmend::repair::journalVersion}) {
        boxmend::repair::Journal journal;
        journal.version = version;
        journal.fileLength = scene.original.size();
        journal.repairs = {scene.audio, scene.video};
        Bytes body = boxmend::repair::encodeJournal(journal);
        body.resize(body.size() - 4);
        // Stopped before its first write and after each step.
        for (unsigned steps = 0; steps < 6; ++steps) {
            Bytes seed{static_cast<std::uint8_t>(steps)};
            seed.insert(seed.end(), body.begin(), body.end());
            seeds.push_back(std::move(seed));
        }
    }
    return seeds;
}

std::string checkParse(const std::uint8_t* data, std::size_t size) {
    const Bytes bytes(data, data + size);
    // A stream in memory that behaves as a disk file, read at once.
    FaultyStream disk(bytes);
    mp4::File root;
    const ResultCode parsed = root.parse(&disk);
    if (!documented(parsed))
        return "parsing gave the undocumented code " + std::to_string(parsed);
    for (const BoxPtr& top : root.children) {
        if (std::string failure = walk(root, *top); !failure.empty())
            return failure;
        if (parsed == 0 && !holdsMediaData(*top)) {
            if (std::string failure = checkReparse(*top); !failure.empty())
                return failure;
        }
    }

    // A file on disk, read on demand, must give the same tree, so the checks
    // above hold for it too.
    const std::string image = imageOf(root, parsed);
    io::File file;
    if (ResultCode rc = file.open(scratch().write("input.mov", bytes), io::OpenMode::readWrite);
        rc != 0)
        return "cannot open the scratch file: " + std::to_string(rc);
    mp4::File fromFile;
    const ResultCode rc = fromFile.parse(&file);
    if (imageOf(fromFile, rc) != image)
        return "a file on disk gives another tree than the same bytes in memory";
    return {};
}

std::string checkRepair(const std::uint8_t* data, std::size_t size) {
    const Bytes original(data, data + size);
    FaultyStream planned(original);
    mp4::File tree;
    const auto plan = boxmend::repair::runRepairs(planned, tree, boxmend::repair::RunMode::planOnly,
                                                  planned.journaling());
    if (planned.calls(FaultyStream::Call::write) != 0)
        return "a run that only plans wrote to the file";
    FaultyStream fresh(original);
    mp4::File parsed;
    if (imageOf(tree, plan.parse.code) != imageOf(parsed, parsed.parse(&fresh)))
        return "a run that only plans changed the tree";

    FaultyStream disk(original);
    const auto first = runOn(disk, boxmend::repair::RunMode::apply);
    const Bytes repaired = disk.bytes();
    FaultyStream again(repaired);
    const auto second = runOn(again, boxmend::repair::RunMode::apply);

    for (std::size_t at = 0; at < original.size(); ++at) {
        if (original[at] != repaired[at] &&
            !(first.audio.is(PhaseState::done) && holds(plan.audioTables.stbl, at)) &&
            !(first.video.is(PhaseState::done) && holds(plan.videoEntry, at)))
            return "the run (" + codesOf(first) + ") changed byte " + std::to_string(at) +
                   " outside the boxes of the corrections it reported";
    }
    if (disk.refusedWrites() != 0)
        return "a repair tried to write past the end of the file";
    for (const auto* run : {&first, &second}) {
        // A phase's code, when it has one, is one the library documents.
        for (const PhaseOutcome* phase : {&run->parse, &run->check, &run->audio, &run->video})
            if (phase->stopped() && !documented(phase->code))
                return "the run gave the undocumented codes " + codesOf(*run);
    }
    if (again.bytes() != repaired || second.audio.is(PhaseState::done) ||
        second.video.is(PhaseState::done))
        return "a second run changed the file (" + codesOf(second) + ")";
    if (first.parse.is(PhaseState::done) && !second.parse.is(PhaseState::done))
        return "the repaired file fails to parse (" + codesOf(second) + ")";
    if ((first.audio.is(PhaseState::done) && !second.check.is(PhaseState::nothingToDo)) ||
        (first.video.is(PhaseState::done) && !second.video.is(PhaseState::nothingToDo)))
        return "a second run finds a repair left to make (" + codesOf(second) + ")";

    io::File file;
    if (ResultCode rc = file.open(scratch().write("input.mov", original), io::OpenMode::readWrite);
        rc != 0)
        return "cannot open the scratch file: " + std::to_string(rc);
    mp4::File fileTree;
    boxmend::repair::DirectoryJournal journal(scratch().file("input.mov"));
    const auto onDisk =
        boxmend::repair::runRepairs(file, fileTree, boxmend::repair::RunMode::apply, {journal, {}});
    file.close();
    if (codesOf(onDisk) != codesOf(first) || scratch().read("input.mov") != repaired)
        return "the run on a file on disk ends otherwise (" + codesOf(onDisk) +
               ") than in memory (" + codesOf(first) + ")";
    return {};
}

} // namespace fuzzcheck
