#pragma once

#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/HeaderRestore.h"
#include "tool/repair/Planning.h"
#include "tool/repair/Recovery.h"
#include "tool/repair/RunMode.h"
#include "tool/repair/Transaction.h"

#include <optional>

namespace boxmend::repair {

// Everything one run did: what it found of an earlier run's journal and,
// applying, the completion of its repairs; then the plans of a fresh run
// and, applying, their outcomes.
struct RunOutcome : PlannedRepairs {
    Recovery recovery;
    // The repairs were made, but their journal could not be removed.
    bool journalLeft = false;
    // The device did not store a write of this run, or of the completion of
    // an earlier one, where it was sent (a step read back other bytes): a
    // card or reader not to be trusted with further repairs.
    bool misplacedWrites = false;
    // When a repair of this run was not stored: how putting the header back
    // as it was parsed went (restoreHeader). Restored, the journal is gone
    // and every repair of the run counts as not made; not restored, the
    // journal is kept.
    std::optional<RestoreOutcome> restore;
};

// Deals with the journal an earlier run may have left (recoverJournal),
// then plans the repairs (planRepairs) and, with apply, makes them as one
// transaction (commitRepairs), parsing through a fingerprint of the header
// so that a write the device does not store where it was sent can be undone
// (restoreHeader). Planning only, every step after a successful
// parse runs, whatever the others gave. The tree is left as parsed. When
// memory runs out, the run ends as a parse that failed with 2.
RunOutcome runRepairs(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode,
                      const Journaling& journaling);

} // namespace boxmend::repair
