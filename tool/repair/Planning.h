#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/RepairPlan.h"
#include "tool/repair/RunMode.h"
#include "tool/repair/Tracks.h"
#include "tool/repair/Transaction.h"

#include <memory>
#include <vector>

namespace boxmend::repair {

// What a run works out before it writes anything.
struct PlannedRepairs {
    // done when the file was parsed.
    PhaseOutcome parse;
    // needed when the ambisonic track's tables have the defect or were left
    // half-written by a repair (tornTables), nothingToDo when there is
    // nothing to repair in them.
    PhaseOutcome check;
    // Run only when the check found the defect: planned when the repair can
    // be made, refused when it cannot; applying, done once it is made.
    PhaseOutcome audio;
    // planned when the Lumacode entry can be corrected, nothingToDo when
    // there is nothing to do, refused when its repair cannot be made;
    // applying, done once it is made.
    PhaseOutcome video;
    bool tornTables = false;
    // What the check found, the first track's Lumacode entry (empty when it
    // has none), and the writes of each repair.
    AudioTables audioTables;
    std::shared_ptr<mediafmt::mp4::box::VideoSampleDescriptionBox> videoEntry;
    RepairPlan audioPlan;
    RepairPlan videoPlan;

    // Whether the program goes on past the audio track to the video entry:
    // not after a failed check or a failed audio plan.
    bool goesOn() const;
    // The repairs the program makes, in order.
    std::vector<RepairPlan> repairsToMake() const;
    // Where the outcome of the repair of kind goes.
    PhaseOutcome& outcomeOf(RepairKind kind);
};

// Parses the stream into tree, checks the ambisonic audio track, plans its
// repair when the check found the defect and plans the repair of the first
// track's Lumacode entry. Planning only, every step after a successful
// parse runs whatever the others gave; applying, the video entry is planned
// only when the program goes on to it. The tree is left as parsed.
void planRepairs(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode,
                 PlannedRepairs& planned);

// Makes the planned repairs as one transaction (commitRepairs), their
// outcomes in audio and video.
void commitPlanned(mediafmt::io::Io& stream, const Journaling& journaling, PlannedRepairs& planned,
                   bool& journalLeft);

} // namespace boxmend::repair
