#pragma once

#include "tool/boxdump/FileTail.h"
#include "tool/repair/RepairRun.h"

#include <nlohmann/json.hpp>

#include <string>

namespace boxmend::dump {

// What a run that only plans says about a parsed recording: for the
// ambisonic audio track the figures its table defect is decided by, for the
// first track's Lumacode entry its data reference index, and for each defect
// the write boxmend would make or why it would refuse.

// The "diagnosis" section of the text listing, ending with the result line;
// journal is where the file's repair journal is kept; the section starts
// with a note when the file's tail holds what looks like a moov box.
std::string diagnosisText(const repair::RunOutcome& run, const std::string& journal,
                          const FileTail& tail);

// The same as the members "audio", "video", "journal" when there is a
// journal, and "moovInTail" (the offset) when the tail holds a moov box.
nlohmann::ordered_json diagnosisJson(const repair::RunOutcome& run, const std::string& journal,
                                     const FileTail& tail);

// For a file that cannot be parsed: the journal's part of the diagnosis and
// the result line, or nothing when there is no journal.
std::string journalOnlyText(const repair::RunOutcome& run, const std::string& journal);
// The member "journal": where it is, its state, the repairs it carries and
// what the next run of boxmend does with it.
nlohmann::ordered_json journalJson(const repair::RunOutcome& run, const std::string& journal);

} // namespace boxmend::dump
