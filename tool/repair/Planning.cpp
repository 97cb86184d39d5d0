#include "tool/repair/Planning.h"

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

} // namespace

bool PlannedRepairs::goesOn() const {
    return (check.code == result::none || check.code == result::noOp) &&
           (!audio.ran() || audio.code == result::none);
}

std::vector<RepairPlan> PlannedRepairs::repairsToMake() const {
    std::vector<RepairPlan> repairs;
    if (!goesOn())
        return repairs;
    if (audio.code == result::none)
        repairs.push_back(audioPlan);
    if (video.code == result::none)
        repairs.push_back(videoPlan);
    return repairs;
}

StepOutcome& PlannedRepairs::outcomeOf(RepairKind kind) {
    return kind == audioRepair ? audio : video;
}

void planRepairs(io::Io& stream, mp4::File& tree, RunMode mode, PlannedRepairs& planned) {
    planned.parse.code = tree.parse(&stream);
    if (planned.parse.code != 0)
        return;
    planned.check.code =
        checkAudioTrack(tree, planned.audioTables, planned.check.reason, planned.tornTables);
    if (planned.check.code == result::none) {
        planned.audio.code = planAudioRepair(planned.audioTables, planned.tornTables, stream,
                                             planned.audioPlan, planned.audio.reason);
        explainFailure(planned.audio);
        // Torn tables that cannot be completed are not to be checked as
        // right or defective: they are left as they are.
        if (planned.tornTables && planned.audio.code != result::none) {
            planned.check = {result::invalidOperation,
                             "the tables were left half-written by a repair whose journal is "
                             "missing, and cannot be completed: " +
                                 planned.audio.reason};
            planned.audio = {};
        }
    }
    planned.videoEntry = findLumacodeEntry(tree);
    if (mode == RunMode::planOnly || planned.goesOn()) {
        planned.video.code = planVideoRepair(planned.videoEntry.get(), stream, planned.videoPlan,
                                             planned.video.reason);
        explainFailure(planned.video);
    }
}

void commitPlanned(io::Io& stream, const Journaling& journaling, PlannedRepairs& planned,
                   bool& journalLeft) {
    std::vector<RepairPlan> repairs = planned.repairsToMake();
    std::vector<RepairKind> kinds;
    for (const RepairPlan& repair : repairs)
        kinds.push_back(repair.kind);
    std::vector<StepOutcome> outcomes;
    commitRepairs(stream, journaling, std::move(repairs), outcomes, journalLeft);
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        planned.outcomeOf(kinds[i]) = outcomes[i];
}

} // namespace boxmend
