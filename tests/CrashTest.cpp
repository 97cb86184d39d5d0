// Every run of boxmend is one transaction: cut it short anywhere, by a power
// cut, a write or a flush that fails, or a device that drops a write, and
// one more run leaves the recording exactly repaired. A disk simulated in
// memory keeps writes in a page cache until they are flushed; when the power
// fails, any subset of the unflushed 512-byte sectors may have reached it.

#include "mediafmt/mp4/File.h"
#include "tests/support/CameraFile.h"
#include "tests/support/FaultyStream.h"
#include "tool/repair/FileRun.h"
#include "tool/repair/Journal.h"
#include "tool/repair/Messages.h"
#include "tool/repair/RepairRun.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace testsupport;
using namespace mediafmt;
using namespace boxmend::repair;

namespace {

constexpr std::size_t sector = 512;

enum class Fault { none, powerCut, writeFails, flushFails, writeDropped };

// A recording on a disk with a page cache, and the journal store beside it.
// Writes, flushes and the journal's saves and removals are its operations,
// counted from 0; one of them can be made to fail.
class SimulatedDisk final : public io::Io, public JournalStore {
public:
    explicit SimulatedDisk(Bytes device, std::optional<Bytes> journal = std::nullopt)
        : device_(std::move(device)), journal_(std::move(journal)) {}

    // As a read-only directory does.
    bool refusesJournal = false;

    void arm(Fault fault, int at) {
        fault_ = fault;
        faultAt_ = at;
    }
    // One letter per operation: w(rite), f(lush), s(ave) or r(emove) the journal.
    const std::string& log() const { return log_; }
    std::size_t unflushedSectors() const { return cache_.size(); }
    bool hasJournal() const { return journal_.has_value(); }
    const Bytes& device() const { return device_; }

    // What reaches the device when the power fails: the sectors of the
    // cache whose bit is set in keep.
    SimulatedDisk reboot(std::uint32_t keep) const {
        Bytes kept = device_;
        std::uint32_t bit = 1;
        for (const auto& [index, bytes] : cache_) {
            if ((keep & bit) != 0)
                std::copy(bytes.begin(), bytes.end(),
                          kept.begin() + static_cast<std::ptrdiff_t>(index * sector));
            bit <<= 1;
        }
        return SimulatedDisk(kept, journal_);
    }
    // The file as a program reads it: the cache over the device.
    Bytes view() const { return reboot(~0u).device_; }

    ResultCode read(void* buffer, std::uint64_t count, std::uint64_t& got) override {
        const Bytes now = view();
        got = position_ < now.size() ? std::min<std::uint64_t>(count, now.size() - position_) : 0;
        std::memcpy(buffer, now.data() + position_, got);
        position_ += got;
        return dead_ ? result::readError : result::none;
    }
    ResultCode write(const void* buffer, std::uint64_t count, std::uint64_t& put) override {
        const Fault fault = next('w');
        put = 0;
        if (dead_)
            return result::writeError;
        if (fault == Fault::writeFails)
            count /= 2; // part of the write is made before it fails
        for (; put < count && position_ < device_.size(); ++put, ++position_) {
            Bytes& cached = cached_(position_ / sector);
            cached[position_ % sector] = static_cast<const std::uint8_t*>(buffer)[put];
            if (fault == Fault::writeDropped)
                dropped_.push_back(position_ / sector);
        }
        return fault == Fault::writeFails ? result::writeError : result::none;
    }
    ResultCode flush() override {
        if (const Fault fault = next('f'); dead_ || fault == Fault::flushFails)
            return result::writeError;
        for (const auto& [index, bytes] : cache_) {
            if (std::find(dropped_.begin(), dropped_.end(), index) == dropped_.end())
                std::copy(bytes.begin(), bytes.end(),
                          device_.begin() + static_cast<std::ptrdiff_t>(index * sector));
        }
        // A dropped write is lost once: later writes to its sectors arrive.
        cache_.clear();
        dropped_.clear();
        return result::none;
    }
    // What the device holds, as a read past the cache finds it.
    ResultCode readBack(std::uint64_t offset, void* buffer, std::uint64_t count) override {
        if (dead_ || offset + count > device_.size())
            return result::readError;
        std::memcpy(buffer, device_.data() + offset, count);
        return result::none;
    }
    ResultCode seek(std::int64_t offset, io::SeekOrigin origin) override {
        position_ =
            static_cast<std::uint64_t>(offset) + (origin == io::SeekOrigin::current ? position_
                                                  : origin == io::SeekOrigin::end   ? device_.size()
                                                                                    : 0);
        return result::none;
    }
    ResultCode tell(std::uint64_t& position) override {
        position = position_;
        return result::none;
    }
    ResultCode eof(bool& atEnd) override {
        atEnd = position_ >= device_.size();
        return result::none;
    }

    // The journal is saved whole or not at all, as its rename makes it.
    ResultCode load(Bytes& bytes) override {
        if (!journal_)
            return result::noOp;
        bytes = *journal_;
        return result::none;
    }
    ResultCode save(const Bytes& bytes, SaveTrouble& trouble) override {
        if (refusesJournal)
            trouble = SaveTrouble::refused;
        if (const Fault fault = next('s'); dead_ || refusesJournal || fault == Fault::writeFails)
            return result::writeError;
        journal_ = bytes;
        return result::none;
    }
    ResultCode remove() override {
        if (const Fault fault = next('r'); dead_ || fault == Fault::writeFails)
            return result::error;
        journal_.reset();
        return result::none;
    }
    std::string name() const override { return "journal"; }

private:
    // Counts an operation; a power cut stops every later one.
    Fault next(char kind) {
        const Fault fault = static_cast<int>(log_.size()) == faultAt_ ? fault_ : Fault::none;
        log_ += kind;
        dead_ = dead_ || fault == Fault::powerCut;
        return fault;
    }
    Bytes& cached_(std::uint64_t index) {
        auto at = cache_.find(index);
        if (at == cache_.end()) {
            // The last sector holds what is left of the file.
            const auto from = device_.begin() + static_cast<std::ptrdiff_t>(index * sector);
            const auto to = from + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                       sector, device_.size() - index * sector));
            at = cache_.emplace(index, Bytes(from, to)).first;
        }
        return at->second;
    }

    Bytes device_;
    std::optional<Bytes> journal_;
    std::map<std::uint64_t, Bytes> cache_;
    std::vector<std::uint64_t> dropped_;
    std::uint64_t position_ = 0;
    Fault fault_ = Fault::none;
    int faultAt_ = -1;
    std::string log_;
    bool dead_ = false;
};

struct Outcome {
    std::vector<std::string> lines;
    int status = 0;

    bool reportsCorrection() const {
        return std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("Corrected error", 0) == 0;
        });
    }
};

// A run of boxmend on the file, with its journal kept by the same fake.
template <typename Disk> Outcome repair(Disk& disk, RunOutcome* outcome = nullptr) {
    Outcome run;
    run.status = repairOpenFile(disk, {disk, {}}, "clip.mov", run.lines, outcome);
    return run;
}

// A run on the file with the journal beside it, which it must refuse: the
// file is left as it was and the journal kept. Gives what the run said.
std::vector<std::string> refused(const Bytes& file, const Bytes& journal) {
    SimulatedDisk disk(file, journal);
    const Outcome run = repair(disk);
    EXPECT_EQ(run.status, exitStatus::journalTrouble);
    EXPECT_EQ(disk.view(), file);
    EXPECT_TRUE(disk.hasJournal());
    return run.lines;
}

// The repairs a run would make of the file, planned without writing.
RunOutcome plans(SimulatedDisk& disk) {
    mp4::File tree;
    return runRepairs(disk, tree, RunMode::planOnly, {disk, {}});
}

// The file with only the given steps of the plan written.
Bytes withSteps(Bytes file, const RepairPlan& plan, std::vector<std::uint32_t> steps) {
    for (const ByteChange& change : plan.changes) {
        if (std::find(steps.begin(), steps.end(), change.step) != steps.end())
            std::copy(change.bytes.begin(), change.bytes.end(),
                      file.begin() + static_cast<std::ptrdiff_t>(change.offset));
    }
    return file;
}

// A recording with both defects whose changed table bytes straddle a
// sector boundary: padding before moov moves them there.
Bytes straddlingRecording() {
    Recording recording;
    recording.audioChunks = 8;
    const Bytes plain = cameraRecording(recording);
    SimulatedDisk disk(plain);
    const std::vector<ByteChange> changes = plans(disk).audioPlan.changes;
    const std::uint64_t middle = (changes.front().offset + changes.back().offset) / 2;
    std::uint64_t padding = sector - middle % sector;
    padding += padding < 8 ? sector : 0;
    const auto at = plain.begin() + static_cast<std::ptrdiff_t>(offsetOf(plain, "moov"));
    return concat(
        {Bytes(plain.begin(), at), box("free", {zeros(padding - 8)}), Bytes(at, plain.end())});
}

// The straddling recording, what a run without faults makes of it and the
// operations it takes, and the journal a run cut short after saving it leaves.
class Crash : public testing::Test {
protected:
    void SetUp() override {
        SimulatedDisk clean(original);
        ASSERT_EQ(repair(clean).status, 0);
        ASSERT_FALSE(clean.hasJournal());
        ASSERT_NE(clean.device(), original);
        repaired = clean.device();
        operations = clean.log();
        SimulatedDisk killed(original);
        killed.arm(Fault::powerCut, 1);
        (void)repair(killed);
        ASSERT_EQ(killed.load(journal), 0u);
        ASSERT_EQ(decodeJournal(journal, decoded), Decoded::whole);
    }

    const Bytes original = straddlingRecording();
    Bytes repaired;
    std::string operations;
    Bytes journal;
    Journal decoded;
};

} // namespace

TEST_F(Crash, EveryInterruptedRunIsCompletedExactlyByTheNext) {
    for (Fault fault :
         {Fault::powerCut, Fault::writeFails, Fault::flushFails, Fault::writeDropped}) {
        for (int at = 0; at < static_cast<int>(operations.size()); ++at) {
            SimulatedDisk disk(original);
            disk.arm(fault, at);
            const Outcome first = repair(disk);
            ASSERT_LE(disk.unflushedSectors(), 16u);
            for (std::uint32_t keep = 0; keep < (1u << disk.unflushedSectors()); ++keep) {
                SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault)) + " at operation " +
                             std::to_string(at) + ", sectors kept " + std::to_string(keep));
                SimulatedDisk after = disk.reboot(keep);
                // A correction is reported only for a file that is repaired
                // or whose journal is there to complete it.
                if (first.reportsCorrection()) {
                    EXPECT_TRUE(after.device() == repaired || after.hasJournal());
                }
                // The same file whose journal was lost, as when only the
                // file is copied off the card: completed exactly, or refused
                // and left as the fault left it.
                SimulatedDisk alone(after.view());
                const Outcome next = repair(after);
                EXPECT_EQ(after.view(), repaired);
                EXPECT_FALSE(after.hasJournal());
                EXPECT_NE(next.status, exitStatus::journalTrouble);
                const Bytes torn = alone.view();
                const Outcome without = repair(alone);
                if (alone.view() != repaired) {
                    EXPECT_EQ(alone.view(), torn);
                    EXPECT_NE(without.status, 0);
                    EXPECT_FALSE(without.reportsCorrection());
                }
            }
        }
    }
}

TEST_F(Crash, ARunThatCompletesAJournalReportsItsRepairs) {
    SimulatedDisk disk(original);
    disk.arm(Fault::flushFails, static_cast<int>(operations.find('f')));
    const Outcome failed = repair(disk);
    EXPECT_EQ(failed.lines, std::vector<std::string>{
                                "error 11 (I/O write error) repairing audio track clip.mov"});
    EXPECT_EQ(failed.status, exitStatus::audioRepairFailed);
    ASSERT_TRUE(disk.hasJournal());

    // A completion that fails ends the run there: no fresh repair after it.
    SimulatedDisk failing = disk.reboot(0);
    failing.arm(Fault::writeFails, 0);
    EXPECT_EQ(repair(failing).status, exitStatus::audioRepairFailed);
    EXPECT_EQ(failing.log(), "w");
    EXPECT_TRUE(failing.hasJournal());

    // The journal of the video entry's repair alone is shown as that.
    Recording videoOnly;
    videoOnly.audioDefective = false;
    SimulatedDisk killedVideo(cameraRecording(videoOnly));
    killedVideo.arm(Fault::powerCut, 1);
    (void)repair(killedVideo);
    SimulatedDisk inspected = killedVideo.reboot(0);
    EXPECT_EQ(plans(inspected).recovery.kinds, videoRepair);

    SimulatedDisk rebooted = disk.reboot(0);
    const Outcome completed = repair(rebooted);
    EXPECT_EQ(completed.lines,
              (std::vector<std::string>{"Corrected error in Ambisonic Audio Track Format Header",
                                        "Corrected error in Lumacode Video Track Format Header",
                                        "No issues found in Lumacode Video Track"}));
    EXPECT_EQ(completed.status, 0);
}

TEST_F(Crash, WithoutAJournalTheWritesComeInTheSameFlushedSteps) {
    SimulatedDisk disk(original);
    disk.refusesJournal = true;
    EXPECT_EQ(repair(disk).status, 0);
    EXPECT_EQ(disk.device(), repaired);
    // Every byte no check reads, the video entry's among them, then the
    // sizes box's size, the first samples-per-chunk, the time-to-sample
    // delta and its count, each flushed; no removal.
    EXPECT_EQ(disk.log(), "s" + std::string(5, 'w') + "f" + "wfwfwfwf");

    // Any other failure to write the journal refuses the repair untouched.
    SimulatedDisk full(original);
    full.arm(Fault::writeFails, 0);
    EXPECT_EQ(repair(full).lines,
              std::vector<std::string>{
                  "error 11 (I/O write error) writing the repair journal for clip.mov"});
    EXPECT_EQ(full.view(), original);
}

TEST_F(Crash, AFileThatDoesNotMatchItsJournalIsLeftAlone) {
    // Something else changed a byte the journal records.
    Bytes changed = original;
    changed[decoded.repairs.front().changes.front().offset] ^= 0x55;
    EXPECT_EQ(refused(changed, journal),
              std::vector<std::string>{"The repair journal journal does not match file clip.mov; "
                                       "nothing was changed, and the journal is kept"});

    // A journal whose checksum fails was never acted on: it goes, the run
    // goes on. One that another version wrote is kept for that version.
    // A journal changed in one byte, its checksum made to hold again.
    const auto edited = [this](std::size_t at, std::uint8_t value, bool longer = false) {
        Bytes bytes = journal;
        if (longer)
            bytes.insert(bytes.end() - 4, 0);
        bytes[at] = value;
        const auto crc = crc32(0, bytes.data(), static_cast<uInt>(bytes.size() - 4));
        std::copy_n(be(crc, 4).begin(), 4, bytes.end() - 4);
        return bytes;
    };
    refused(original, edited(11, 3));
    // Whole in either version; of another version; damaged in its tag, a
    // repair's kind, the count of repairs, its length, or a box path said
    // to be 2 GiB long, though the checksum holds; cut anywhere.
    const std::pair<Bytes, Decoded> decodings[] = {
        {journal, Decoded::whole},
        {edited(11, 1), Decoded::whole},
        {edited(11, 0), Decoded::otherVersion},
        {edited(0, 'b'), Decoded::damaged},
        {edited(43, 3), Decoded::damaged},
        {edited(39, 3), Decoded::damaged},
        {edited(0, 'B', true), Decoded::damaged},
        {edited(44, 0x7F), Decoded::damaged},
    };
    for (const auto& [bytes, expected] : decodings) {
        Journal read;
        EXPECT_EQ(decodeJournal(bytes, read), expected);
        if (expected == Decoded::whole) {
            EXPECT_EQ(encodeJournal(read), bytes);
        }
    }
    for (std::size_t length = 0; length < journal.size(); ++length) {
        Journal cut;
        const Bytes head(journal.begin(), journal.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(decodeJournal(head, cut), Decoded::damaged) << length;
    }
    // A journal that would write past the end of the file is refused before
    // any of the file is read.
    FaultyStream file(original);
    Journal beyond;
    beyond.fileLength = original.size();
    beyond.repairs.push_back({audioRepair, "moov", {}, 0, original.size() + 1});
    SaveTrouble trouble{};
    ASSERT_EQ(file.save(encodeJournal(beyond), trouble), 0u);
    std::vector<std::string> lines;
    EXPECT_EQ(repairOpenFile(file, file.journaling(), "clip.mov", lines),
              exitStatus::journalTrouble);
    EXPECT_EQ(file.calls(FaultyStream::Call::read), 0u);

    journal.back() ^= 1;
    SimulatedDisk damaged(original, journal);
    EXPECT_EQ(repair(damaged).status, 0);
    EXPECT_FALSE(damaged.hasJournal());
}

// A journal can only finish the repair a fresh run would make of the file as
// it was, and only when the file is that repair stopped in its write order:
// anyone who can put a file in the folder can write a journal whose
// checksum holds.
TEST_F(Crash, AJournalIsObeyedOnlyForTheRepairAFreshRunWouldMake) {
    ASSERT_EQ(decoded.repairs.size(), 2u);
    // The plans with their write order, which a journal does not record.
    SimulatedDisk planned(original);
    const RunOutcome run = plans(planned);
    const std::uint64_t mdat = offsetOf(original, "mdat") + 8;
    const std::uint64_t timescale = offsetOf(original, "mvhd") + 20;

    using Forge = std::function<void(Journal&)>;
    const std::vector<std::pair<const char*, Forge>> forgeries = {
        {"zeros over the whole file",
         [&](Journal& j) {
             j.repairs = {{audioRepair, "moov", {}, 0, original.size()}};
         }},
        {"bytes in the media data, with their true originals",
         [&](Journal& j) {
             const Bytes now(original.begin() + static_cast<std::ptrdiff_t>(mdat),
                             original.begin() + static_cast<std::ptrdiff_t>(mdat + 6));
             j.repairs[0].changes.push_back({mdat, Bytes(6, 0xEE), now});
         }},
        {"a changed movie timescale",
         [&](Journal& j) {
             j.repairs[0].changes.push_back({timescale,
                                             {static_cast<std::uint8_t>(original[timescale] ^ 1)},
                                             {original[timescale]}});
         }},
        {"other new values for a table",
         [&](Journal& j) { j.repairs[0].changes.back().bytes.back() ^= 0x10; }},
        {"a change reaching past the end of the file",
         [&](Journal& j) {
             j.repairs[1].changes.push_back({original.size() - 1, {1, 2}, {original.back(), 0}});
         }},
        {"the fill 4 KiB past the filler", [&](Journal& j) { j.repairs[0].fillOffset += 4096; }},
        {"the audio repair's bytes under the video kind",
         [&](Journal& j) { std::swap(j.repairs[0].kind, j.repairs[1].kind); }},
        {"the video repair alone", [&](Journal& j) { j.repairs.erase(j.repairs.begin()); }},
    };
    for (const auto& [what, forge] : forgeries) {
        SCOPED_TRACE(what);
        Journal forged = decoded;
        forge(forged);
        refused(original, encodeJournal(forged));
    }
    // The same bytes split otherwise, with an empty change at the very end
    // of the file, are the same repair: it is completed.
    Journal split = decoded;
    std::vector<ByteChange>& changes = split.repairs[0].changes;
    const ByteChange last = changes.back();
    ASSERT_GE(last.bytes.size(), 2u);
    changes.back().bytes.resize(1);
    changes.back().original.resize(1);
    changes.push_back({last.offset + 1, Bytes(last.bytes.begin() + 1, last.bytes.end()),
                       Bytes(last.original.begin() + 1, last.original.end())});
    changes.push_back({original.size(), {}, {}});
    SimulatedDisk resplit(original, encodeJournal(split));
    EXPECT_EQ(repair(resplit).status, 0);
    EXPECT_EQ(resplit.view(), repaired);

    // A forged original cannot make a healthy file defective: the time-to-
    // sample entry the journal says was (n, 1024) is already (1024 n, 1),
    // but the sample-to-chunk table before it in the write order is not.
    const Bytes healthy = withSteps(original, run.audioPlan, {3, 4});
    SimulatedDisk alone(healthy);
    EXPECT_EQ(repair(alone).lines,
              std::vector<std::string>{"Corrected error in Lumacode Video Track Format Header"});
    refused(healthy, journal);

    // The released program's journals (version 1) wrote each repair whole,
    // the audio track first; they are held to that order.
    Journal first = decoded;
    first.version = 1;
    refused(withSteps(original, run.videoPlan, {0}), encodeJournal(first));

    // A journal whose every byte is already written writes nothing and says
    // nothing, and one that cannot be removed is left to the user.
    SimulatedDisk done(repaired, journal);
    done.arm(Fault::writeFails, 0);
    EXPECT_EQ(repair(done).lines,
              (std::vector<std::string>{
                  "Warning: the repair journal journal could not be removed; remove it by hand",
                  "No issues found in Lumacode Video Track"}));
    EXPECT_EQ(done.log(), "r");
}

// A device that stores a write somewhere other than where it was sent: the
// run puts the header back as it was parsed, removes the journal and says
// so, and the next run on a sound device makes the repair exactly. When the
// device misplaces the writes that put it back too, the journal is kept and
// the recording is said to be possibly damaged. No correction is ever
// reported over a header that is not the exact repair.
TEST_F(Crash, AWriteStoredElsewhereIsUndoneOrTheJournalKept) {
    // The header, which runs to the end of the file.
    const auto moovAt = static_cast<std::ptrdiff_t>(offsetOf(original, "moov"));
    const auto moovOf = [moovAt](const Bytes& file) {
        return Bytes(file.begin() + moovAt, file.end());
    };
    const auto writes =
        static_cast<std::uint64_t>(std::count(operations.begin(), operations.end(), 'w'));
    int putBack = 0;
    int damaged = 0;

    for (bool onward : {false, true}) {
        for (std::int64_t shift : {-4096, -46, -1, 1, 4096}) {
            for (std::uint64_t nth = 1; nth <= writes; ++nth) {
                SCOPED_TRACE("shift " + std::to_string(shift) + " from write " +
                             std::to_string(nth) + (onward ? " on" : " only"));
                FaultyStream disk(original);
                disk.misplaceWrites(shift, nth, onward);
                RunOutcome run;
                const Outcome first = repair(disk, &run);
                const Bytes after = disk.bytes();
                // Bytes that land where they change nothing are not seen,
                // nor need to be.
                if (first.reportsCorrection()) {
                    EXPECT_EQ(moovOf(after), moovOf(repaired));
                    continue;
                }
                ASSERT_TRUE(run.misplacedWrites && run.restore);
                EXPECT_EQ(run.restore->state == RestoreState::restored, disk.journal().empty());
                if (!disk.journal().empty()) {
                    ++damaged;
                    EXPECT_EQ(first.lines.back(), message::mayBeDamaged("clip.mov", "journal"));
                    EXPECT_TRUE(onward);
                    continue;
                }
                ++putBack;
                EXPECT_EQ(first.status, exitStatus::audioRepairFailed);
                EXPECT_EQ(first.lines, std::vector<std::string>{message::putBack("clip.mov")});
                EXPECT_EQ(moovOf(after), moovOf(original));
                // A write that landed in the media data is not seen; the
                // header around it is repaired all the same.
                SimulatedDisk sound(after);
                EXPECT_EQ(repair(sound).status, 0);
                EXPECT_EQ(moovOf(sound.view()), moovOf(repaired));
                if (std::equal(original.begin(), original.begin() + moovAt, after.begin())) {
                    EXPECT_EQ(sound.view(), repaired);
                }
            }
        }
    }
    EXPECT_NE(putBack, 0);
    EXPECT_NE(damaged, 0);
}
