#include "tool/boxmend/Driver.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/Messages.h"
#include "tool/repair/RepairRun.h"
#include "tool/repair/Transaction.h"

#include <cstdio>
#include <iostream>

namespace boxmend {

using mediafmt::ResultCode;
namespace result = mediafmt::result;

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

// The lines for the repairs of the audio track and the video entry, those
// of a run or those its journal completes; ok, or the status of a failure.
int reportRepairs(const StepOutcome& audio, const StepOutcome& video, const std::string& fileName,
                  std::vector<std::string>& lines) {
    if (audio.ran()) {
        if (audio.code != 0) {
            lines.push_back(
                writeFailure(audio, message::failure(audio.code, message::repairingAudio, fileName),
                             fileName, message::repairingAudio));
            return exitStatus::audioRepairFailed;
        }
        lines.push_back(message::audioCorrected);
    }
    if (!video.ran())
        return exitStatus::ok;
    if (video.code == result::noOp) {
        lines.push_back(message::videoFine);
    } else if (video.code == 0) {
        lines.push_back(message::videoCorrected);
    } else {
        lines.push_back(writeFailure(video, message::videoFailure(fileName), fileName,
                                     message::repairingVideo));
        return exitStatus::usageOrVideoFailed;
    }
    return exitStatus::ok;
}

} // namespace

int printUsage() {
    std::cout << "Usage: boxmend <file>" << std::endl;
    return exitStatus::usageOrVideoFailed;
}

int repairOpenFile(mediafmt::io::Io& file, const Journaling& journaling,
                   const std::string& fileName, std::vector<std::string>& lines,
                   RunOutcome* outcome) {
    mediafmt::mp4::File tree;
    RunOutcome kept;
    RunOutcome& run = outcome != nullptr ? *outcome : kept;
    run = runRepairs(file, tree, RunMode::apply, journaling);
    const Recovery& recovery = run.recovery;
    const std::string journal = journaling.store.name();
    switch (recovery.found) {
    case JournalFound::unreadable:
        lines.push_back(message::failure(recovery.code, message::readingJournal, fileName));
        return exitStatus::journalTrouble;
    case JournalFound::mismatch:
        lines.push_back(message::journalMismatch(journal, fileName));
        return exitStatus::journalTrouble;
    case JournalFound::otherVersion:
        lines.push_back(message::journalOfOtherVersion(journal));
        return exitStatus::journalTrouble;
    case JournalFound::pending:
        if (recovery.identityDiffers)
            lines.push_back(message::identityWarning(journal, fileName));
        if (int status = reportRepairs(recovery.audio, recovery.video, fileName, lines);
            status != exitStatus::ok)
            return status;
        if (recovery.journalLeft)
            lines.push_back(message::journalLeft(journal));
        break;
    case JournalFound::completed:
        if (recovery.journalLeft)
            lines.push_back(message::completedJournalLeft(journal));
        break;
    case JournalFound::none:
    case JournalFound::damaged:
        break;
    }

    if (run.parse.code != 0) {
        lines.push_back(message::failure(run.parse.code, message::parsing, fileName));
        return exitStatus::parseFailed;
    }
    if (run.check.code != result::none && run.check.code != result::noOp) {
        lines.push_back(run.tornTables
                            ? message::halfWritten(fileName)
                            : message::failure(run.check.code, message::checkingAudio, fileName));
        return exitStatus::audioCheckFailed;
    }
    const int status = reportRepairs(run.audio, run.video, fileName, lines);
    if (run.journalLeft)
        lines.push_back(message::journalLeft(journal));
    return status;
}

FileRepair repairFile(const std::string& fileName) {
    FileRepair repair;
    mediafmt::io::File file;
    if (ResultCode rc = file.open(fileName, mediafmt::io::OpenMode::readWrite); rc != 0) {
        repair.lines.push_back(message::failure(rc, message::opening, fileName));
        return repair;
    }
    repair.opened = true;
    FileJournaling beside(fileName, file);
    repair.status = repairOpenFile(file, beside.journaling, fileName, repair.lines, &repair.run);
    file.close();
    return repair;
}

int runRepair(const std::string& fileName) {
    const FileRepair repair = repairFile(fileName);
    int status = repair.status;
    for (const std::string& line : repair.lines)
        std::printf("%s\n", line.c_str());
    // A run whose result nobody could read does not end as if all was well.
    if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && status == exitStatus::ok)
        status = exitStatus::outputFailed;
    return status;
}

} // namespace boxmend
