#pragma once

#include "tool/repair/RepairRun.h"

namespace boxmend::repair {

// Exit statuses of boxdump, in the convention of cmp and diff.
namespace dumpStatus {
inline constexpr int nothingToRepair = 0;
inline constexpr int repairNeeded = 1;
// The file cannot be opened or parsed, a check cannot be completed, or the
// command line is wrong.
inline constexpr int trouble = 2;
} // namespace dumpStatus

// What a run that only plans says about a parsed recording.

// The audio tables have the defect, whether or not boxmend can repair it.
bool audioNeedsRepair(const RunOutcome& run);
// The first track's Lumacode entry has a data reference index other than 1.
bool videoNeedsRepair(const RunOutcome& run);
// Either of them.
bool needsRepair(const RunOutcome& run);

// A journal that stops boxmend's usual run, or that boxmend acts on first.
bool journalInTheWay(const RunOutcome& run);
// A journal of an interrupted repair that the next run completes.
bool journalPending(const RunOutcome& run);

// A repair that is needed would be refused for the file's layout.
bool wouldRefuse(const RunOutcome& run);

// A repair to make when the journal of an interrupted repair is pending;
// trouble when another journal is beside the file, or when some check or
// plan could not be completed (a missing box, a failed read); else whether
// a repair is needed.
int dumpStatusOf(const RunOutcome& run);

} // namespace boxmend::repair
