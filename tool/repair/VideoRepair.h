#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/box/SampleEntryBoxes.h"
#include "tool/repair/PhaseOutcome.h"
#include "tool/repair/RepairPlan.h"

#include <string>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Works out the write that sets the data reference index of the first
// track's Lumacode sample entry (as findLumacodeEntry gives it, possibly
// empty) to 1: planned, or nothingToDo when there is no such entry or the
// index is already 1.
//
// An 88-byte entry with an 8-byte header is rewritten whole; any other entry
// keeps its own header and trailing bytes, and only its 80 bytes of fields
// are rewritten where they were read. An entry too short for its fields, or
// whose bytes on disk are not what was read, is refused with a reason.
// Only reads the stream; the tree is left as it was.
PhaseOutcome planVideoRepair(mediafmt::mp4::box::VideoSampleDescriptionBox* entry,
                             mediafmt::io::Io& stream, RepairPlan& plan);

} // namespace boxmend::repair
