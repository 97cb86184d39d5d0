#include "tool/repair/FileRun.h"

#include "mediafmt/io/File.h"
#include "tool/repair/FailureLines.h"
#include "tool/repair/Messages.h"

namespace boxmend {

using namespace mediafmt;

namespace {

int failWith(const Failure& failure, std::vector<std::string>& lines) {
    lines.push_back(failure.line);
    return failure.status;
}

// The lines for the repairs of the audio track and the video entry, those
// of a run or those its journal completes; ok, or the status of a failure.
int reportRepairs(const StepOutcome& audio, const StepOutcome& video, const std::string& fileName,
                  std::vector<std::string>& lines) {
    if (audio.ran()) {
        if (auto failure = audioFailure(audio, RunMode::apply, fileName))
            return failWith(*failure, lines);
        lines.push_back(message::audioCorrected);
    }
    if (!video.ran())
        return exitStatus::ok;
    if (auto failure = videoFailure(video, RunMode::apply, fileName))
        return failWith(*failure, lines);
    lines.push_back(video.code == result::noOp ? message::videoFine : message::videoCorrected);
    return exitStatus::ok;
}

} // namespace

int repairOpenFile(io::Io& file, const Journaling& journaling, const std::string& fileName,
                   std::vector<std::string>& lines, RunOutcome* outcome) {
    mp4::File tree;
    RunOutcome kept;
    RunOutcome& run = outcome != nullptr ? *outcome : kept;
    run = runRepairs(file, tree, RunMode::apply, journaling);
    const Recovery& recovery = run.recovery;
    const std::string journal = journaling.store.name();
    if (auto failure = journalFailure(recovery, fileName, journal))
        return failWith(*failure, lines);
    if (recovery.found == JournalFound::pending) {
        if (recovery.identityDiffers)
            lines.push_back(message::identityWarning(journal, fileName));
        if (int status = reportRepairs(recovery.audio, recovery.video, fileName, lines);
            status != exitStatus::ok)
            return status;
        if (recovery.journalLeft)
            lines.push_back(message::journalLeft(journal));
    } else if (recovery.found == JournalFound::completed && recovery.journalLeft) {
        lines.push_back(message::completedJournalLeft(journal));
    }

    if (auto failure = parseFailure(run, fileName))
        return failWith(*failure, lines);
    if (auto failure = checkFailure(run, fileName))
        return failWith(*failure, lines);
    const int status = reportRepairs(run.audio, run.video, fileName, lines);
    if (run.journalLeft)
        lines.push_back(message::journalLeft(journal));
    return status;
}

FileRepair repairFile(const std::string& fileName) {
    FileRepair repair;
    io::File file;
    if (ResultCode rc = file.open(fileName, io::OpenMode::readWrite); rc != 0) {
        repair.status = failWith(openFailure(rc, fileName), repair.lines);
        return repair;
    }
    repair.opened = true;
    FileJournaling beside(fileName, file);
    repair.status = repairOpenFile(file, beside.journaling, fileName, repair.lines, &repair.run);
    file.close();
    return repair;
}

FilePlan planFile(const std::string& fileName, mp4::File& tree,
                  const std::function<void(io::Io& file)>& whileOpen) {
    FilePlan plan;
    io::File file;
    plan.openCode = file.open(fileName, io::OpenMode::read);
    if (plan.openCode != 0)
        return plan;
    plan.opened = true;
    FileJournaling beside(fileName, file);
    plan.journal = beside.store.name();
    plan.run = runRepairs(file, tree, RunMode::planOnly, beside.journaling);
    if (plan.run.parse.code == 0 && whileOpen)
        whileOpen(file);
    file.close();
    return plan;
}

} // namespace boxmend
