#include "tool/repair/RepairRun.h"

#include <new>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

RunOutcome runSteps(io::Io& stream, mp4::File& tree, RunMode mode, const Journaling& journaling) {
    const bool apply = mode == RunMode::apply;
    RunOutcome run;
    run.recovery = recoverJournal(stream, journaling, mode);
    if (apply && !run.recovery.allowsRun())
        return run;
    planRepairs(stream, tree, mode, run);
    if (apply)
        commitPlanned(stream, journaling, run, run.journalLeft);
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
        run.parse = PhaseOutcome::failure(result::error);
        return run;
    }
}

} // namespace boxmend::repair
