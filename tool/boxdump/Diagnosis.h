#pragma once

#include "tool/boxdump/FileTail.h"
#include "tool/repair/FileRun.h"
#include "tool/repair/RepairRun.h"

#include <nlohmann/json.hpp>

#include <string>

namespace boxmend::dump {

// What a run that only plans says about a parsed recording: for the
// ambisonic audio track the figures its table defect is decided by, for the
// first track's Lumacode entry its data reference index, and for each defect
// the write boxmend would make or why it would refuse.

// The "diagnosis" section of the text listing, ending with the result line
// and, before it, a warning when the card has no room for the repair's
// journal; the section starts with a note when the file's tail holds what
// looks like a moov box.
std::string diagnosisText(const repair::FilePlan& plan, const FileTail& tail);

// The same as the members "audio", "video", "journal" when there is a
// journal, "moovInTail" (the offset) when the tail holds a moov box, and
// "journalRoom" when the card has less room than the repair's journal.
nlohmann::ordered_json diagnosisJson(const repair::FilePlan& plan, const FileTail& tail);

// For a file that cannot be parsed: the journal's part of the diagnosis and
// the result line, or nothing when there is no journal and the file is not
// empty.
std::string unparsedText(const repair::FilePlan& plan);
// The member "journal": where it is, its state, the repairs it carries and
// what the next run of boxmend does with it.
nlohmann::ordered_json journalJson(const repair::RunOutcome& run, const std::string& journal);

} // namespace boxmend::dump
