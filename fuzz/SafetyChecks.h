#pragma once

// The properties that must hold for any input, whatever its bytes. The fuzz
// targets run these checks on every input they make up, and the ordinary
// suite runs them on every input kept in the repository, so both run the same
// code. Each check returns an empty text when every property held, else a
// description of the first one that did not.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcheck {

// Parses the bytes from a stream in memory that behaves as a disk file and
// from a file on disk, which the reader reads on demand, and walks the tree,
// complete or cut short by a failure: finds every box again by its path,
// prints every field and encodes every box. Holds when both sources give the same tree and result,
// the result is a documented code, every box's computed size is the length
// it encodes to, every box whose path is unambiguous is found again by it,
// and every top-level box of a successful parse encodes to bytes that parse
// back into a box that encodes the same.
std::string checkParse(const std::uint8_t* data, std::size_t size);

// Runs the program's repair run on a copy of the bytes in a disk-like stream
// that cannot grow, then again on the result. Holds when a run that only
// plans writes nothing and leaves the tree as parsed; the length never
// changes; bytes change only inside the box of a step that reported a
// correction (the audio track's sample table box, or the first track's
// Lumacode entry); every code is a documented one; the second run changes
// and corrects nothing, parses whenever the first did, and finds nothing left
// to do in a step the first corrected; and a run on a file on disk ends with
// the same codes and bytes.
std::string checkRepair(const std::uint8_t* data, std::size_t size);

// Puts a journal beside a camera recording with both defects, some steps of
// whose repair already reached the file, and runs the program's repair run.
// The first byte of the input says how many steps (modulo 6); the rest
// is the journal, its checksum made to hold so that what lies past it is
// what gets tried. Holds when every byte of the file ends as it was or as a
// fresh repair of the recording writes it: no journal can make the run write
// anything else.
std::string checkJournal(const std::uint8_t* data, std::size_t size);

// Inputs for checkJournal: the journals real runs leave, stopped at each
// step of their writes, in the current format and the first one.
std::vector<std::vector<std::uint8_t>> journalSeeds();

} // namespace fuzzcheck
