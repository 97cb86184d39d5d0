#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/InPlaceWrite.h"

namespace boxmend {

using mediafmt::ResultCode;

// Sets the data reference index of the first track's Lumacode sample entry
// to 1 and writes the entry back over itself. 0 when it was corrected, 1
// when there is nothing to do (no such entry, or the index is already 1).
//
// An 88-byte entry with an 8-byte header is written back whole; any other
// entry keeps its own header and trailing bytes, and only its 80 bytes of
// fields are written where they were read. An entry too short for its fields,
// or whose bytes on disk are not what was read, is refused with 4 and nothing
// is written.
[[nodiscard]] ResultCode repairVideoTrack(mediafmt::io::Io* stream);

// Everything repairVideoTrack does but the write: the same result, and on 0
// the write it would make. Only reads the stream.
[[nodiscard]] ResultCode planVideoRepair(mediafmt::io::Io* stream, PlannedWrite& plan);

// The same on a tree already parsed from the stream, whose file has not
// changed since except by writes the tree was brought up to date with (as
// planAudioRepair on the tree does): the tree is not parsed again. On 0 the
// entry in the tree holds the index as written.
[[nodiscard]] ResultCode planVideoRepair(mediafmt::mp4::File& tree, mediafmt::io::Io* stream,
                                         PlannedWrite& plan);
[[nodiscard]] ResultCode repairVideoTrack(mediafmt::mp4::File& tree, mediafmt::io::Io* stream);

} // namespace boxmend
