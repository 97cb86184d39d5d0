#include "tool/repair/RepairRun.h"

#include "tool/repair/ReadFingerprint.h"

#include <new>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

bool notStored(const PhaseOutcome& step) {
    return step.is(PhaseState::failed) && step.trouble == WriteTrouble::notStored;
}

// The ranges the repairs wrote, with the bytes each replaced; a fill's are
// given by the tree, which still holds what it cleared.
std::vector<WrittenRange> writtenRanges(const std::vector<RepairPlan>& repairs) {
    std::vector<WrittenRange> written;
    for (const RepairPlan& repair : repairs) {
        for (const ByteChange& change : repair.changes)
            written.push_back({change.offset, change.original.size(), change.original.data()});
        if (repair.fillLength != 0)
            written.push_back({repair.fillOffset, repair.fillLength, nullptr});
    }
    return written;
}

// A write of the repairs was not stored where it was sent: puts the header
// back as it was parsed, once. Restored, the journal goes, or the next run
// would make the same writes on the same device; every repair of the run
// then counts as not made, so none is reported as corrected. Otherwise the
// journal stays, the one record of what the file held.
void putHeaderBack(io::Io& stream, const mp4::File& tree, const ReadFingerprint& fingerprint,
                   const Journaling& journaling, RunOutcome& run) {
    const std::vector<RepairPlan> repairs = run.repairsToMake();
    RestoreOutcome restore;
    try {
        restore = restoreHeader(stream, tree, fingerprint, writtenRanges(repairs));
    } catch (const std::bad_alloc&) {
        restore.reason = "there was not enough memory to put the header back";
    }
    if (restore.state == RestoreState::restored && journaling.store.remove() != 0) {
        restore.state = RestoreState::notRestored;
        restore.reason = "the repair journal could not be removed";
    }
    for (const RepairPlan& repair : repairs) {
        PhaseOutcome& outcome = run.outcomeOf(repair.kind);
        if (!notStored(outcome))
            outcome = PhaseOutcome::failure(result::invalidOperation,
                                            "another write of the run was not stored",
                                            WriteTrouble::notStored);
    }
    run.restore = std::move(restore);
}

RunOutcome runSteps(io::Io& stream, mp4::File& tree, RunMode mode, const Journaling& journaling) {
    const bool apply = mode == RunMode::apply;
    RunOutcome run;
    run.recovery = recoverJournal(stream, journaling, mode);
    // There is no fingerprint of the file a journal's completion meets: its
    // writes are not undone, the journal records them.
    run.misplacedWrites = notStored(run.recovery.audio) || notStored(run.recovery.video);
    if (apply && !run.recovery.allowsRun())
        return run;
    if (!apply) {
        planRepairs(stream, tree, mode, run);
        return run;
    }
    // The header's fingerprint is taken as the parse reads it, so that it
    // need not be held or read again to be put back.
    ReadFingerprint fingerprint(stream);
    planRepairs(fingerprint, tree, mode, run);
    const mp4::box::BoxPtr moov = run.parse.is(PhaseState::done) ? tree.find("moov") : nullptr;
    if (moov != nullptr)
        fingerprint.keepOnly(moov->offset, moov->recordedSize);
    else
        fingerprint.keepOnly(0, 0);
    commitPlanned(stream, journaling, run, run.journalLeft);
    if (notStored(run.audio) || notStored(run.video)) {
        run.misplacedWrites = true;
        putHeaderBack(stream, tree, fingerprint, journaling, run);
    }
    return run;
}

} // namespace

RunOutcome runRepairs(io::Io& stream, mp4::File& tree, RunMode mode, const Journaling& journaling) {
    // A header too large for the memory there is: reported as a parse that
    // failed, the tree keeping what was read. Nothing is written before
    // every plan is made, which is where a header needs its memory.
    try {
        return runSteps(stream, tree, mode, journaling);
    } catch (const std::bad_alloc&) {
        RunOutcome run;
        run.parse = PhaseOutcome::failure(result::error);
        return run;
    }
}

} // namespace boxmend::repair
