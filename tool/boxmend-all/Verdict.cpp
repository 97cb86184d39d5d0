#include "tool/boxmend-all/Verdict.h"

#include "tool/repair/ExitStatus.h"
#include "tool/repair/PlanVerdict.h"

namespace boxmend::batch {

using namespace mediafmt;
using repair::dumpStatusOf;
using repair::FileRepair;
using repair::JournalFound;
using repair::PhaseState;
using repair::RunOutcome;
namespace dumpStatus = repair::dumpStatus;
namespace exitStatus = repair::exitStatus;

namespace {

// A movie with nothing of the camera's in it, and no journal of a repair.
bool fromOtherDevice(const RunOutcome& run) {
    const bool noJournal =
        run.recovery.found == JournalFound::none || run.recovery.found == JournalFound::damaged;
    return noJournal && run.parse.is(PhaseState::done) && run.check.is(PhaseState::nothingToDo) &&
           !run.audioTables.entry && !run.videoEntry;
}

} // namespace

Verdict classifyRepair(const FileRepair& repair, const RunOutcome* readOnlyPlan) {
    if (!repair.opened) {
        if (readOnlyPlan == nullptr || !readOnlyPlan->parse.is(PhaseState::done) ||
            dumpStatusOf(*readOnlyPlan) != dumpStatus::nothingToRepair)
            return Verdict::failed;
        return fromOtherDevice(*readOnlyPlan) ? Verdict::otherDevice : Verdict::alreadyRight;
    }
    if (repair.status != exitStatus::ok)
        return Verdict::failed;
    const RunOutcome& run = repair.run;
    if (fromOtherDevice(run))
        return Verdict::otherDevice;
    const bool made = run.audio.is(PhaseState::done) || run.video.is(PhaseState::done) ||
                      run.recovery.audio.is(PhaseState::done) ||
                      run.recovery.video.is(PhaseState::done);
    return made ? Verdict::repaired : Verdict::alreadyRight;
}

Verdict classifyPlan(bool opened, const RunOutcome& plan) {
    if (!opened || !plan.parse.is(PhaseState::done))
        return Verdict::trouble;
    switch (dumpStatusOf(plan)) {
    case dumpStatus::nothingToRepair:
        return fromOtherDevice(plan) ? Verdict::otherDevice : Verdict::alreadyRight;
    case dumpStatus::repairNeeded:
        // Finishing an interrupted repair is one to make, whatever the
        // half-written file alone would say.
        return !repair::journalPending(plan) && repair::wouldRefuse(plan) ? Verdict::refused
                                                                          : Verdict::toRepair;
    default:
        return Verdict::trouble;
    }
}

} // namespace boxmend::batch
