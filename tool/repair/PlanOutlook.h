#pragma once

#include "tool/repair/RepairRun.h"

#include <string>
#include <vector>

namespace boxmend::repair {

// What a run that only plans says boxmend would do, in words.

// The journal's state as one word or two: "pending", "other version".
const char* journalState(JournalFound found);

// What the next run of boxmend does with the journal an earlier run left,
// after "the next run of ".
std::string journalOutlook(const Recovery& recovery);

// The planned writes of a needed repair in all, or its refusal.
std::string outlookLine(const PhaseOutcome& step, const RepairPlan& plan);

// "result: ...": nothing to repair, a repair boxmend can make or would
// refuse, or trouble.
std::string resultLine(const RunOutcome& run);

// The outlook in brief, one line each: the journal's state and what the
// next run does with it, the planned writes in all or the refusal of each
// repair that is needed, and the result line.
std::vector<std::string> outlookLines(const RunOutcome& run, const std::string& journal);

} // namespace boxmend::repair
