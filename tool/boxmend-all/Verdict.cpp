#include "tool/boxmend-all/Verdict.h"

#include "tool/repair/ExitStatus.h"
#include "tool/repair/PlanVerdict.h"

namespace boxmend::batch {

using namespace mediafmt;
using boxmend::dumpStatusOf;
using boxmend::FileRepair;
using boxmend::JournalFound;
using boxmend::RunOutcome;
namespace dumpStatus = boxmend::dumpStatus;
namespace exitStatus = boxmend::exitStatus;

namespace {

// A movie with nothing of the camera's in it, and no journal of a repair.
bool fromOtherDevice(const RunOutcome& run) {
    const bool noJournal =
        run.recovery.found == JournalFound::none || run.recovery.found == JournalFound::damaged;
    return noJournal && run.parse.code == 0 && run.check.code == result::noOp &&
           !run.audioTables.entry && !run.videoEntry;
}

} // namespace

Verdict classifyRepair(const FileRepair& repair, const RunOutcome* readOnlyPlan) {
    if (!repair.opened) {
        if (readOnlyPlan == nullptr || readOnlyPlan->parse.code != 0 ||
            dumpStatusOf(*readOnlyPlan) != dumpStatus::nothingToRepair)
            return Verdict::failed;
        return fromOtherDevice(*readOnlyPlan) ? Verdict::otherDevice : Verdict::alreadyRight;
    }
    if (repair.status != exitStatus::ok)
        return Verdict::failed;
    const RunOutcome& run = repair.run;
    if (fromOtherDevice(run))
        return Verdict::otherDevice;
    const bool made = run.audio.code == result::none || run.video.code == result::none ||
                      run.recovery.audio.code == result::none ||
                      run.recovery.video.code == result::none;
    return made ? Verdict::repaired : Verdict::alreadyRight;
}

bool writesNotStored(const RunOutcome& run) {
    for (const boxmend::StepOutcome* step :
         {&run.audio, &run.video, &run.recovery.audio, &run.recovery.video})
        if (step->trouble == boxmend::WriteTrouble::notStored)
            return true;
    return false;
}

Verdict classifyPlan(bool opened, const RunOutcome& plan) {
    if (!opened || plan.parse.code != 0)
        return Verdict::trouble;
    switch (dumpStatusOf(plan)) {
    case dumpStatus::nothingToRepair:
        return fromOtherDevice(plan) ? Verdict::otherDevice : Verdict::alreadyRight;
    case dumpStatus::repairNeeded:
        return boxmend::wouldRefuse(plan) ? Verdict::refused : Verdict::toRepair;
    default:
        return Verdict::trouble;
    }
}

} // namespace boxmend::batch
