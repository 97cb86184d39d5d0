#include "tool/boxdump/Diagnosis.h"

#include "tool/repair/Messages.h"

#include <optional>

namespace boxmend {

using namespace mediafmt;
using Json = nlohmann::ordered_json;

namespace {

bool checked(const RunOutcome& run) {
    return run.check.code == result::none || run.check.code == result::noOp;
}

// A journal that stops boxmend's usual run, or that boxmend acts on first.
bool journalInTheWay(const RunOutcome& run) {
    return run.recovery.found != JournalFound::none &&
           run.recovery.found != JournalFound::completed;
}

bool audioNeedsRepair(const RunOutcome& run) {
    return run.check.code == result::none;
}

bool videoNeedsRepair(const RunOutcome& run) {
    return run.videoEntry && run.videoEntry->dataReferenceIndex.value != 1;
}

// A planned write or a refusal for the file's layout, as opposed to a
// failure to work the repair out at all.
bool settled(const StepOutcome& step) {
    return step.code == result::none || step.code == result::invalidOperation;
}

bool tablesFound(const RunOutcome& run) {
    const AudioTables& tables = run.audioTables;
    return tables.stts && tables.stsc && tables.stsz;
}

// "1 entry", "2 entries".
std::string counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::uint64_t longEntries(const RunOutcome& run) {
    std::uint64_t n = 0;
    for (const auto& timing : run.audioTables.stts->timeToSampleTable.elements)
        n += timing.sampleDelta > 1 ? 1 : 0;
    return n;
}

std::optional<std::uint32_t> firstSamplesPerChunk(const RunOutcome& run) {
    const auto& chunking = run.audioTables.stsc->sampleToChunkTable.elements;
    if (chunking.empty())
        return std::nullopt;
    return chunking.front().samplesPerChunk;
}

std::string entryPath(const mp4::box::Box* entry) {
    return entry != nullptr ? mp4::box::boxPath(entry) : std::string();
}

// The planned writes in all, or the refusal.
std::string outlookLine(const StepOutcome& step, const RepairPlan& plan) {
    if (step.code != result::none)
        return "boxmend would refuse: " + message::codeAndText(step.code) + ": " + step.reason;
    return "boxmend would write " + counted(plan.bytesWritten(), "byte", "bytes") + " within " +
           plan.box;
}

// The planned writes, one line per range, or the refusal.
std::string outlookText(const StepOutcome& step, const RepairPlan& plan) {
    if (step.code != result::none)
        return outlookLine(step, plan) + "\n";
    std::string out = outlookLine(step, plan) + ":\n";
    for (const ByteChange& change : plan.changes)
        out += "      " + counted(change.bytes.size(), "byte", "bytes") + " at offset " +
               std::to_string(change.offset) + "\n";
    if (plan.fillLength != 0)
        out += "      " + counted(plan.fillLength, "zero byte", "zero bytes") + " at offset " +
               std::to_string(plan.fillOffset) + " (the filler's payload)\n";
    return out;
}

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

// What the next run of boxmend does with the journal an earlier run left.
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

std::string audioText(const RunOutcome& run) {
    const std::string entry = entryPath(run.audioTables.entry.get());
    std::string out = "  ambisonic audio track: ";
    if (!entry.empty())
        out += entry + "\n";
    else if (checked(run))
        return out + "none (no track has an in32 sample entry)\n";
    else
        out += "unknown\n";
    if (!checked(run))
        return out + "    cannot be checked: " + message::codeAndText(run.check.code) + ": " +
               run.check.reason + "\n";

    const AudioTables& tables = run.audioTables;
    const auto spc = firstSamplesPerChunk(run);
    out +=
        "    stts: " + counted(tables.stts->timeToSampleTable.elements.size(), "entry", "entries") +
        ", " + std::to_string(longEntries(run)) + " with a sample delta above 1\n";
    out +=
        "    stsc: " + counted(tables.stsc->sampleToChunkTable.elements.size(), "entry", "entries");
    if (spc)
        out += ", the first with samplesPerChunk " + std::to_string(*spc);
    out += "\n    stsz: sampleSize " + std::to_string(tables.stsz->sampleSize.value) +
           ", sampleCount " + std::to_string(tables.stsz->sampleCount.value) + ", " +
           counted(tables.stsz->sampleSizeTable.elements.size(), "size listed", "sizes listed") +
           "\n";
    if (!audioNeedsRepair(run))
        return out + "    table defect: no\n";
    if (run.tornTables)
        out += "    left half-written by a repair whose journal is missing\n";
    return out + "    table defect: yes\n    repair: " + outlookText(run.audio, run.audioPlan);
}

std::string videoText(const RunOutcome& run) {
    if (!run.videoEntry)
        return "  Lumacode video entry: none (the first track has no LMCD entry)\n";
    std::string out =
        "  Lumacode video entry: " + entryPath(run.videoEntry.get()) +
        "\n    dataReferenceIndex: " + std::to_string(run.videoEntry->dataReferenceIndex.value) +
        "\n";
    if (!videoNeedsRepair(run))
        return out + "    data reference defect: no\n";
    return out +
           "    data reference defect: yes\n    repair: " + outlookText(run.video, run.videoPlan);
}

std::string journalText(const RunOutcome& run, const std::string& journal) {
    if (run.recovery.found == JournalFound::none)
        return "";
    return "  repair journal: " + message::printableName(journal) + "\n    " +
           journalState(run.recovery.found) + ": the next run of " + journalOutlook(run.recovery) +
           "\n";
}

std::string resultText(const RunOutcome& run) {
    if (journalInTheWay(run))
        return "result: trouble: the journal of an interrupted repair is beside the file\n";
    switch (dumpStatusOf(run)) {
    case dumpStatus::nothingToRepair:
        return "result: nothing to repair\n";
    case dumpStatus::repairNeeded: {
        const bool refused = run.audio.code == result::invalidOperation ||
                             run.video.code == result::invalidOperation;
        return refused ? "result: a repair is needed, and boxmend would refuse it\n"
                       : "result: a repair is needed, and boxmend can make it in place\n";
    }
    default:
        return "result: trouble: the checks could not be completed\n";
    }
}

// repairable, and the planned write or the refusal when a repair is needed.
void addOutlook(Json& track, const StepOutcome& step, const RepairPlan& plan, bool needed) {
    track["repairable"] = needed && step.code == result::none;
    if (!needed)
        return;
    if (step.code == result::none) {
        Json ranges = Json::array();
        for (const ByteChange& change : plan.changes)
            ranges.push_back(
                {{"offset", change.offset}, {"bytes", change.bytes.size()}, {"zeros", false}});
        if (plan.fillLength != 0)
            ranges.push_back(
                {{"offset", plan.fillOffset}, {"bytes", plan.fillLength}, {"zeros", true}});
        track["plannedWrites"] = {
            {"box", plan.box}, {"bytes", plan.bytesWritten()}, {"ranges", std::move(ranges)}};
    } else
        track["refusal"] = {
            {"code", step.code}, {"text", resultCodeText(step.code)}, {"reason", step.reason}};
}

Json audioJson(const RunOutcome& run) {
    const std::string entry = entryPath(run.audioTables.entry.get());
    Json track;
    track["sampleEntry"] = entry.empty() ? Json() : Json(entry);
    if (checked(run) && tablesFound(run)) {
        const AudioTables& tables = run.audioTables;
        const auto spc = firstSamplesPerChunk(run);
        track["stts"] = {{"entries", tables.stts->timeToSampleTable.elements.size()},
                         {"entriesWithDeltaAboveOne", longEntries(run)}};
        track["stsc"] = {{"entries", tables.stsc->sampleToChunkTable.elements.size()},
                         {"firstSamplesPerChunk", spc ? Json(*spc) : Json()}};
        track["stsz"] = {{"sampleSize", tables.stsz->sampleSize.value},
                         {"sampleCount", tables.stsz->sampleCount.value},
                         {"listLength", tables.stsz->sampleSizeTable.elements.size()}};
    }
    if (run.tornTables)
        track["leftHalfWritten"] = true;
    // Unknown when the check could not be made.
    track["needsRepair"] = checked(run) ? Json(audioNeedsRepair(run)) : Json();
    // A track that cannot be checked shows why as a refusal.
    if (checked(run))
        addOutlook(track, run.audio, run.audioPlan, audioNeedsRepair(run));
    else
        addOutlook(track, run.check, run.audioPlan, true);
    return track;
}

Json videoJson(const RunOutcome& run) {
    const bool found = run.videoEntry != nullptr;
    Json track;
    track["sampleEntry"] = found ? Json(entryPath(run.videoEntry.get())) : Json();
    track["dataReferenceIndex"] = found ? Json(run.videoEntry->dataReferenceIndex.value) : Json();
    track["needsRepair"] = videoNeedsRepair(run);
    addOutlook(track, run.video, run.videoPlan, videoNeedsRepair(run));
    return track;
}

} // namespace

bool needsRepair(const RunOutcome& run) {
    return audioNeedsRepair(run) || videoNeedsRepair(run);
}

int dumpStatusOf(const RunOutcome& run) {
    if (journalInTheWay(run) || !checked(run) || (audioNeedsRepair(run) && !settled(run.audio)) ||
        (videoNeedsRepair(run) && !settled(run.video)))
        return dumpStatus::trouble;
    return needsRepair(run) ? dumpStatus::repairNeeded : dumpStatus::nothingToRepair;
}

std::string diagnosisText(const RunOutcome& run, const std::string& journal, const FileTail& tail) {
    std::string note;
    if (tail.moov)
        note = "  moov in the tail: what looks like a moov box starts at offset " +
               std::to_string(*tail.moov) + ", in the last " + std::to_string(tail.size) +
               " bytes, which boxmend does not read\n";
    return "diagnosis\n" + note + journalText(run, journal) + audioText(run) + videoText(run) +
           resultText(run);
}

Json diagnosisJson(const RunOutcome& run, const std::string& journal, const FileTail& tail) {
    Json diagnosis = {{"audio", audioJson(run)}, {"video", videoJson(run)}};
    if (run.recovery.found != JournalFound::none)
        diagnosis["journal"] = journalJson(run, journal);
    if (tail.moov)
        diagnosis["moovInTail"] = {{"offset", *tail.moov}};
    return diagnosis;
}

std::string journalOnlyText(const RunOutcome& run, const std::string& journal) {
    if (run.recovery.found == JournalFound::none)
        return "";
    return "\ndiagnosis\n" + journalText(run, journal) + resultText(run);
}

Json journalJson(const RunOutcome& run, const std::string& journal) {
    Json repairs = Json::array();
    if ((run.recovery.kinds & audioRepair) != 0)
        repairs.push_back("audio");
    if ((run.recovery.kinds & videoRepair) != 0)
        repairs.push_back("video");
    return {{"path", journal},
            {"state", journalState(run.recovery.found)},
            {"repairs", std::move(repairs)},
            {"identityDiffers", run.recovery.identityDiffers},
            {"nextRun", "the next run of " + journalOutlook(run.recovery)}};
}

std::vector<std::string> outlookLines(const RunOutcome& run, const std::string& journal) {
    std::vector<std::string> lines;
    if (run.recovery.found != JournalFound::none)
        lines.push_back("repair journal " + message::printableName(journal) + ": " +
                        journalState(run.recovery.found) + ": the next run of " +
                        journalOutlook(run.recovery));
    if (run.parse.code == 0 && checked(run) && audioNeedsRepair(run))
        lines.push_back("ambisonic audio track: " + outlookLine(run.audio, run.audioPlan));
    if (run.parse.code == 0 && videoNeedsRepair(run))
        lines.push_back("Lumacode video entry: " + outlookLine(run.video, run.videoPlan));
    const std::string result = resultText(run);
    lines.push_back(result.substr(0, result.size() - 1));
    return lines;
}

std::vector<std::string> troubleLines(const RunOutcome& run, const std::string& fileName,
                                      const std::string& journal) {
    std::vector<std::string> lines;
    if (run.recovery.found == JournalFound::mismatch)
        lines.push_back(message::journalMismatch(journal, fileName));
    if (run.recovery.found == JournalFound::otherVersion)
        lines.push_back(message::journalOfOtherVersion(journal));
    if (run.recovery.found == JournalFound::unreadable)
        lines.push_back(message::failure(run.recovery.code, message::readingJournal, fileName));
    if (run.parse.code != 0)
        return lines;
    if (!checked(run))
        lines.push_back(run.tornTables
                            ? message::halfWritten(fileName)
                            : message::failure(run.check.code, message::checkingAudio, fileName));
    else if (audioNeedsRepair(run) && !settled(run.audio))
        lines.push_back(message::failure(run.audio.code, message::repairingAudio, fileName));
    if (videoNeedsRepair(run) && !settled(run.video))
        lines.push_back(message::videoFailure(fileName));
    return lines;
}

} // namespace boxmend
