#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/io/Io.h"
#include "tool/repair/InPlaceWrite.h"
#include "tool/repair/Journal.h"
#include "tool/repair/JournalStore.h"

#include <string>
#include <vector>

namespace boxmend {

using mediafmt::ResultCode;

// The code of a step the run did not reach.
inline constexpr ResultCode notRun = 0xFFFFFFFF;

// How a write went wrong beyond its result code.
enum class WriteTrouble {
    none,
    // The journal could not be put beside the file; nothing was written.
    journalNotWritten,
    // The write was made and flushed, but the device gave other bytes back.
    notStored,
};

// How one step of a run ended: its result code and, when it refused or
// failed, why.
struct StepOutcome {
    ResultCode code = notRun;
    std::string reason;
    WriteTrouble trouble = WriteTrouble::none;

    bool ran() const { return code != notRun; }
};

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

// One repair to make, and where its outcome goes.
struct RepairToMake {
    RepairKind kind;
    const RepairPlan* plan;
    StepOutcome* outcome;
};

// Writes the repairs step by step: step 0 of every repair, a flush, a
// read-back of what the step wrote, then step 1, and so on, so that a write
// stopped anywhere leaves each repair a prefix of its steps. Each outcome
// ends 0 when its repair is on the device. At the first failure the writing
// stops: the first repair not yet whole gets the failure, the others not
// whole are left not run. False when some repair is not whole.
bool writeRepairs(mediafmt::io::Io& stream, const std::vector<RepairToMake>& repairs);

// Makes the repairs as one transaction. Their journal is put beside the
// file first; then they are written (writeRepairs). When all are made the
// journal is removed (journalLeft tells when that failed); after a failure
// it is kept for the next run to complete them. Where the place refuses a
// journal (no permission, read-only), the repairs are made without one in
// the same steps; any other failure to write the journal fails the first
// repair, and nothing is written.
void commitRepairs(mediafmt::io::Io& stream, const Journaling& journaling,
                   const std::vector<RepairToMake>& repairs, bool& journalLeft);

} // namespace boxmend
