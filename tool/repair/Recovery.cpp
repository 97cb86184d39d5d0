#include "tool/repair/Recovery.h"

#include "tool/repair/PatchedStream.h"
#include "tool/repair/Planning.h"
#include "tool/repair/WriteOrder.h"

#include <algorithm>
#include <tuple>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t fileLength) {
    return offset <= fileLength && length <= fileLength - offset;
}

// Every byte a plan changes, as (offset, new, original), in offset order.
using ByteWrite = std::tuple<std::uint64_t, std::uint8_t, std::uint8_t>;
std::vector<ByteWrite> byteWrites(const RepairPlan& plan) {
    std::vector<ByteWrite> writes;
    for (const ByteChange& change : plan.changes) {
        for (std::size_t i = 0; i < change.bytes.size(); ++i)
            writes.emplace_back(change.offset + i, change.bytes[i], change.original[i]);
    }
    std::sort(writes.begin(), writes.end());
    return writes;
}

// Whether two plans are the same repair: the same kind, leaving the same
// bytes on disk, however their runs are split.
bool sameRepair(const RepairPlan& a, const RepairPlan& b) {
    const bool sameFill =
        a.fillLength == b.fillLength && (a.fillLength == 0 || a.fillOffset == b.fillOffset);
    return a.kind == b.kind && sameFill && byteWrites(a) == byteWrites(b);
}

// Whether the journal's repairs are those a fresh run plans for the file as
// it was before them, all within the file as it is now; found is pending,
// completed or mismatch. The fresh plans, whose steps the journal does not
// record, are given in the write order of the journal's version; a failed
// read gives its code.
ResultCode matchJournal(io::Io& stream, const Journal& journal, std::vector<RepairPlan>& fresh,
                        JournalFound& found) {
    found = JournalFound::mismatch;
    std::uint64_t length = 0;
    if (ResultCode rc = stream.size(length); rc != 0)
        return rc;
    if (length != journal.fileLength)
        return result::none;
    std::vector<Patch> originals;
    for (const RepairPlan& repair : journal.repairs) {
        if (!within(repair.fillOffset, repair.fillLength, length))
            return result::none;
        for (const ByteChange& change : repair.changes) {
            if (!within(change.offset, change.bytes.size(), length))
                return result::none;
            originals.push_back({change.offset, &change.original});
        }
    }

    // The repairs a fresh run makes of the file as it was before the journal's run.
    PatchedStream before(stream, std::move(originals));
    mp4::File tree;
    PlannedRepairs planned;
    planRepairs(before, tree, RunMode::apply, planned);
    fresh = planned.repairsToMake();
    if (fresh.size() != journal.repairs.size())
        return result::none;
    for (const RepairPlan& recorded : journal.repairs) {
        if (std::none_of(fresh.begin(), fresh.end(),
                         [&](const RepairPlan& r) { return sameRepair(r, recorded); }))
            return result::none;
    }
    if (journal.version == firstJournalVersion)
        useFirstVersionOrder(fresh);

    Reached reached = Reached::outOfOrder;
    if (ResultCode rc = howFarWritten(stream, fresh, reached); rc != 0)
        return rc;
    found = reached == Reached::whole     ? JournalFound::completed
            : reached == Reached::partway ? JournalFound::pending
                                          : JournalFound::mismatch;
    return result::none;
}

} // namespace

bool Recovery::allowsRun() const {
    if (found == JournalFound::mismatch || found == JournalFound::otherVersion ||
        found == JournalFound::unreadable)
        return false;
    return (!audio.ran() || audio.is(PhaseState::done)) &&
           (!video.ran() || video.is(PhaseState::done));
}

Recovery recoverJournal(io::Io& stream, const Journaling& journaling, RunMode mode) {
    const bool apply = mode == RunMode::apply;
    Recovery recovery;
    std::vector<std::uint8_t> bytes;
    const ResultCode loaded = journaling.store.load(bytes);
    if (loaded == result::noOp)
        return recovery;
    if (loaded != 0) {
        recovery.found = JournalFound::unreadable;
        recovery.code = loaded;
        return recovery;
    }
    Journal journal;
    switch (decodeJournal(bytes, journal)) {
    case Decoded::damaged:
        recovery.found = JournalFound::damaged;
        if (apply)
            (void)journaling.store.remove();
        return recovery;
    case Decoded::otherVersion:
        recovery.found = JournalFound::otherVersion;
        return recovery;
    case Decoded::whole:
        break;
    }
    recovery.kinds = journal.kinds();
    recovery.identityDiffers = journal.identity != journaling.identity;
    std::vector<RepairPlan> repairs;
    recovery.code = matchJournal(stream, journal, repairs, recovery.found);
    if (recovery.code != 0)
        recovery.found = JournalFound::mismatch;
    else if (recovery.found == JournalFound::mismatch)
        recovery.code = result::invalidOperation;
    if (!apply || recovery.found == JournalFound::mismatch)
        return recovery;

    if (recovery.found == JournalFound::pending) {
        std::vector<PhaseOutcome> outcomes;
        const bool whole = writeRepairs(stream, repairs, outcomes);
        for (std::size_t i = 0; i < repairs.size(); ++i)
            (repairs[i].kind == audioRepair ? recovery.audio : recovery.video) = outcomes[i];
        if (!whole)
            return recovery;
    }
    recovery.journalLeft = journaling.store.remove() != 0;
    return recovery;
}

} // namespace boxmend::repair
