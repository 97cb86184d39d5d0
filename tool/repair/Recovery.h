#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "tool/repair/RunMode.h"
#include "tool/repair/Transaction.h"

#include <cstdint>

namespace boxmend::repair {

// What a run found of the journal of an earlier run.
enum class JournalFound {
    none,
    // Not a whole journal: its run never wrote a byte on its strength.
    damaged,
    // It records the repairs a fresh run would make of the file as it was
    // before them, and the file is those repairs stopped part-way in their
    // write order: they can be completed.
    pending,
    // As pending, but every byte it records already holds its new value.
    completed,
    // Anything else: it records writes a fresh run would not make, or the
    // file is not as its run could have left it.
    mismatch,
    // Written by a version of boxmend that this one does not know.
    otherVersion,
    // It cannot be read, or what lies at its name is not a file.
    unreadable,
};

struct Recovery {
    JournalFound found = JournalFound::none;
    // Why a journal is unreadable or does not match.
    ResultCode code = mediafmt::result::none;
    // The repairs a whole journal carries.
    std::uint32_t kinds = 0;
    // The file is not the one the journal names (as it looks on a card
    // that was taken out and put back).
    bool identityDiffers = false;
    // Completing a pending journal's repairs.
    PhaseOutcome audio;
    PhaseOutcome video;
    // Its repairs are on the device, but the journal could not be removed.
    bool journalLeft = false;

    // Whether the run may go on to parse the file.
    bool allowsRun() const;
};

// Looks for the journal of an earlier run and decides what it is. The
// journal is trusted with nothing: the file as it was before that run is
// rebuilt from the journal's original bytes, the repairs are planned on it
// as a fresh run would plan them, and only when the journal records exactly
// those writes, and the file is them stopped somewhere in their write order,
// is it pending. Applying, a damaged journal is removed; a pending one is
// rolled forward (the writes made again, step by step, then the journal
// removed); a completed one is removed; any other is left for the user.
// Planning only, nothing is written or removed.
Recovery recoverJournal(mediafmt::io::Io& stream, const Journaling& journaling, RunMode mode);

} // namespace boxmend::repair
