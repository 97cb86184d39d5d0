#include "tool/repair/Planning.h"

#include "tool/repair/AudioRepair.h"
#include "tool/repair/VideoRepair.h"

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// A failure that is neither a refusal nor a missing box: the bytes the
// repair needs could not be read.
void explainFailure(PhaseOutcome& step) {
    if (step.stopped() && step.reason.empty())
        step.reason = "the file could not be read as the repair needs";
}

} // namespace

bool PlannedRepairs::goesOn() const {
    return (check.is(PhaseState::needed) || check.is(PhaseState::nothingToDo)) &&
           (!audio.ran() || audio.is(PhaseState::planned));
}

std::vector<RepairPlan> PlannedRepairs::repairsToMake() const {
    std::vector<RepairPlan> repairs;
    if (!goesOn())
        return repairs;
    if (audio.is(PhaseState::planned))
        repairs.push_back(audioPlan);
    if (video.is(PhaseState::planned))
        repairs.push_back(videoPlan);
    return repairs;
}

PhaseOutcome& PlannedRepairs::outcomeOf(RepairKind kind) {
    return kind == audioRepair ? audio : video;
}

void planRepairs(io::Io& stream, mp4::File& tree, RunMode mode, PlannedRepairs& planned) {
    if (ResultCode rc = tree.parse(&stream); rc != 0) {
        planned.parse = PhaseOutcome::failure(rc);
        return;
    }
    planned.parse = PhaseOutcome::of(PhaseState::done);
    planned.check = checkAudioTrack(tree, planned.audioTables, planned.tornTables);
    if (planned.check.is(PhaseState::needed)) {
        planned.audio =
            planAudioRepair(planned.audioTables, planned.tornTables, stream, planned.audioPlan);
        explainFailure(planned.audio);
        // Torn tables that cannot be completed are not to be checked as
        // right or defective: they are left as they are.
        if (planned.tornTables && !planned.audio.is(PhaseState::planned)) {
            planned.check = PhaseOutcome::failure(
                result::invalidOperation,
                "the tables were left half-written by a repair whose journal is missing, and "
                "cannot be completed: " +
                    planned.audio.reason);
            planned.audio = {};
        }
    }
    planned.videoEntry = findLumacodeEntry(tree);
    if (mode == RunMode::planOnly || planned.goesOn()) {
        planned.video = planVideoRepair(planned.videoEntry.get(), stream, planned.videoPlan);
        explainFailure(planned.video);
    }
}

void commitPlanned(io::Io& stream, const Journaling& journaling, PlannedRepairs& planned,
                   bool& journalLeft) {
    std::vector<RepairPlan> repairs = planned.repairsToMake();
    std::vector<RepairKind> kinds;
    for (const RepairPlan& repair : repairs)
        kinds.push_back(repair.kind);
    std::vector<PhaseOutcome> outcomes;
    commitRepairs(stream, journaling, std::move(repairs), outcomes, journalLeft);
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        planned.outcomeOf(kinds[i]) = outcomes[i];
}

} // namespace boxmend::repair
