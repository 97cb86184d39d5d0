#include "tool/BoxDump.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tool/BoxListing.h"
#include "tool/Driver.h"
#include "tool/RepairDiagnosis.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <vector>

namespace boxmend {

using namespace mediafmt;
using Json = nlohmann::ordered_json;

namespace {

// "1 entry", "2 entries".
std::string counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string codeAndText(ResultCode code) {
    return "error " + std::to_string(code) + " (" + resultCodeText(code) + ")";
}

// The lines boxmend would end with on trouble that the diagnosis met.
std::vector<std::string> troubleLines(const Diagnosis& diagnosis, const std::string& fileName) {
    std::vector<std::string> lines;
    const AudioDiagnosis& audio = diagnosis.audio;
    if (!audio.checked())
        lines.push_back(failureLine(audio.check, "checking audio track", fileName));
    else if (audio.needsRepair() && !audio.repair.settled())
        lines.push_back(failureLine(audio.repair.code, "repairing audio track", fileName));
    if (diagnosis.video.needsRepair() && !diagnosis.video.repair.settled())
        lines.push_back("Error processing file " + fileName + " while repairing Lumacode Video");
    return lines;
}

int statusOf(const Diagnosis& diagnosis) {
    if (isTrouble(diagnosis))
        return dumpStatus::trouble;
    return needsRepair(diagnosis) ? dumpStatus::repairNeeded : dumpStatus::nothingToRepair;
}

std::string outlookText(const RepairOutlook& outlook) {
    if (outlook.code == result::none)
        return "boxmend would write " + std::to_string(outlook.bytes) + " bytes at offset " +
               std::to_string(outlook.offset) + " (" + outlook.target + ")";
    return "boxmend would refuse: " + codeAndText(outlook.code) + ": " + outlook.reason;
}

std::string audioText(const AudioDiagnosis& audio) {
    const bool checked = audio.checked();
    std::string out = "  ambisonic audio track: ";
    if (!audio.sampleEntry.empty())
        out += audio.sampleEntry + "\n";
    else if (checked)
        return out + "none (no track has an in32 sample entry)\n";
    else
        out += "unknown\n";
    if (!checked)
        return out + "    cannot be checked: " + codeAndText(audio.check) + ": " +
               audio.repair.reason + "\n";

    out += "    stts: " + counted(audio.sttsEntries, "entry", "entries") + ", " +
           std::to_string(audio.sttsLongEntries) + " with a sample delta above 1\n";
    out += "    stsc: " + counted(audio.stscEntries, "entry", "entries");
    if (audio.firstSamplesPerChunk)
        out += ", the first with samplesPerChunk " + std::to_string(*audio.firstSamplesPerChunk);
    out += "\n    stsz: sampleSize " + std::to_string(audio.stszSampleSize) + ", sampleCount " +
           std::to_string(audio.stszSampleCount) + ", " +
           counted(audio.stszListLength, "size listed", "sizes listed") + "\n";
    if (!audio.needsRepair())
        return out + "    table defect: no\n";
    return out + "    table defect: yes\n    repair: " + outlookText(audio.repair) + "\n";
}

std::string videoText(const VideoDiagnosis& video) {
    if (video.sampleEntry.empty())
        return "  Lumacode video entry: none (the first track has no LMCD entry)\n";
    std::string out = "  Lumacode video entry: " + video.sampleEntry +
                      "\n    dataReferenceIndex: " + std::to_string(video.dataReferenceIndex) +
                      "\n";
    if (!video.needsRepair())
        return out + "    data reference defect: no\n";
    return out + "    data reference defect: yes\n    repair: " + outlookText(video.repair) + "\n";
}

std::string resultText(const Diagnosis& diagnosis) {
    switch (statusOf(diagnosis)) {
    case dumpStatus::nothingToRepair:
        return "result: nothing to repair\n";
    case dumpStatus::repairNeeded: {
        const bool refused = diagnosis.audio.repair.code == result::invalidOperation ||
                             diagnosis.video.repair.code == result::invalidOperation;
        return refused ? "result: a repair is needed, and boxmend would refuse it\n"
                       : "result: a repair is needed, and boxmend can make it in place\n";
    }
    default:
        return "result: trouble: the checks could not be completed\n";
    }
}

// repairable, and the planned write or the refusal when a repair is needed.
void addOutlook(Json& track, const RepairOutlook& outlook, bool needed) {
    track["repairable"] = needed && outlook.code == result::none;
    if (!needed)
        return;
    if (outlook.code == result::none)
        track["plannedWrite"] = {
            {"offset", outlook.offset}, {"bytes", outlook.bytes}, {"box", outlook.target}};
    else
        track["refusal"] = {{"code", outlook.code},
                            {"text", resultCodeText(outlook.code)},
                            {"reason", outlook.reason}};
}

Json audioJson(const AudioDiagnosis& audio) {
    Json track;
    track["sampleEntry"] = audio.sampleEntry.empty() ? Json() : Json(audio.sampleEntry);
    if (audio.tablesFound) {
        track["stts"] = {{"entries", audio.sttsEntries},
                         {"entriesWithDeltaAboveOne", audio.sttsLongEntries}};
        track["stsc"] = {{"entries", audio.stscEntries},
                         {"firstSamplesPerChunk",
                          audio.firstSamplesPerChunk ? Json(*audio.firstSamplesPerChunk) : Json()}};
        track["stsz"] = {{"sampleSize", audio.stszSampleSize},
                         {"sampleCount", audio.stszSampleCount},
                         {"listLength", audio.stszListLength}};
    }
    // Unknown when the check could not be made.
    track["needsRepair"] = audio.checked() ? Json(audio.needsRepair()) : Json();
    // A track that cannot be checked shows why as a refusal.
    addOutlook(track, audio.repair, !audio.checked() || audio.needsRepair());
    return track;
}

Json videoJson(const VideoDiagnosis& video) {
    const bool found = !video.sampleEntry.empty();
    Json track;
    track["sampleEntry"] = found ? Json(video.sampleEntry) : Json();
    track["dataReferenceIndex"] = found ? Json(video.dataReferenceIndex) : Json();
    track["needsRepair"] = video.needsRepair();
    addOutlook(track, video.repair, video.needsRepair());
    return track;
}

Json errorJson(ResultCode code, const std::string& message) {
    return {{"code", code}, {"text", resultCodeText(code)}, {"message", message}};
}

void printOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void printErr(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

void printJson(const Json& document) {
    // Codes and strings from the file need not be UTF-8; such bytes are
    // replaced rather than failing the whole document.
    printOut(document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

} // namespace

int runDump(const std::string& fileName, DumpFormat format) {
    const bool json = format == DumpFormat::json;
    Json document;
    document["file"] = fileName;

    io::File file;
    if (ResultCode rc = file.open(fileName, io::OpenMode::read); rc != 0) {
        const std::string line = failureLine(rc, "opening file", fileName);
        if (json) {
            document["error"] = errorJson(rc, line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        }
        printErr(line);
        return dumpStatus::trouble;
    }

    // The tree keeps what was read before a failure, and is shown either way.
    mp4::File tree;
    if (ResultCode rc = tree.parse(&file); rc != 0) {
        const std::string line = failureLine(rc, "parsing file", fileName);
        if (json) {
            document["boxes"] = boxTreeJson(tree);
            document["error"] = errorJson(rc, line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        } else {
            printOut(listBoxTree(tree));
        }
        printErr(line);
        return dumpStatus::trouble;
    }

    const Diagnosis diagnosis = diagnose(&file, tree);
    const int status = statusOf(diagnosis);
    if (json) {
        document["boxes"] = boxTreeJson(tree);
        document["diagnosis"] = {{"audio", audioJson(diagnosis.audio)},
                                 {"video", videoJson(diagnosis.video)}};
        document["needsRepair"] = needsRepair(diagnosis);
        document["status"] = status;
        printJson(document);
    } else {
        printOut(listBoxTree(tree) + "\ndiagnosis\n" + audioText(diagnosis.audio) +
                 videoText(diagnosis.video) + resultText(diagnosis));
    }
    for (const std::string& line : troubleLines(diagnosis, fileName))
        printErr(line);
    file.close();
    return status;
}

} // namespace boxmend
