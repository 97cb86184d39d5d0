#pragma once

#include "tool/repair/FileRun.h"
#include "tool/repair/JournalStore.h"
#include "tool/repair/RepairRun.h"

#include <optional>
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

// Why a file with those contents cannot be repaired; null for a movie.
const char* contentsReason(Contents contents);

// "result: ...": nothing to repair, a repair boxmend can make or would
// refuse (or complete, from a pending journal), trouble, or the contents'
// reason.
std::string resultLine(const RunOutcome& run, Contents contents = Contents::movie);

// The warning that the place has less room than the journal of the repairs
// to make; nothing when there is room, no journal to write, or the room is
// unknown.
std::optional<std::string> journalRoomWarning(const RunOutcome& run, const JournalPlace& place);

// The outlook in brief, one line each: the journal's state and what the
// next run does with it, the planned writes in all or the refusal of each
// repair that is needed, the warning of no room for the journal, and the
// result line.
std::vector<std::string> outlookLines(const FilePlan& plan);

} // namespace boxmend::repair
