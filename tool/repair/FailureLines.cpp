#include "tool/repair/FailureLines.h"

#include "tool/repair/ExitStatus.h"
#include "tool/repair/JournalStore.h"
#include "tool/repair/Messages.h"

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// A repair that failed; a refusal too when the run applies the repairs
// (planning only, the outlook tells of it).
bool repairFailed(const PhaseOutcome& step, RunMode mode) {
    return step.is(PhaseState::failed) || (mode == RunMode::apply && step.is(PhaseState::refused));
}

// The journal a run had no room for: that of every repair it stopped so.
std::uint64_t journalWithoutRoom(const RunOutcome& run) {
    std::vector<RepairPlan> repairs;
    if (run.audio.trouble == WriteTrouble::journalNoRoom)
        repairs.push_back(run.audioPlan);
    if (run.video.trouble == WriteTrouble::journalNoRoom)
        repairs.push_back(run.videoPlan);
    return journalSize(repairs);
}

// The line for a failed write of a repair, by what went wrong.
std::string writeFailure(const PhaseOutcome& step, const RunOutcome& run, const std::string& usual,
                         const std::string& fileName, const char* stepText) {
    switch (step.trouble) {
    case WriteTrouble::journalNotWritten:
        return message::failure(step.code, message::writingJournal, fileName);
    case WriteTrouble::journalNoRoom:
        return message::noRoomForJournal(fileName, journalWithoutRoom(run));
    case WriteTrouble::notStored:
        return message::notStored(fileName, stepText);
    case WriteTrouble::none:
        break;
    }
    return usual;
}

std::optional<Failure> audioFailure(const PhaseOutcome& audio, const RunOutcome& run, RunMode mode,
                                    const std::string& fileName) {
    if (!repairFailed(audio, mode))
        return std::nullopt;
    return Failure{exitStatus::audioRepairFailed,
                   writeFailure(audio, run,
                                message::failure(audio.code, message::repairingAudio, fileName),
                                fileName, message::repairingAudio)};
}

std::optional<Failure> videoFailure(const PhaseOutcome& video, const RunOutcome& run, RunMode mode,
                                    const std::string& fileName) {
    if (!repairFailed(video, mode))
        return std::nullopt;
    return Failure{exitStatus::usageOrVideoFailed,
                   writeFailure(video, run, message::videoFailure(fileName), fileName,
                                message::repairingVideo)};
}

// A repair whose writes the device did not store where they were sent, when
// the run tried to put the header back: the line says how that went.
std::optional<Failure> misplacedFailure(const PhaseOutcome& step, int status, const RunOutcome& run,
                                        const std::string& fileName, const std::string& journal) {
    if (!run.restore || !step.is(PhaseState::failed) || step.trouble != WriteTrouble::notStored)
        return std::nullopt;
    return Failure{status, run.restore->state == RestoreState::restored
                               ? message::putBack(fileName)
                               : message::mayBeDamaged(fileName, journal)};
}

std::optional<Failure> journalFailure(const Recovery& recovery, const std::string& fileName,
                                      const std::string& journal) {
    switch (recovery.found) {
    case JournalFound::unreadable:
        return Failure{exitStatus::journalTrouble,
                       message::failure(recovery.code, message::readingJournal, fileName)};
    case JournalFound::mismatch:
        return Failure{exitStatus::journalTrouble, message::journalMismatch(journal, fileName)};
    case JournalFound::otherVersion:
        return Failure{exitStatus::journalTrouble, message::journalOfOtherVersion(journal)};
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<Failure> failureIn(Phase phase, const RunOutcome& run, RunMode mode,
                                 const std::string& fileName, const std::string& journal) {
    switch (phase) {
    case Phase::journal:
        return journalFailure(run.recovery, fileName, journal);
    case Phase::recoveredAudio:
        return audioFailure(run.recovery.audio, run, mode, fileName);
    case Phase::recoveredVideo:
        return videoFailure(run.recovery.video, run, mode, fileName);
    case Phase::parse:
        if (!run.parse.is(PhaseState::failed))
            return std::nullopt;
        return Failure{exitStatus::parseFailed,
                       message::failure(run.parse.code, message::parsing, fileName)};
    case Phase::check:
        if (!run.parse.is(PhaseState::done) || !checkFailed(run))
            return std::nullopt;
        return Failure{exitStatus::audioCheckFailed,
                       run.tornTables
                           ? message::halfWritten(fileName)
                           : message::failure(run.check.code, message::checkingAudio, fileName)};
    case Phase::audio:
        if (auto misplaced =
                misplacedFailure(run.audio, exitStatus::audioRepairFailed, run, fileName, journal))
            return misplaced;
        return audioFailure(run.audio, run, mode, fileName);
    case Phase::video:
        if (auto misplaced =
                misplacedFailure(run.video, exitStatus::usageOrVideoFailed, run, fileName, journal))
            return misplaced;
        return videoFailure(run.video, run, mode, fileName);
    }
    return std::nullopt;
}

std::vector<std::string> failureLines(const RunOutcome& run, RunMode mode,
                                      const std::string& fileName, const std::string& journal) {
    std::vector<std::string> lines;
    for (Phase phase : phases) {
        if (auto failure = failureIn(phase, run, mode, fileName, journal))
            lines.push_back(failure->line);
    }
    return lines;
}

bool checkFailed(const RunOutcome& run) {
    return !run.check.is(PhaseState::needed) && !run.check.is(PhaseState::nothingToDo);
}

Failure openFailure(ResultCode code, const std::string& fileName) {
    return {exitStatus::openFailed, message::failure(code, message::opening, fileName)};
}

} // namespace boxmend::repair
