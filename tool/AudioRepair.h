#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/InPlaceWrite.h"

namespace boxmend {

using mediafmt::ResultCode;

// The ambisonic track is the first track of moov with an "in32" sample
// entry. Its tables are defective when some sample lasts more than one time
// unit while the first sample-to-chunk entry puts one sample in each chunk.

// Reports the defect without changing anything: 0 with needsRepair set when
// it is present, 1 with needsRepair cleared when there is nothing to repair
// (no ambisonic track, or its tables are right), any other code on failure
// (8 for a missing moov or table box), needsRepair then untouched.
[[nodiscard]] ResultCode checkAudioTrack(mediafmt::mp4::File* tree, bool& needsRepair);

// Finds the defect as checkAudioTrack does (0 when present, 1 when not) and
// with apply rewrites the tables in the tree: every sample becomes 16 bytes
// of one time unit, 1024 to a chunk, and a free box takes the bytes the
// emptied size list gives up. 4 for tables whose shape it does not rewrite
// (one size-list entry, or other than one time-to-sample entry); the tree is
// then untouched.
[[nodiscard]] ResultCode fixAudioSampleTables(mediafmt::mp4::File* tree, bool apply);

// Parses the stream afresh, rewrites the tables and writes the track's
// sample table box back over its own bytes. The box must encode to exactly
// the bytes it occupies before the change and to exactly as many after it;
// otherwise 4 is returned and nothing is written.
[[nodiscard]] ResultCode repairAudioTrack(mediafmt::io::Io* stream);

// Everything repairAudioTrack does but the write: the same result, and on 0
// the write it would make. Only reads the stream.
[[nodiscard]] ResultCode planAudioRepair(mediafmt::io::Io* stream, PlannedWrite& plan);

// The same on a tree already parsed from the stream, whose file has not
// changed since: the tree is not parsed again. On 0 the tree is left as a
// parse of the file will read it once the write is made: the tables
// rewritten, the free box inserted and both boxes at their places in the
// file. A shape the repair refuses (4) leaves it unchanged.
[[nodiscard]] ResultCode planAudioRepair(mediafmt::mp4::File& tree, mediafmt::io::Io* stream,
                                         PlannedWrite& plan);
[[nodiscard]] ResultCode repairAudioTrack(mediafmt::mp4::File& tree, mediafmt::io::Io* stream);

} // namespace boxmend
