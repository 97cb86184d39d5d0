#include "tool/repair/PlanVerdict.h"

#include "tool/repair/FailureLines.h"

namespace boxmend::repair {

using namespace mediafmt;

bool audioNeedsRepair(const RunOutcome& run) {
    return run.check.is(PhaseState::needed);
}

bool videoNeedsRepair(const RunOutcome& run) {
    return run.videoEntry && run.videoEntry->dataReferenceIndex.value != 1;
}

bool needsRepair(const RunOutcome& run) {
    return audioNeedsRepair(run) || videoNeedsRepair(run);
}

bool journalInTheWay(const RunOutcome& run) {
    return run.recovery.found != JournalFound::none &&
           run.recovery.found != JournalFound::completed;
}

bool journalPending(const RunOutcome& run) {
    return run.recovery.found == JournalFound::pending;
}

bool wouldRefuse(const RunOutcome& run) {
    return run.audio.is(PhaseState::refused) || run.video.is(PhaseState::refused);
}

int dumpStatusOf(const RunOutcome& run) {
    if (journalPending(run))
        return dumpStatus::repairNeeded;
    if (journalInTheWay(run) || !failureLines(run, RunMode::planOnly, {}, {}).empty())
        return dumpStatus::trouble;
    return needsRepair(run) ? dumpStatus::repairNeeded : dumpStatus::nothingToRepair;
}

} // namespace boxmend::repair
