#include "tool/repair/PlanOutlook.h"

#include "tool/repair/Messages.h"
#include "tool/repair/PlanVerdict.h"

namespace boxmend::repair {

using namespace mediafmt;

namespace {

const char* kindsText(std::uint32_t kinds) {
    switch (kinds) {
    case audioRepair:
        return "the audio track";
    case videoRepair:
        return "the Lumacode video entry";
    default:
        return "the audio track and the Lumacode video entry";
    }
}

} // namespace

const char* journalState(JournalFound found) {
    switch (found) {
    case JournalFound::pending:
        return "pending";
    case JournalFound::completed:
        return "completed";
    case JournalFound::damaged:
        return "damaged";
    case JournalFound::mismatch:
        return "mismatch";
    case JournalFound::otherVersion:
        return "other version";
    case JournalFound::unreadable:
        return "unreadable";
    case JournalFound::none:
        break;
    }
    return "none";
}

std::string journalOutlook(const Recovery& recovery) {
    switch (recovery.found) {
    case JournalFound::pending:
        return std::string("boxmend completes the interrupted repair of ") +
               kindsText(recovery.kinds) + " it records, then removes it" +
               (recovery.identityDiffers ? " (the file's identity differs from the one it names)"
                                         : "");
    case JournalFound::completed:
        return "boxmend removes it: every byte it records already holds its new value, so "
               "nothing is written";
    case JournalFound::damaged:
        return "boxmend removes it: it is not whole, so its run changed nothing";
    case JournalFound::mismatch:
        return "boxmend refuses to change the file: it does not match the journal, which is "
               "kept for you to decide";
    case JournalFound::otherVersion:
        return "boxmend refuses to change the file: another version of boxmend wrote the "
               "journal, which is kept for that version to complete";
    case JournalFound::unreadable:
        return "boxmend refuses to change the file: the journal cannot be read (" +
               message::codeAndText(recovery.code) + ")";
    case JournalFound::none:
        break;
    }
    return "";
}

std::string outlookLine(const PhaseOutcome& step, const RepairPlan& plan) {
    if (!step.is(PhaseState::planned))
        return "boxmend would refuse: " + message::codeAndText(step.code) + ": " + step.reason;
    return "boxmend would write " + message::counted(plan.bytesWritten(), "byte", "bytes") +
           " within " + plan.box;
}

const char* contentsReason(Contents contents) {
    switch (contents) {
    case Contents::empty:
        return message::emptyFile;
    case Contents::noMovieBox:
        return message::neverFinished;
    case Contents::movie:
        break;
    }
    return nullptr;
}

std::string resultLine(const RunOutcome& run, Contents contents) {
    if (const char* reason = contentsReason(contents))
        return std::string("result: ") + reason;
    if (journalPending(run))
        return "result: a repair is needed: boxmend completes the interrupted repair its journal "
               "records";
    if (journalInTheWay(run))
        return "result: trouble: the journal of an interrupted repair is beside the file";
    switch (dumpStatusOf(run)) {
    case dumpStatus::nothingToRepair:
        return "result: nothing to repair";
    case dumpStatus::repairNeeded:
        return wouldRefuse(run) ? "result: a repair is needed, and boxmend would refuse it"
                                : "result: a repair is needed, and boxmend can make it in place";
    default:
        return "result: trouble: the checks could not be completed";
    }
}

std::optional<std::string> journalRoomWarning(const RunOutcome& run, const JournalPlace& place) {
    if (journalInTheWay(run))
        return std::nullopt;
    const std::vector<RepairPlan> repairs = run.repairsToMake();
    const std::uint64_t bytes = journalSize(repairs);
    if (repairs.empty() || !place.tooFullFor(bytes))
        return std::nullopt;
    return message::journalRoomWarning(bytes, *place.freeBytes);
}

std::vector<std::string> outlookLines(const FilePlan& plan) {
    const RunOutcome& run = plan.run;
    const std::string& journal = plan.journal;
    std::vector<std::string> lines;
    if (run.recovery.found != JournalFound::none)
        lines.push_back("repair journal " + message::printableName(journal) + ": " +
                        journalState(run.recovery.found) + ": the next run of " +
                        journalOutlook(run.recovery));
    const bool parsed = run.parse.is(PhaseState::done);
    if (parsed && audioNeedsRepair(run))
        lines.push_back("ambisonic audio track: " + outlookLine(run.audio, run.audioPlan));
    if (parsed && videoNeedsRepair(run))
        lines.push_back("Lumacode video entry: " + outlookLine(run.video, run.videoPlan));
    if (auto warning = journalRoomWarning(run, plan.place))
        lines.push_back(*warning);
    lines.push_back(resultLine(run, plan.contents));
    return lines;
}

} // namespace boxmend::repair
