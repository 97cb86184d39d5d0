#include "tool/repair/Recovery.h"

#include "tool/repair/PatchedStream.h"
#include "tool/repair/Planning.h"

#include <algorithm>
#include <tuple>

namespace boxmend {

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

// Whether two plans leave the same bytes on disk, however their runs are split.
bool sameWrites(const RepairPlan& a, const RepairPlan& b) {
    const bool sameFill =
        a.fillLength == b.fillLength && (a.fillLength == 0 || a.fillOffset == b.fillOffset);
    return sameFill && byteWrites(a) == byteWrites(b);
}

// The journal's repairs with the write order of its version: version 1
// wrote each repair whole before the next, its fill with its changes (only
// the first repair, the audio track's, has one), the current one in steps.
std::vector<JournalledRepair> inWriteOrder(const Journal& journal,
                                           const std::vector<RepairToMake>& fresh) {
    std::vector<JournalledRepair> ordered;
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        JournalledRepair& repair = ordered.emplace_back();
        repair.kind = fresh[i].kind;
        repair.plan = *fresh[i].plan;
        if (journal.version == firstJournalVersion) {
            for (ByteChange& change : repair.plan.changes)
                change.step = static_cast<std::uint32_t>(i);
        }
    }
    return ordered;
}

// Whether the journal's repairs are those fresh plans and the file is them
// stopped somewhere in their write order: 0, or 4 when not, or the code of a
// failed read. completed tells whether every step is whole.
ResultCode matchJournal(io::Io& stream, const Journal& journal,
                        std::vector<JournalledRepair>& ordered, bool& completed) {
    std::uint64_t length = 0;
    if (ResultCode rc = stream.size(length); rc != 0)
        return rc;
    if (length != journal.fileLength)
        return result::invalidOperation;
    std::vector<Patch> originals;
    for (const JournalledRepair& repair : journal.repairs) {
        const RepairPlan& plan = repair.plan;
        if (!within(plan.fillOffset, plan.fillLength, length))
            return result::invalidOperation;
        for (const ByteChange& change : plan.changes) {
            if (!within(change.offset, change.bytes.size(), length))
                return result::invalidOperation;
            originals.push_back({change.offset, &change.original});
        }
    }

    // The repairs a fresh run makes of the file as it was before the journal's run.
    PatchedStream before(stream, std::move(originals));
    mp4::File tree;
    PlannedRepairs fresh;
    planRepairs(before, tree, false, fresh);
    const std::vector<RepairToMake> repairs = fresh.repairsToMake();
    if (repairs.size() != journal.repairs.size())
        return result::invalidOperation;
    for (const JournalledRepair& recorded : journal.repairs) {
        const auto same = std::find_if(repairs.begin(), repairs.end(), [&](const RepairToMake& r) {
            return r.kind == recorded.kind && sameWrites(*r.plan, recorded.plan);
        });
        if (same == repairs.end())
            return result::invalidOperation;
    }
    ordered = inWriteOrder(journal, repairs);

    // Every step before the first that is not whole is whole, and every
    // step after it untouched.
    std::uint32_t last = 0;
    for (const JournalledRepair& repair : ordered)
        last = std::max(last, repair.plan.lastStep());
    // The repairs' parts of one step are written between the same flushes,
    // so they may have reached the file in any combination.
    bool stopped = false;
    for (std::uint32_t step = 0; step <= last; ++step) {
        bool whole = true;
        bool untouched = true;
        for (const JournalledRepair& repair : ordered) {
            if (!repair.plan.writesIn(step))
                continue;
            StepState state = StepState::foreign;
            if (ResultCode rc = stepState(stream, repair.plan, step, state); rc != 0)
                return rc;
            if (state == StepState::foreign)
                return result::invalidOperation;
            whole = whole && state == StepState::whole;
            untouched = untouched && state == StepState::untouched;
        }
        if (stopped && !untouched)
            return result::invalidOperation;
        stopped = stopped || !whole;
    }
    completed = !stopped;
    return result::none;
}

} // namespace

bool Recovery::allowsRun() const {
    if (found == JournalFound::mismatch || found == JournalFound::otherVersion ||
        found == JournalFound::unreadable)
        return false;
    return (!audio.ran() || audio.code == 0) && (!video.ran() || video.code == 0);
}

Recovery recoverJournal(io::Io& stream, const Journaling& journaling, bool act) {
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
        if (act)
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
    std::vector<JournalledRepair> ordered;
    bool completed = false;
    recovery.code = matchJournal(stream, journal, ordered, completed);
    recovery.found = recovery.code != 0 ? JournalFound::mismatch
                     : completed        ? JournalFound::completed
                                        : JournalFound::pending;
    if (!act || recovery.code != 0)
        return recovery;

    if (recovery.found == JournalFound::pending) {
        std::vector<RepairToMake> repairs;
        for (const JournalledRepair& repair : ordered) {
            StepOutcome* outcome = repair.kind == audioRepair ? &recovery.audio : &recovery.video;
            repairs.push_back({repair.kind, &repair.plan, outcome});
        }
        if (!writeRepairs(stream, repairs))
            return recovery;
    }
    recovery.journalLeft = journaling.store.remove() != 0;
    return recovery;
}

} // namespace boxmend
