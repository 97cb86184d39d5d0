#pragma once

#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/Planning.h"
#include "tool/repair/Recovery.h"
#include "tool/repair/RunMode.h"
#include "tool/repair/Transaction.h"

namespace boxmend::repair {

// Everything one run did: what it found of an earlier run's journal and,
// applying, the completion of its repairs; then the plans of a fresh run
// and, applying, their outcomes.
struct RunOutcome : PlannedRepairs {
    Recovery recovery;
    // The repairs were made, but their journal could not be removed.
    bool journalLeft = false;
};

// Deals with the journal an earlier run may have left (recoverJournal),
// then plans the repairs (planRepairs) and, with apply, makes them as one
// transaction (commitRepairs). Planning only, every step after a successful
// parse runs, whatever the others gave. The tree is left as parsed. When
// memory runs out, the run ends as a parse that failed with 2.
RunOutcome runRepairs(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode,
                      const Journaling& journaling);

} // namespace boxmend::repair
