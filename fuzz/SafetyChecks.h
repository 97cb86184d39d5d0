#pragma once

// The properties that must hold for any input, whatever its bytes. The fuzz
// targets run these checks on every input they make up, and the regression
// tests of the ordinary suite run them on the inputs kept in the repository,
// so both run the same code. Each check returns an empty text when every
// property held, else a description of the first one that did not.

#include "mediafmt/ResultCode.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzcheck {

// A step the sequence did not reach.
inline constexpr mediafmt::ResultCode notRun = 0xFFFFFFFF;

// What one run of the program's repair sequence reported at each step. Like
// the program, a run stops after a failed parse or check: parse, check the
// audio track, repair it when the check found the defect, then repair the
// video sample entry.
struct RepairRun {
    mediafmt::ResultCode parse = notRun;
    mediafmt::ResultCode check = notRun;
    bool needsRepair = false;
    mediafmt::ResultCode audio = notRun;
    mediafmt::ResultCode video = notRun;
};

// Parses the bytes from a memory buffer, from a file held in memory and from
// a file on disk (which the reader reads on demand), and walks each tree,
// complete or cut short by a failure: finds every box again by its path,
// prints every field and encodes every box. Holds when every result code is
// one of the documented ones, every box's computed size is the length it
// encodes to, every box whose path is unambiguous is found again by it,
// every top-level box of a successful parse encodes to bytes that parse back
// into a box that encodes the same, and the disk file gives the same tree as
// the file in memory.
std::string checkParse(const std::uint8_t* data, std::size_t size);

// What the repair check saw: the two runs of the sequence.
struct RepairReport {
    RepairRun first;
    RepairRun second;
};

// Runs the program's repair sequence on a copy of the bytes in a file held
// in memory that cannot grow, then again on the result. Holds when the
// length never changes; the bytes change only in a step that reported a
// correction (0), and then only inside that step's box as a parse of the
// original bytes finds it (the audio track's sample table box, or the first
// track's Lumacode sample entry); every result code is a documented one; the
// second run changes nothing, corrects nothing, parses whenever the first
// did, and finds nothing left to do in a step the first run corrected; and
// the sequence ends with the same results and bytes when each repair parses
// the file afresh, and when it runs on a disk file.
std::string checkRepair(const std::uint8_t* data, std::size_t size, RepairReport* report = nullptr);

} // namespace fuzzcheck
