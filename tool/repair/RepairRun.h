#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/InPlaceWrite.h"
#include "tool/repair/Tracks.h"
#include "tool/repair/Transaction.h"

#include <memory>

namespace boxmend {

using mediafmt::ResultCode;

struct RunOutcome {
    // The journal of an earlier run found beside the file, and, applying,
    // the completion of its repairs.
    Recovery recovery;
    StepOutcome parse;
    // 0 when the ambisonic track's tables have the defect, 1 when there is
    // nothing to repair in them.
    StepOutcome check;
    // Run only when the check found the defect: 0 when the repair was made
    // (or, planning only, can be made), 4 when it is refused.
    StepOutcome audio;
    // 0 when the Lumacode entry was corrected (or can be), 1 when there is
    // nothing to do, 4 when its repair is refused.
    StepOutcome video;
    // The repairs were made, but their journal could not be removed.
    bool journalLeft = false;
    // What the check found, the first track's Lumacode entry (empty when it
    // has none), and the writes of each repair.
    AudioTables audioTables;
    std::shared_ptr<mediafmt::mp4::box::VideoSampleDescriptionBox> videoEntry;
    RepairPlan audioPlan;
    RepairPlan videoPlan;
};

enum class RunMode {
    // Works out every repair and writes nothing, not even to the journal.
    planOnly,
    // The program's run: a step runs only when the ones before it succeeded,
    // and the repairs are made as one transaction.
    apply,
};

// Deals with the journal an earlier run may have left (recoverJournal),
// parses the stream into tree, checks the ambisonic audio track, plans its
// repair when the check found the defect and plans the repair of the first
// track's Lumacode entry; with apply, then makes the planned repairs, the
// audio track first (commitRepairs). Planning only, every step after a
// successful parse runs, whatever the others gave. The tree is left as
// parsed. When memory runs out, the run ends as a parse that failed with 2.
RunOutcome runRepairs(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode,
                      const Journaling& journaling);

} // namespace boxmend
