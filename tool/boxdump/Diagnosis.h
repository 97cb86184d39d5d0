#pragma once

#include "tool/boxdump/FileTail.h"
#include "tool/repair/RepairRun.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace boxmend {

// Exit statuses of boxdump, in the convention of cmp and diff.
namespace dumpStatus {
inline constexpr int nothingToRepair = 0;
inline constexpr int repairNeeded = 1;
// The file cannot be opened or parsed, a check cannot be completed, or the
// command line is wrong.
inline constexpr int trouble = 2;
} // namespace dumpStatus

// What a run that only plans says about a parsed recording: for the
// ambisonic audio track the figures its table defect is decided by, for the
// first track's Lumacode entry its data reference index, and for each defect
// the write boxmend would make or why it would refuse.

// True when the audio tables have the defect or the video entry's index is
// not 1, whether or not boxmend can repair it.
bool needsRepair(const RunOutcome& run);

// trouble when a journal of an interrupted repair is beside the file, or
// when some check or plan could not be completed (a missing box, a failed
// read), else whether a repair is needed.
int dumpStatusOf(const RunOutcome& run);

// The "diagnosis" section of the text listing, ending with the result line;
// journal is where the file's repair journal is kept; the section starts
// with a note when the file's tail holds what looks like a moov box.
std::string diagnosisText(const RunOutcome& run, const std::string& journal, const FileTail& tail);

// The same as the members "audio", "video", "journal" when there is a
// journal, and "moovInTail" (the offset) when the tail holds a moov box.
nlohmann::ordered_json diagnosisJson(const RunOutcome& run, const std::string& journal,
                                     const FileTail& tail);

// For a file that cannot be parsed: the journal's part of the diagnosis and
// the result line, or nothing when there is no journal.
std::string journalOnlyText(const RunOutcome& run, const std::string& journal);
// The member "journal": where it is, its state, the repairs it carries and
// what the next run of boxmend does with it.
nlohmann::ordered_json journalJson(const RunOutcome& run, const std::string& journal);

// The diagnosis in brief, one line each: the journal's state and what the
// next run does with it, the planned writes in all or the refusal of each
// repair that is needed, and the result line.
std::vector<std::string> outlookLines(const RunOutcome& run, const std::string& journal);

// The lines boxmend would end with on the trouble the run met.
std::vector<std::string> troubleLines(const RunOutcome& run, const std::string& fileName,
                                      const std::string& journal);

} // namespace boxmend
