#include "tool/boxdump/Diagnosis.h"

#include "tool/repair/FailureLines.h"
#include "tool/repair/Messages.h"
#include "tool/repair/PlanOutlook.h"
#include "tool/repair/PlanVerdict.h"

#include <optional>

namespace boxmend::dump {

using namespace mediafmt;
using repair::audioNeedsRepair;
using repair::AudioTables;
using repair::ByteChange;
using repair::checkFailed;
using repair::FilePlan;
using repair::JournalFound;
using repair::journalOutlook;
using repair::journalState;
using repair::outlookLine;
using repair::PhaseOutcome;
using repair::PhaseState;
using repair::RepairPlan;
using repair::resultLine;
using repair::RunOutcome;
using repair::videoNeedsRepair;
namespace message = repair::message;
using Json = nlohmann::ordered_json;

namespace {

bool checked(const RunOutcome& run) {
    return !checkFailed(run);
}

bool tablesFound(const RunOutcome& run) {
    const AudioTables& tables = run.audioTables;
    return tables.stts && tables.stsc && tables.stsz;
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

// The planned writes, one line per range, or the refusal.
std::string outlookText(const PhaseOutcome& step, const RepairPlan& plan) {
    if (!step.is(PhaseState::planned))
        return outlookLine(step, plan) + "\n";
    std::string out = outlookLine(step, plan) + ":\n";
    for (const ByteChange& change : plan.changes)
        out += "      " + message::counted(change.bytes.size(), "byte", "bytes") + " at offset " +
               std::to_string(change.offset) + "\n";
    if (plan.fillLength != 0)
        out += "      " + message::counted(plan.fillLength, "zero byte", "zero bytes") +
               " at offset " + std::to_string(plan.fillOffset) + " (the filler's payload)\n";
    return out;
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
    out += "    stts: " +
           message::counted(tables.stts->timeToSampleTable.elements.size(), "entry", "entries") +
           ", " + std::to_string(longEntries(run)) + " with a sample delta above 1\n";
    out += "    stsc: " +
           message::counted(tables.stsc->sampleToChunkTable.elements.size(), "entry", "entries");
    if (spc)
        out += ", the first with samplesPerChunk " + std::to_string(*spc);
    out += "\n    stsz: sampleSize " + std::to_string(tables.stsz->sampleSize.value) +
           ", sampleCount " + std::to_string(tables.stsz->sampleCount.value) + ", " +
           message::counted(tables.stsz->sampleSizeTable.elements.size(), "size listed",
                            "sizes listed") +
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

std::string resultText(const FilePlan& plan) {
    std::string out;
    if (auto warning = repair::journalRoomWarning(plan.run, plan.place))
        out = "  " + *warning + "\n";
    return out + resultLine(plan.run, plan.contents) + "\n";
}

// repairable, and the planned write or the refusal when a repair is needed.
void addOutlook(Json& track, const PhaseOutcome& step, const RepairPlan& plan, bool needed) {
    const bool planned = step.is(PhaseState::planned);
    track["repairable"] = needed && planned;
    if (!needed)
        return;
    if (planned) {
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

std::string diagnosisText(const FilePlan& plan, const FileTail& tail) {
    const RunOutcome& run = plan.run;
    std::string note;
    if (tail.moov)
        note = "  moov in the tail: what looks like a moov box starts at offset " +
               std::to_string(*tail.moov) + ", in the last " + std::to_string(tail.size) +
               " bytes, which boxmend does not read\n";
    return "diagnosis\n" + note + journalText(run, plan.journal) + audioText(run) + videoText(run) +
           resultText(plan);
}

Json diagnosisJson(const FilePlan& plan, const FileTail& tail) {
    const RunOutcome& run = plan.run;
    Json diagnosis = {{"audio", audioJson(run)}, {"video", videoJson(run)}};
    if (run.recovery.found != JournalFound::none)
        diagnosis["journal"] = journalJson(run, plan.journal);
    if (tail.moov)
        diagnosis["moovInTail"] = {{"offset", *tail.moov}};
    if (repair::journalRoomWarning(run, plan.place))
        diagnosis["journalRoom"] = {{"enough", false},
                                    {"bytes", repair::journalSize(run.repairsToMake())},
                                    {"free", *plan.place.freeBytes}};
    return diagnosis;
}

std::string unparsedText(const FilePlan& plan) {
    if (plan.run.recovery.found == JournalFound::none && plan.contents == repair::Contents::movie)
        return "";
    return "diagnosis\n" + journalText(plan.run, plan.journal) + resultText(plan);
}

Json journalJson(const RunOutcome& run, const std::string& journal) {
    Json repairs = Json::array();
    if ((run.recovery.kinds & repair::audioRepair) != 0)
        repairs.push_back("audio");
    if ((run.recovery.kinds & repair::videoRepair) != 0)
        repairs.push_back("video");
    return {{"path", journal},
            {"state", journalState(run.recovery.found)},
            {"repairs", std::move(repairs)},
            {"identityDiffers", run.recovery.identityDiffers},
            {"nextRun", "the next run of " + journalOutlook(run.recovery)}};
}

} // namespace boxmend::dump
