#pragma once

#include "tool/repair/FileRun.h"
#include "tool/repair/RepairRun.h"

namespace boxmend::batch {

// What became of one movie, or, in a dry run, what would.
enum class Verdict {
    repaired,
    alreadyRight,
    // Neither an in32 track nor a Lumacode entry: another device's movie,
    // left as it was.
    otherDevice,
    failed,
    // Dry run only: the plan-only outcomes.
    toRepair,
    refused,
    trouble,
};

// The verdict on a movie from its one repair run. A file that could not be
// opened for writing is already right when readOnlyPlan, its plan-only run
// (null when it could not be read either), finds nothing to repair.
Verdict classifyRepair(const repair::FileRepair& repair, const repair::RunOutcome* readOnlyPlan);

// The verdict on a movie from its plan-only run; opened tells whether the
// file could be opened for reading at all.
Verdict classifyPlan(bool opened, const repair::RunOutcome& plan);

// Whether the device did not store a repair's writes where they were sent
// (they read back as other bytes), in the run or in the completion of its
// journal.
bool writesNotStored(const repair::RunOutcome& run);

} // namespace boxmend::batch
