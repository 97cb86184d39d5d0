#pragma once

#include "mediafmt/ResultCode.h"
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

// One repair to make, and where its outcome goes.
struct RepairToMake {
    RepairKind kind;
    const RepairPlan* plan;
    StepOutcome* outcome;
};

// Makes the repairs, in order, as one transaction. Their journal is put
// beside the file first; then each repair is written, flushed, and read back
// from the device before the next. Each outcome ends 0 when its repair is on
// the device, else with the failure; the repairs after a failed one are not
// made, and the journal is then kept for the next run to complete them.
// When all are made the journal is removed (journalLeft tells when that
// failed). Where the place refuses a journal (no permission, read-only),
// the repairs are made without one, each repair's changes written and
// flushed before its fill; any other failure to write the journal fails the
// first repair, and nothing is written.
void commitRepairs(mediafmt::io::Io& stream, const Journaling& journaling,
                   const std::vector<RepairToMake>& repairs, bool& journalLeft);

// What a run found of the journal of an earlier run.
enum class JournalFound {
    none,
    // Not a whole journal: its run never wrote a byte on its strength.
    damaged,
    // Every byte it records holds its original or its new value: its
    // repairs can be completed.
    pending,
    // The file is not as the journal's run could have left it.
    mismatch,
    // Written by a version of boxmend that this one cannot complete.
    otherVersion,
    // It cannot be read.
    unreadable,
};

struct Recovery {
    JournalFound found = JournalFound::none;
    // Why a journal is unreadable or does not match.
    ResultCode code = mediafmt::result::none;
    // The repairs a pending journal carries.
    std::uint32_t kinds = 0;
    // The file is not the one the journal names (as it looks on a card
    // that was taken out and put back).
    bool identityDiffers = false;
    // Completing a pending journal's repairs.
    StepOutcome audio;
    StepOutcome video;

    // Whether the run may go on to parse the file.
    bool allowsRun() const;
};

// Looks for the journal of an earlier run and, with act, deals with it: a
// damaged one is removed, a pending one rolled forward (its repairs written,
// flushed, read back, then the journal removed), and one that does not
// match the file, is of another version, or cannot be read, is left for
// the user.
Recovery recoverJournal(mediafmt::io::Io& stream, const Journaling& journaling, bool act);

} // namespace boxmend
