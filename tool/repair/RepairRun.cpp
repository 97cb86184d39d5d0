#include "tool/repair/RepairRun.h"

#include "tool/repair/AudioRepair.h"
#include "tool/repair/VideoRepair.h"

#include <new>

namespace boxmend {

using namespace mediafmt;

namespace {

// A failure that is neither a refusal nor a missing box: the bytes the
// repair needs could not be read.
void explainFailure(StepOutcome& step) {
    if (step.code > result::noOp && step.ran() && step.reason.empty())
        step.reason = "the file could not be read as the repair needs";
}

RunOutcome runSteps(io::Io& stream, mp4::File& tree, RunMode mode, const Journaling& journaling) {
    const bool apply = mode == RunMode::apply;
    RunOutcome run;
    run.recovery = recoverJournal(stream, journaling, apply);
    if (apply && !run.recovery.allowsRun())
        return run;
    run.parse.code = tree.parse(&stream);
    if (run.parse.code != 0)
        return run;

    run.check.code = checkAudioTrack(tree, run.audioTables, run.check.reason);
    if (run.check.code == result::none) {
        run.audio.code = planAudioRepair(run.audioTables, stream, run.audioPlan, run.audio.reason);
        explainFailure(run.audio);
    }
    // The program stops at a failed check or a failed audio repair.
    const bool goesOn = (run.check.code == result::none || run.check.code == result::noOp) &&
                        (!run.audio.ran() || run.audio.code == result::none);
    run.videoEntry = findLumacodeEntry(tree);
    if (!apply || goesOn) {
        run.video.code =
            planVideoRepair(run.videoEntry.get(), stream, run.videoPlan, run.video.reason);
        explainFailure(run.video);
    }
    if (!apply || !goesOn)
        return run;

    std::vector<RepairToMake> repairs;
    if (run.audio.code == result::none)
        repairs.push_back({audioRepair, &run.audioPlan, &run.audio});
    if (run.video.code == result::none)
        repairs.push_back({videoRepair, &run.videoPlan, &run.video});
    commitRepairs(stream, journaling, repairs, run.journalLeft);
    return run;
}

} // namespace

RunOutcome runRepairs(io::Io& stream, mp4::File& tree, RunMode mode, const Journaling& journaling) {
    // A header too large for the memory there is: reported as a parse that
    // failed, the tree keeping what was read. Nothing is written before
    // every plan is made, which is where a header needs its memory.
    try {
        return runSteps(stream, tree, mode, journaling);
    } catch (const std::bad_alloc&) {
        RunOutcome run;
        run.parse.code = result::error;
        return run;
    }
}

} // namespace boxmend
