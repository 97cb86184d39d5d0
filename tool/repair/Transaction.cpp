#include "tool/repair/Transaction.h"

namespace boxmend {

using namespace mediafmt;

namespace {

// Writes one repair, forces it to the device and reads it back. Without a
// journal to complete it, the changed bytes go first, so that a crash
// leaves at most a filler box with stale content.
ResultCode makeRepair(io::Io& stream, const RepairPlan& plan, bool journalled,
                      StepOutcome& outcome) {
    if (ResultCode rc = writeChanges(stream, plan); rc != 0)
        return rc;
    if (!journalled && plan.fillLength != 0) {
        if (ResultCode rc = stream.flush(); rc != 0)
            return rc;
    }
    if (ResultCode rc = writeFill(stream, plan); rc != 0)
        return rc;
    if (ResultCode rc = stream.flush(); rc != 0)
        return rc;
    const ResultCode rc = verifyWritten(stream, plan);
    if (rc == result::invalidOperation)
        outcome.trouble = WriteTrouble::notStored;
    return rc;
}

// Makes the repairs in order; false once one fails, the rest not run.
bool makeRepairs(io::Io& stream, const std::vector<RepairToMake>& repairs, bool journalled) {
    for (std::size_t i = 0; i < repairs.size(); ++i) {
        StepOutcome& outcome = *repairs[i].outcome;
        outcome.code = makeRepair(stream, *repairs[i].plan, journalled, outcome);
        if (outcome.code != 0) {
            for (std::size_t later = i + 1; later < repairs.size(); ++later)
                *repairs[later].outcome = {};
            return false;
        }
    }
    return true;
}

bool within(std::uint64_t offset, std::uint64_t length, std::uint64_t fileLength) {
    return offset <= fileLength && length <= fileLength - offset;
}

// Whether the file can be what the journal's run left: the same length,
// every write inside it, and every recorded byte its original or its new
// value. A fill may hold anything.
ResultCode matchJournal(io::Io& stream, const Journal& journal) {
    std::uint64_t length = 0;
    if (ResultCode rc = stream.size(length); rc != 0)
        return rc;
    if (length != journal.fileLength)
        return result::invalidOperation;
    for (const JournalledRepair& repair : journal.repairs) {
        const RepairPlan& plan = repair.plan;
        bool inside = within(plan.fillOffset, plan.fillLength, length);
        for (const ByteChange& change : plan.changes)
            inside = inside && within(change.offset, change.bytes.size(), length);
        if (!inside)
            return result::invalidOperation;
        if (ResultCode rc = verifyPartlyWritten(stream, plan); rc != 0)
            return rc;
    }
    return result::none;
}

} // namespace

void commitRepairs(io::Io& stream, const Journaling& journaling,
                   const std::vector<RepairToMake>& repairs, bool& journalLeft) {
    journalLeft = false;
    if (repairs.empty())
        return;
    // Nothing is written when the journal cannot be: the first repair fails.
    const auto refuse = [&repairs](ResultCode code) {
        *repairs.front().outcome = {code, "the repair journal could not be written",
                                    WriteTrouble::journalNotWritten};
        for (std::size_t later = 1; later < repairs.size(); ++later)
            *repairs[later].outcome = {};
    };
    Journal journal;
    journal.identity = journaling.identity;
    if (ResultCode rc = stream.size(journal.fileLength); rc != 0)
        return refuse(rc);
    for (const RepairToMake& repair : repairs)
        journal.repairs.push_back({repair.kind, *repair.plan});
    bool refused = false;
    if (ResultCode rc = journaling.store.save(encodeJournal(journal), refused); rc != 0 && !refused)
        return refuse(rc);
    if (makeRepairs(stream, repairs, !refused) && !refused)
        journalLeft = journaling.store.remove() != 0;
}

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
    recovery.code = matchJournal(stream, journal);
    recovery.found = recovery.code == 0 ? JournalFound::pending : JournalFound::mismatch;
    if (!act || recovery.found != JournalFound::pending)
        return recovery;

    std::vector<RepairToMake> repairs;
    for (const JournalledRepair& repair : journal.repairs) {
        StepOutcome* outcome = repair.kind == audioRepair ? &recovery.audio : &recovery.video;
        repairs.push_back({repair.kind, &repair.plan, outcome});
    }
    if (makeRepairs(stream, repairs, true))
        (void)journaling.store.remove();
    return recovery;
}

} // namespace boxmend
