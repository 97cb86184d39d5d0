#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/PhaseOutcome.h"
#include "tool/repair/RepairPlan.h"
#include "tool/repair/Tracks.h"

#include <string>

namespace boxmend::repair {

using mediafmt::ResultCode;

// The ambisonic track's tables are defective when some sample lasts more
// than one time unit while the first sample-to-chunk entry puts one sample
// in each chunk.

// A repair stopped part-way can leave tables that this check alone would
// call right: their writes are ordered (see planAudioRepair) so that those
// states are few, and they are recognised as half-written.

// Finds the ambisonic track's tables in the tree and decides whether they
// have the defect: needed when they do or were left half-written by a
// repair (torn then tells which), nothingToDo when there is no ambisonic
// track or its tables are right, failed with 8 when moov or a table box is
// missing, with a reason saying which. Changes nothing.
PhaseOutcome checkAudioTrack(const mediafmt::mp4::File& tree, AudioTables& tables, bool& torn);

// Whether the tables are what a repair of them leaves when it is stopped after
// it began on the sample-to-chunk table: sizes already 16 bytes with no list,
// every later sample-to-chunk entry 1024, the first 1024 or on its way there
// from 1, and the single time-to-sample entry on its way from (X / d, d) to
// (X, 1), its delta before its count, where X is the sample count.
bool leftHalfWritten(const AudioTables& tables);

// Works out, for tables the check found defective, the write that repairs
// them: every sample becomes 16 bytes of one time unit, 1024 to a chunk, and
// a free box takes the bytes the emptied size list gives up, so the sample
// table box keeps its size and nothing moves. For torn tables, the write
// that completes the repair: the same tables, the sample count taken from
// the sizes, which the repair had already rewritten. Planned, or refused
// with a reason when the sample table box does not encode to exactly the bytes the
// stream holds for it, or when the tables have a shape the rewrite does not
// handle. Only reads the stream; the tree is left as it was.
//
// The writes come in five steps: first every byte no check or plan reads
// (the filler, the sample size and count, the sample-to-chunk entries after
// the first); then the size of the sample size box, the first
// samples-per-chunk, the time-to-sample delta and, last, its count. A write
// stopped within the first two steps leaves tables the check still finds
// defective, which a fresh plan completes exactly; the later three leave the
// states leftHalfWritten recognises.
PhaseOutcome planAudioRepair(const AudioTables& tables, bool torn, mediafmt::io::Io& stream,
                             RepairPlan& plan);

} // namespace boxmend::repair
