#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/InPlaceWrite.h"
#include "tool/repair/Tracks.h"

#include <string>

namespace boxmend {

using mediafmt::ResultCode;

// The ambisonic track's tables are defective when some sample lasts more
// than one time unit while the first sample-to-chunk entry puts one sample
// in each chunk.

// Finds the ambisonic track's tables in the tree and decides whether they
// have the defect: 0 when they do, 1 when there is no ambisonic track or its
// tables are right, 8 when moov or a table box is missing, with reason
// saying which. Changes nothing.
[[nodiscard]] ResultCode checkAudioTrack(const mediafmt::mp4::File& tree, AudioTables& tables,
                                         std::string& reason);

// Works out, for tables the check found defective, the write that repairs
// them: every sample becomes 16 bytes of one time unit, 1024 to a chunk, and
// a free box takes the bytes the emptied size list gives up, so the sample
// table box keeps its size and nothing moves. Refused with 4 and a reason
// when the sample table box does not encode to exactly the bytes the stream
// holds for it, or when the tables have a shape the rewrite does not handle.
// Only reads the stream; the tree is left as it was.
[[nodiscard]] ResultCode planAudioRepair(const AudioTables& tables, mediafmt::io::Io& stream,
                                         RepairPlan& plan, std::string& reason);

} // namespace boxmend
