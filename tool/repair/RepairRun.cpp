#include "tool/repair/RepairRun.h"

#include "tool/repair/AudioRepair.h"
#include "tool/repair/VideoRepair.h"

namespace boxmend {

using namespace mediafmt;

namespace {

// A failure that is neither a refusal nor a missing box: the bytes the
// repair needs could not be read.
void explainFailure(StepOutcome& step) {
    if (step.code > result::noOp && step.ran() && step.reason.empty())
        step.reason = "the file could not be read as the repair needs";
}

// The planned write, flushed to the device before it counts as made.
ResultCode writeAndFlush(io::Io& stream, const RepairPlan& plan) {
    if (ResultCode rc = writePlanned(stream, plan); rc != 0)
        return rc;
    return stream.flush();
}

} // namespace

RunOutcome runRepairs(io::Io& stream, mp4::File& tree, RunMode mode) {
    RunOutcome run;
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
    if (mode == RunMode::planOnly || goesOn) {
        run.video.code =
            planVideoRepair(run.videoEntry.get(), stream, run.videoPlan, run.video.reason);
        explainFailure(run.video);
    }
    if (mode == RunMode::planOnly || !goesOn)
        return run;

    if (run.audio.code == result::none) {
        run.audio.code = writeAndFlush(stream, run.audioPlan);
        if (run.audio.code != 0) {
            run.video = {};
            return run;
        }
    }
    if (run.video.code == result::none)
        run.video.code = writeAndFlush(stream, run.videoPlan);
    return run;
}

} // namespace boxmend
