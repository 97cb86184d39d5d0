#include "tool/boxmend-all/BatchRun.h"

#include "mediafmt/mp4/File.h"
#include "tool/boxmend-all/Interrupt.h"
#include "tool/boxmend-all/MovieWalk.h"
#include "tool/boxmend-all/Verdict.h"
#include "tool/console/FileName.h"
#include "tool/console/Output.h"
#include "tool/repair/FailureLines.h"
#include "tool/repair/FileRun.h"
#include "tool/repair/Messages.h"
#include "tool/repair/PlanOutlook.h"
#include "tool/repair/PlanVerdict.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

namespace boxmend::batch {

using repair::FilePlan;
using repair::FileRepair;
using repair::message::counted;
using repair::message::printableName;
namespace dumpStatus = repair::dumpStatus;

namespace {

// Standard output, with a progress line on a terminal that is rewritten in
// place and cleared before anything else is printed.
class Output {
public:
    void line(const std::string& text) {
        clearProgress();
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    }
    void progress(const std::string& text) {
        if (!terminal_)
            return;
        clearProgress();
        std::fputs(("\r" + text).c_str(), stdout);
        std::fflush(stdout);
        width_ = text.size();
        shown_ = text;
    }
    // The progress line on the screen, empty when none.
    std::string onScreen() const { return width_ == 0 ? std::string() : shown_; }
    void clearProgress() {
        if (width_ == 0)
            return;
        std::fputs(("\r" + std::string(width_, ' ') + "\r").c_str(), stdout);
        width_ = 0;
    }

private:
    bool terminal_ = console::outputIsTerminal();
    std::size_t width_ = 0;
    std::string shown_;
};

// A file's last name, cut to fit a progress line (never inside a UTF-8
// sequence).
std::string progressName(const std::string& shown) {
    constexpr std::size_t longest = 50;
    const std::size_t cut = shown.find_last_of("/\\");
    std::string name = cut == std::string::npos ? shown : shown.substr(cut + 1);
    if (name.size() <= longest)
        return name;
    std::size_t end = longest;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
        --end;
    return name.substr(0, end) + "...";
}

// boxdump's run on a file: opened for reading only, the journal only looked at.
FilePlan planFile(const std::string& fileName) {
    mediafmt::mp4::File tree;
    return repair::planFile(fileName, tree);
}

// The plan-only outcome's lines: in brief, with boxmend's lines for any
// trouble before the result line.
std::vector<std::string> planLines(const FilePlan& plan, const std::string& fileName) {
    if (!plan.opened)
        return {repair::openFailure(plan.openCode, fileName).line};
    std::vector<std::string> lines = repair::outlookLines(plan);
    const std::vector<std::string> trouble =
        repair::failureLines(plan.run, repair::RunMode::planOnly, fileName, plan.journal);
    lines.insert(lines.end() - 1, trouble.begin(), trouble.end());
    return lines;
}

// One movie's verdict and the lines shown under it.
struct Looked {
    Verdict verdict;
    std::vector<std::string> lines;
    // The device did not store the repair's writes where they were sent.
    bool notStored = false;
    // The movie lies on a read-only file system.
    bool onReadOnlyCard = false;
};

// A line beneath boxmend's when what the file holds explains its failure.
void addReason(std::vector<std::string>& lines, repair::Contents contents) {
    if (const char* reason = repair::contentsReason(contents))
        lines.push_back(repair::message::asSentence(reason));
}

Looked lookAt(const FoundMovie& movie, bool dryRun) {
    // Named, opened and shown in its lines exactly as boxmend would.
    const std::string fileName = console::fileNameFor(movie.path);
    if (dryRun) {
        const FilePlan plan = planFile(fileName);
        return {classifyPlan(plan.opened, plan.run), planLines(plan, fileName), false,
                plan.place.readOnly};
    }
    FileRepair repair = repair::repairFile(fileName);
    if (repair.opened) {
        addReason(repair.lines, repair.contents);
        return {classifyRepair(repair, nullptr), std::move(repair.lines),
                repair.run.misplacedWrites};
    }
    // Read-only, or on a locked card: right already, or failed as boxmend
    // says, with what the file holds or that its repair must wait.
    const FilePlan plan = planFile(fileName);
    const Verdict verdict = classifyRepair(repair, plan.opened ? &plan.run : nullptr);
    if (verdict == Verdict::alreadyRight)
        repair.lines = {"Cannot be opened for writing, but there is nothing to repair"};
    else if (plan.contents != repair::Contents::movie)
        addReason(repair.lines, plan.contents);
    else if (plan.place.readOnly && plan.opened &&
             repair::dumpStatusOf(plan.run) == dumpStatus::repairNeeded)
        repair.lines.push_back(repair::message::asSentence(repair::message::repairOnReadOnlyCard));
    return {verdict, std::move(repair.lines), false, plan.place.readOnly};
}

struct Tally {
    std::map<Verdict, std::uint64_t> counts;
    // The movies that failed, were refused or met trouble, in order.
    std::vector<std::pair<Verdict, std::string>> listed;
};

// The counts, on lines that fit an 80-column terminal.
std::vector<std::string> summary(const Tally& tally, const MovieWalk& walk, bool dryRun) {
    auto count = [&](Verdict verdict) {
        const auto found = tally.counts.find(verdict);
        return found == tally.counts.end() ? std::uint64_t{0} : found->second;
    };
    const std::uint64_t others = count(Verdict::otherDevice);
    std::uint64_t recordings = 0;
    for (const auto& [verdict, n] : tally.counts)
        recordings += verdict == Verdict::otherDevice ? 0 : n;
    std::string text = counted(recordings, "recording", "recordings") + ": ";
    if (dryRun)
        text += std::to_string(count(Verdict::toRepair)) + " to repair, " +
                std::to_string(count(Verdict::alreadyRight)) + " already right, " +
                std::to_string(count(Verdict::refused)) + " refused, " +
                std::to_string(count(Verdict::trouble)) + " in trouble";
    else
        text += std::to_string(count(Verdict::repaired)) + " repaired, " +
                std::to_string(count(Verdict::alreadyRight)) + " already right, " +
                std::to_string(count(Verdict::failed)) + " failed";
    return {text, counted(others, "movie from another device", "movies from other devices") +
                      " left alone; " + counted(walk.otherFiles, "other file", "other files") +
                      " skipped"};
}

const char* listedAs(Verdict verdict) {
    switch (verdict) {
    case Verdict::refused:
        return "Refused: ";
    case Verdict::trouble:
        return "Trouble: ";
    default:
        return "Failed: ";
    }
}

// boxdump's status for a verdict of a dry run.
int planStatus(Verdict verdict) {
    switch (verdict) {
    case Verdict::toRepair:
    case Verdict::refused:
        return dumpStatus::repairNeeded;
    case Verdict::trouble:
        return dumpStatus::trouble;
    default:
        return dumpStatus::nothingToRepair;
    }
}

// One run over the movies under the paths: the walk, each movie's run in
// turn, then the ending lines and the status.
class Batch {
public:
    Batch(const std::vector<console::NativePath>& paths, bool dryRun)
        : paths_(paths), dryRun_(dryRun) {}

    int run() {
        walk();
        lookAtEach();
        printEnding();
        return status();
    }

private:
    void walk() {
        std::fflush(stdout);
        beginQuietWork({}, "Stopping once the search for movies is done; Ctrl-C again stops now.",
                       "Stopped during the search for movies; nothing was written.");
        walk_ = findMovies(paths_);
        endQuietWork();
        for (const Unsearched& path : walk_.unreadable)
            out_.line(path.missing
                          ? printableName(path.shown) + ": " + path.reason
                          : "Cannot read " + printableName(path.shown) + ": " + path.reason);
    }

    void lookAtEach() {
        for (const FoundMovie& movie : walk_.movies) {
            if (interruptRequested())
                return;
            const Looked result = look(movie);
            count(movie, result);
            if (result.notStored) {
                // Writes that land elsewhere may have damaged another file;
                // no further file is opened for writing on this device.
                misplaced_ = &movie;
                return;
            }
        }
    }

    // The movie's run, with its progress line and what Ctrl-C says meanwhile.
    Looked look(const FoundMovie& movie) {
        const std::string shown = printableName(movie.shown);
        // Only a movie's run tells whether it is a recording, so the progress
        // line counts movies and the lines below count recordings.
        out_.progress("Movie " + std::to_string(looked_ + 1) + " of " +
                      std::to_string(walk_.movies.size()) + ": " + progressName(shown));
        std::fflush(stdout);
        beginQuietWork(out_.onScreen(), "Stopping after this movie; Ctrl-C again stops now.",
                       dryRun_ ? "Stopped at once; nothing was written."
                               : "Stopped at once during " + shown +
                                     ";\nits journal lets the next run of boxmend or "
                                     "boxmend-all complete the repair.");
        Looked result = lookAt(movie, dryRun_);
        endQuietWork();
        return result;
    }

    void count(const FoundMovie& movie, const Looked& result) {
        ++looked_;
        readOnlyCard_ = readOnlyCard_ || result.onReadOnlyCard;
        ++tally_.counts[result.verdict];
        planWorst_ = std::max(planWorst_, planStatus(result.verdict));
        if (result.verdict == Verdict::failed || result.verdict == Verdict::refused ||
            result.verdict == Verdict::trouble)
            tally_.listed.push_back({result.verdict, movie.shown});
        if (result.verdict != Verdict::otherDevice) {
            out_.line("[" + std::to_string(++recordings_) + "] " + printableName(movie.shown));
            for (const std::string& line : result.lines)
                out_.line("    " + line);
        }
        out_.clearProgress();
        std::fflush(stdout);
    }

    void printEnding() {
        interrupted_ = interruptRequested() && misplaced_ == nullptr;
        if (readOnlyCard_)
            out_.line(repair::message::readOnlyCard);
        // Nothing found: the lines about the paths say all there is.
        const bool found = !walk_.movies.empty();
        if (dryRun_ && found)
            out_.line("Dry run: no file was opened for writing.");
        if (found)
            for (const std::string& line : summary(tally_, walk_, dryRun_))
                out_.line(line);
        for (const auto& [verdict, path] : tally_.listed)
            out_.line(listedAs(verdict) + printableName(path));
        if (found)
            for (const Unsearched& path : walk_.unreadable)
                out_.line("Could not read: " + printableName(path.shown) + " (" + path.reason +
                          ")");
        if (walk_.offlineFiles != 0)
            out_.line(
                "Not fetched: " + counted(walk_.offlineFiles, "offline file", "offline files") +
                ", whose data reading would download");
        if (misplaced_ != nullptr) {
            out_.line("Stopped after " + printableName(misplaced_->shown) + ":");
            out_.line("the device did not store the writes where they were sent, so no other file");
            out_.line("was opened for writing; " +
                      counted(walk_.movies.size() - looked_, "movie was", "movies were") +
                      " not touched.");
        }
        if (!found) {
            const std::string searched = searchedPaths();
            if (!searched.empty())
                out_.line("No movie found in " + printableName(searched));
        }
        if (interrupted_)
            out_.line("Interrupted after " + std::to_string(looked_) + " of " +
                      counted(walk_.movies.size(), "movie", "movies") +
                      "; the rest were not looked at");
    }

    // The paths given that were searched: the others have had their line.
    std::string searchedPaths() const {
        std::string searched;
        for (const console::NativePath& path : paths_) {
            const std::string shown = console::shownName(path);
            if (std::none_of(walk_.unreadable.begin(), walk_.unreadable.end(),
                             [&](const Unsearched& u) { return u.shown == shown; }))
                searched += (searched.empty() ? "" : ", ") + shown;
        }
        return searched;
    }

    int status() const {
        int status = batchStatus::ok;
        if (dryRun_)
            status = walk_.unreadable.empty() ? planWorst_ : dumpStatus::trouble;
        else if (failures() != 0 || !walk_.unreadable.empty() || misplaced_ != nullptr)
            status = batchStatus::failed;
        // A path that could not be read says more than finding nothing.
        if (walk_.movies.empty() && status == batchStatus::ok)
            status = batchStatus::usageOrNoMovie;
        if (console::outputLost())
            status = batchStatus::outputFailed;
        return interrupted_ ? batchStatus::interrupted : status;
    }

    std::uint64_t failures() const {
        const auto found = tally_.counts.find(Verdict::failed);
        return found == tally_.counts.end() ? 0 : found->second;
    }

    const std::vector<console::NativePath>& paths_;
    const bool dryRun_;
    Output out_;
    MovieWalk walk_;
    Tally tally_;
    int planWorst_ = dumpStatus::nothingToRepair;
    std::size_t looked_ = 0;
    std::uint64_t recordings_ = 0;
    // The movie whose writes the device did not store where they were sent.
    const FoundMovie* misplaced_ = nullptr;
    // Ctrl-C stopped the run before its end.
    bool interrupted_ = false;
    // Said once for the whole run rather than read into each open failure.
    bool readOnlyCard_ = false;
};

} // namespace

int runBatch(const std::vector<console::NativePath>& paths, bool dryRun) {
    installInterruptHandler();
    return Batch(paths, dryRun).run();
}

} // namespace boxmend::batch
