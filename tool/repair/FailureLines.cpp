#include "tool/repair/FailureLines.h"

#include "tool/repair/ExitStatus.h"
#include "tool/repair/Messages.h"

namespace boxmend {

using namespace mediafmt;

namespace {

// The line for a failed write of a repair, by what went wrong.
std::string writeFailure(const StepOutcome& step, const std::string& usual,
                         const std::string& fileName, const char* stepText) {
    switch (step.trouble) {
    case WriteTrouble::journalNotWritten:
        return message::failure(step.code, message::writingJournal, fileName);
    case WriteTrouble::notStored:
        return message::notStored(fileName, stepText);
    case WriteTrouble::none:
        break;
    }
    return usual;
}

bool refusal(const StepOutcome& step, RunMode mode) {
    return mode == RunMode::planOnly && step.code == result::invalidOperation;
}

} // namespace

bool checkFailed(const RunOutcome& run) {
    return run.check.code != result::none && run.check.code != result::noOp;
}

bool audioRepairFailed(const StepOutcome& audio, RunMode mode) {
    return audio.ran() && audio.code != result::none && !refusal(audio, mode);
}

bool videoRepairFailed(const StepOutcome& video, RunMode mode) {
    return video.ran() && video.code != result::none && video.code != result::noOp &&
           !refusal(video, mode);
}

Failure openFailure(ResultCode code, const std::string& fileName) {
    return {exitStatus::openFailed, message::failure(code, message::opening, fileName)};
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

std::optional<Failure> parseFailure(const RunOutcome& run, const std::string& fileName) {
    if (run.parse.code == 0)
        return std::nullopt;
    return Failure{exitStatus::parseFailed,
                   message::failure(run.parse.code, message::parsing, fileName)};
}

std::optional<Failure> checkFailure(const RunOutcome& run, const std::string& fileName) {
    if (!checkFailed(run))
        return std::nullopt;
    return Failure{exitStatus::audioCheckFailed,
                   run.tornTables
                       ? message::halfWritten(fileName)
                       : message::failure(run.check.code, message::checkingAudio, fileName)};
}

std::optional<Failure> audioFailure(const StepOutcome& audio, RunMode mode,
                                    const std::string& fileName) {
    if (!audioRepairFailed(audio, mode))
        return std::nullopt;
    return Failure{exitStatus::audioRepairFailed,
                   writeFailure(audio,
                                message::failure(audio.code, message::repairingAudio, fileName),
                                fileName, message::repairingAudio)};
}

std::optional<Failure> videoFailure(const StepOutcome& video, RunMode mode,
                                    const std::string& fileName) {
    if (!videoRepairFailed(video, mode))
        return std::nullopt;
    return Failure{
        exitStatus::usageOrVideoFailed,
        writeFailure(video, message::videoFailure(fileName), fileName, message::repairingVideo)};
}

std::vector<std::string> planFailureLines(const RunOutcome& run, const std::string& fileName,
                                          const std::string& journal) {
    const RunMode mode = RunMode::planOnly;
    std::vector<std::string> lines;
    const auto add = [&lines](const std::optional<Failure>& failure) {
        if (failure)
            lines.push_back(failure->line);
        return failure.has_value();
    };
    add(journalFailure(run.recovery, fileName, journal));
    if (add(parseFailure(run, fileName)))
        return lines;
    // The audio repair is planned only once the check found the defect.
    if (!add(checkFailure(run, fileName)))
        add(audioFailure(run.audio, mode, fileName));
    add(videoFailure(run.video, mode, fileName));
    return lines;
}

} // namespace boxmend
