#include "tool/repair/FileRun.h"

#include "mediafmt/io/File.h"
#include "tool/repair/FailureLines.h"
#include "tool/repair/Messages.h"

#include <initializer_list>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// The lines of the phases in turn, up to the first that failed: the
// repairs made, and the warnings a phase that went well leaves. Returns ok,
// or the status of the failure.
int reportPhases(std::initializer_list<Phase> phases, const RunOutcome& run,
                 const std::string& fileName, const std::string& journal,
                 std::vector<std::string>& lines) {
    for (Phase phase : phases) {
        if (auto failure = failureIn(phase, run, RunMode::apply, fileName, journal)) {
            lines.push_back(failure->line);
            return failure->status;
        }
        const Recovery& recovery = run.recovery;
        const PhaseOutcome& audio = phase == Phase::audio ? run.audio : recovery.audio;
        const PhaseOutcome& video = phase == Phase::video ? run.video : recovery.video;
        switch (phase) {
        case Phase::journal:
            if (recovery.found == JournalFound::pending && recovery.identityDiffers)
                lines.push_back(message::identityWarning(journal, fileName));
            break;
        case Phase::recoveredAudio:
        case Phase::audio:
            if (audio.ran())
                lines.push_back(message::audioCorrected);
            break;
        case Phase::recoveredVideo:
        case Phase::video:
            if (video.ran())
                lines.push_back(video.is(PhaseState::nothingToDo) ? message::videoFine
                                                                  : message::videoCorrected);
            break;
        case Phase::parse:
        case Phase::check:
            break;
        }
    }
    return exitStatus::ok;
}

Contents contentsOf(io::Io& file, const mp4::File& tree, const RunOutcome& run) {
    std::uint64_t length = 0;
    if (file.size(length) == 0 && length == 0)
        return Contents::empty;
    return run.parse.is(PhaseState::done) && !tree.find("moov") ? Contents::noMovieBox
                                                                : Contents::movie;
}

int repairParsing(io::Io& file, mp4::File& tree, const Journaling& journaling,
                  const std::string& fileName, std::vector<std::string>& lines, RunOutcome& run) {
    run = runRepairs(file, tree, RunMode::apply, journaling);
    const Recovery& recovery = run.recovery;
    const std::string journal = journaling.store.name();
    if (int status = reportPhases({Phase::journal, Phase::recoveredAudio, Phase::recoveredVideo},
                                  run, fileName, journal, lines);
        status != exitStatus::ok)
        return status;
    if (recovery.journalLeft)
        lines.push_back(recovery.found == JournalFound::completed
                            ? message::completedJournalLeft(journal)
                            : message::journalLeft(journal));
    const int status = reportPhases({Phase::parse, Phase::check, Phase::audio, Phase::video}, run,
                                    fileName, journal, lines);
    // After a failed video repair too: the audio repair was made.
    if (run.journalLeft)
        lines.push_back(message::journalLeft(journal));
    return status;
}

} // namespace

int repairOpenFile(io::Io& file, const Journaling& journaling, const std::string& fileName,
                   std::vector<std::string>& lines, RunOutcome* outcome) {
    mp4::File tree;
    RunOutcome kept;
    return repairParsing(file, tree, journaling, fileName, lines,
                         outcome != nullptr ? *outcome : kept);
}

FileRepair repairFile(const std::string& fileName) {
    FileRepair repair;
    io::File file;
    if (ResultCode rc = file.open(fileName, io::OpenMode::readWrite); rc != 0) {
        const Failure failure = openFailure(rc, fileName);
        repair.lines.push_back(failure.line);
        repair.status = failure.status;
        return repair;
    }
    repair.opened = true;
    FileJournaling beside(fileName, file);
    mp4::File tree;
    repair.status =
        repairParsing(file, tree, beside.journaling, fileName, repair.lines, repair.run);
    repair.contents = contentsOf(file, tree, repair.run);
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
    plan.place = beside.store.place();
    plan.run = runRepairs(file, tree, RunMode::planOnly, beside.journaling);
    plan.contents = contentsOf(file, tree, plan.run);
    if (plan.run.parse.is(PhaseState::done) && whileOpen)
        whileOpen(file);
    file.close();
    return plan;
}

} // namespace boxmend::repair
