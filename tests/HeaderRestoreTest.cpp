// A device that stores a repair's writes somewhere other than where they were
// sent must end with the header exactly as it was parsed, proved block by
// block against a fingerprint taken while parsing, or be said to be possibly
// damaged: never claimed restored on bytes nothing vouches for.

#include "tool/repair/HeaderRestore.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/BaseBoxes.h"
#include "tests/support/CameraFile.h"
#include "tests/support/FaultyStream.h"
#include "tool/repair/Planning.h"
#include "tool/repair/ReadFingerprint.h"
#include "tool/repair/WriteOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace testsupport;
using namespace mediafmt;
using namespace boxmend::repair;

namespace {

constexpr std::uint64_t blockSize = ReadFingerprint::blockSize;

// A camera recording whose header reaches more than a block either side of
// what the repairs write: free boxes open and close it, the last one large
// enough for a parse on demand to read it straight into its own memory.
Bytes recording() {
    Bytes bytes = cameraRecording();
    const auto moov = static_cast<std::size_t>(offsetOf(bytes, "moov"));
    const Bytes opening = box("free", {Bytes(4992, 0x5C)});
    const Bytes closing = box("free", {Bytes(70000, 0x5E)});
    const Bytes payload(bytes.begin() + static_cast<std::ptrdiff_t>(moov) + 8, bytes.end());
    bytes.resize(moov);
    return concat({bytes, box("moov", {opening, payload, closing})});
}

// A recording parsed through a fingerprint, and its repairs planned.
struct Trial {
    Trial(const Bytes& bytes, bool onDemand = false) : disk(bytes, onDemand), fingerprint(disk) {
        planRepairs(fingerprint, tree, RunMode::apply, planned);
        repairs = planned.repairsToMake();
        moov = tree.find("moov");
        fingerprint.keepOnly(moov->offset, moov->recordedSize);
        for (const RepairPlan& repair : repairs) {
            for (const ByteChange& change : repair.changes)
                written.push_back({change.offset, change.original.size(), change.original.data()});
            written.push_back({repair.fillOffset, repair.fillLength, nullptr});
        }
    }

    bool headerFingerprinted() const {
        const std::uint64_t end = moov->offset + moov->recordedSize;
        for (std::uint64_t block = moov->offset / blockSize; block * blockSize < end; ++block) {
            ReadFingerprint::Run run;
            if (!fingerprint.run(block, run) ||
                run.begin > std::max(block * blockSize, moov->offset) ||
                run.end < std::min(block * blockSize + blockSize, end))
                return false;
        }
        return true;
    }

    // Writes the repairs through a device that stores them shift bytes
    // away from where they were sent, from its nth write on; after them it
    // stores writes in place again.
    void writeMisplaced(std::int64_t shift, std::uint64_t nth = 1) {
        disk.misplaceWrites(shift, nth);
        EXPECT_FALSE(writeRepairs(disk, repairs, outcomes));
        disk.misplaceWrites(0);
    }
    RestoreOutcome restore() { return restoreHeader(disk, tree, fingerprint, written); }

    FaultyStream disk;
    ReadFingerprint fingerprint;
    mp4::File tree;
    mp4::box::BoxPtr moov;
    PlannedRepairs planned;
    std::vector<RepairPlan> repairs;
    std::vector<PhaseOutcome> outcomes;
    std::vector<WrittenRange> written;
};

} // namespace

TEST(HeaderRestore, RepairWritesStoredElsewhereAreUndoneExactly) {
    const Bytes original = recording();
    for (bool onDemand : {false, true}) {
        for (std::int64_t shift : {-4096, -46, -1, 1, 4096}) {
            SCOPED_TRACE("shift " + std::to_string(shift) + (onDemand ? ", on demand" : ""));
            Trial trial(original, onDemand);
            ASSERT_EQ(trial.repairs.size(), 2u);
            EXPECT_TRUE(trial.headerFingerprinted());
            trial.writeMisplaced(shift);
            EXPECT_NE(trial.disk.bytes(), original);

            const RestoreOutcome outcome = trial.restore();
            EXPECT_EQ(outcome.state, RestoreState::restored) << outcome.reason;
            EXPECT_NE(outcome.bytesWritten, 0u);
            EXPECT_EQ(trial.disk.bytes(), original);
        }
    }
}

TEST(HeaderRestore, WhatCannotBeProvedOrPutBackIsSaidToBeDamaged) {
    const Bytes original = recording();
    // The header's blocks but its last left without a fingerprint: only the
    // repair's own written ranges may differ there.
    const auto lastBlockOnly = [](Trial& trial) {
        trial.fingerprint.keepOnly(trial.moov->offset + trial.moov->recordedSize - 1, 1);
    };
    {
        // The device misplaces the restore's writes too.
        Trial trial(original);
        trial.writeMisplaced(-46);
        trial.disk.misplaceWrites(-46);
        const RestoreOutcome outcome = trial.restore();
        EXPECT_EQ(outcome.state, RestoreState::notRestored);
        EXPECT_NE(outcome.reason.find("did not read back as parsed"), std::string::npos);
        EXPECT_EQ(outcome.failure, 0u);
    }
    {
        // Stray bytes where nothing was written, in blocks never fingerprinted:
        // nothing is written back.
        Trial trial(original);
        lastBlockOnly(trial);
        trial.writeMisplaced(-46);
        const Bytes damaged = trial.disk.bytes();
        const RestoreOutcome outcome = trial.restore();
        EXPECT_EQ(outcome.state, RestoreState::notRestored);
        EXPECT_NE(outcome.reason.find("did not read whole"), std::string::npos);
        EXPECT_EQ(trial.disk.bytes(), damaged);
    }
    {
        // There, the first write in place and the others lost beyond the
        // file: the written ranges' originals put it back.
        Trial trial(original);
        lastBlockOnly(trial);
        trial.writeMisplaced(std::int64_t{1} << 40, 2);
        EXPECT_EQ(trial.restore().state, RestoreState::restored);
        EXPECT_EQ(trial.disk.bytes(), original);
    }
    {
        // A tree that no longer encodes to what was parsed where the device
        // differs: nothing is written back.
        Trial trial(original);
        auto free = std::dynamic_pointer_cast<mp4::box::free>(trial.moov->find("free"));
        std::fill(free->data.elements.begin(), free->data.elements.end(), 0x5D);
        trial.writeMisplaced(-4096);
        const Bytes damaged = trial.disk.bytes();
        const RestoreOutcome outcome = trial.restore();
        EXPECT_NE(outcome.reason.find("cannot be rebuilt"), std::string::npos);
        EXPECT_EQ(trial.disk.bytes(), damaged);
    }
    {
        // A read-back that fails.
        Trial trial(original);
        trial.writeMisplaced(1);
        trial.disk.failAt(FaultyStream::Call::read, trial.disk.calls(FaultyStream::Call::read) + 1,
                          result::readError);
        const RestoreOutcome outcome = trial.restore();
        EXPECT_EQ(outcome.state, RestoreState::notRestored);
        EXPECT_EQ(outcome.failure, result::readError);
    }
}

TEST(HeaderRestore, FingerprintFollowsReadsInOrderAcrossReReadsAndJumps) {
    Bytes bytes(5 * blockSize + 100);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 251);
    FaultyStream disk(bytes, true);
    ReadFingerprint fingerprint(disk);
    EXPECT_TRUE(fingerprint.canReadOnDemand());
    Bytes buffer(bytes.size());
    std::uint64_t got = 0;
    // Each a seek, then a read; the fingerprint learns where a seek from
    // the current position leads by asking the stream.
    using io::SeekOrigin;
    const std::tuple<SeekOrigin, std::int64_t, std::uint64_t> reads[] = {
        {SeekOrigin::begin, 100, 50},     // a run begins mid-block
        {SeekOrigin::current, 0, 5000},   // goes on into the next block
        {SeekOrigin::begin, 5000, 200},   // read again, and on
        {SeekOrigin::current, 3800, 10},  // a run begins in the third block, at 9000
        {SeekOrigin::begin, 8500, 600},   // a longer one from before it replaces it
        {SeekOrigin::begin, 9500, 10},    // after a gap: shorter, not kept
        {SeekOrigin::begin, 5200, 100},   // a block left is not taken up again
        {SeekOrigin::begin, 0, 50},       // before the first run: shorter
        {SeekOrigin::begin, 12288, 4196}, // a whole block, and a run to the end
    };
    for (const auto& [origin, offset, count] : reads) {
        ASSERT_EQ(fingerprint.seek(offset, origin), 0u);
        ASSERT_EQ(fingerprint.read(buffer.data(), count, got), 0u);
    }
    const std::uint64_t seen[][2] = {
        {100, 4096}, {4096, 5200}, {8500, 9100}, {12288, 16384}, {16384, 16484}};
    for (std::uint64_t block = 0; block < 5; ++block) {
        ReadFingerprint::Run run;
        ASSERT_TRUE(fingerprint.run(block, run));
        EXPECT_EQ(run.begin, seen[block][0]);
        EXPECT_EQ(run.end, seen[block][1]);
        EXPECT_EQ(run.checksum, blockChecksum(bytes.data() + run.begin, run.end - run.begin));
    }
    ReadFingerprint::Run run;
    EXPECT_FALSE(fingerprint.run(5, run));

    // The other calls reach the stream; a write ends the recording.
    std::uint64_t length = 0;
    bool atEnd = true;
    EXPECT_EQ(fingerprint.size(length), 0u);
    EXPECT_EQ(length, bytes.size());
    EXPECT_EQ(fingerprint.eof(atEnd), 0u);
    EXPECT_FALSE(atEnd);
    EXPECT_EQ(fingerprint.flush(), 0u);
    EXPECT_EQ(disk.calls(FaultyStream::Call::flush), 1u);
    EXPECT_EQ(fingerprint.readBack(12000, buffer.data(), 10), 0u);
    EXPECT_EQ(buffer[0], bytes[12000]);
    ASSERT_EQ(fingerprint.seek(12100, io::SeekOrigin::begin), 0u);
    EXPECT_EQ(fingerprint.write(buffer.data(), 10, got), 0u);
    EXPECT_EQ(disk.bytes()[12100], bytes[12000]);
    ASSERT_EQ(fingerprint.seek(20480, io::SeekOrigin::begin), 0u);
    ASSERT_EQ(fingerprint.read(buffer.data(), 10, got), 0u);
    EXPECT_FALSE(fingerprint.run(5, run));

    fingerprint.keepOnly(5000, 4000);
    EXPECT_FALSE(fingerprint.run(0, run));
    EXPECT_TRUE(fingerprint.run(1, run));
    EXPECT_TRUE(fingerprint.run(2, run));
}
