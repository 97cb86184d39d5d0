#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/io/Io.h"
#include "tool/repair/Journal.h"
#include "tool/repair/JournalStore.h"
#include "tool/repair/PhaseOutcome.h"
#include "tool/repair/RepairPlan.h"

#include <string>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Where a run keeps its journal, and the identity of the file it repairs.
struct Journaling {
    JournalStore& store;
    FileIdentity identity;
};

// The journal beside an open recording, and the recording's identity, as
// every program's run on a file takes them. An identity that cannot be read
// only makes the journal check warn.
struct FileJournaling {
    FileJournaling(const std::string& fileName, mediafmt::io::File& file);

    DirectoryJournal store;
    Journaling journaling{store, {}};
};

// Makes the repairs as one transaction. Their journal is put beside the
// file first; then they are written in the write order (writeRepairs), each
// outcome in outcomes beside its repair. When all are made the journal is
// removed (journalLeft tells when that failed); after a failure it is kept
// for the next run to complete them. Where the place refuses a journal (no
// permission, read-only), the repairs are made without one in the same
// steps; any other failure to write the journal fails the first repair, and
// nothing is written.
void commitRepairs(mediafmt::io::Io& stream, const Journaling& journaling,
                   std::vector<RepairPlan> repairs, std::vector<PhaseOutcome>& outcomes,
                   bool& journalLeft);

} // namespace boxmend::repair
