#include "tool/boxdump/BoxDump.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/mp4/BoxListing.h"
#include "mediafmt/mp4/File.h"
#include "tool/boxdump/BoxTreeJson.h"
#include "tool/boxdump/Diagnosis.h"
#include "tool/boxdump/FileTail.h"
#include "tool/repair/FailureLines.h"
#include "tool/repair/FileRun.h"
#include "tool/repair/PlanOutlook.h"
#include "tool/repair/PlanVerdict.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <vector>

namespace boxmend::dump {

using namespace mediafmt;
using repair::FilePlan;
using repair::JournalFound;
using repair::RunOutcome;
namespace dumpStatus = repair::dumpStatus;
using Json = nlohmann::ordered_json;

namespace {

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

std::string tailText(const FileTail& tail) {
    if (tail.size == 0)
        return std::string();
    std::string out = "tail not read by boxmend  offset " + std::to_string(tail.offset) +
                      "  size " + std::to_string(tail.size) + "\n" +
                      mp4::listBoxTree(*tail.boxes, 1);
    if (tail.unparsedSize != 0)
        out += "  unparsed bytes  offset " + std::to_string(tail.unparsedOffset) + "  size " +
               std::to_string(tail.unparsedSize) + "\n";
    return out;
}

Json tailJson(const FileTail& tail) {
    Json unparsed;
    if (tail.unparsedSize != 0)
        unparsed = {{"offset", tail.unparsedOffset}, {"size", tail.unparsedSize}};
    return {{"offset", tail.offset},
            {"size", tail.size},
            {"boxes", boxTreeJson(*tail.boxes)},
            {"unparsed", unparsed}};
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

    // The tree keeps what was read before a failure, and is shown either way.
    mp4::File tree;
    FileTail tail;
    const FilePlan plan =
        repair::planFile(fileName, tree, [&](io::Io& file) { tail = readTail(file, tree); });
    if (!plan.opened) {
        const std::string line = repair::openFailure(plan.openCode, fileName).line;
        if (json) {
            document["error"] = errorJson(plan.openCode, line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        }
        printErr(line);
        return dumpStatus::trouble;
    }

    const RunOutcome& run = plan.run;
    const std::string& journal = plan.journal;
    // An empty file has no box to list: the parse's attempt at a header is
    // not one.
    const bool empty = plan.contents == repair::Contents::empty;
    if (const char* reason = repair::contentsReason(plan.contents))
        document["reason"] = reason;
    // boxmend's lines for the trouble the run met, the parse's last.
    const std::vector<std::string> failures =
        repair::failureLines(run, repair::RunMode::planOnly, fileName, journal);
    if (auto parse = repair::failureIn(repair::Phase::parse, run, repair::RunMode::planOnly,
                                       fileName, journal)) {
        if (json) {
            document["boxes"] = empty ? Json::array() : boxTreeJson(tree);
            if (run.recovery.found != JournalFound::none)
                document["diagnosis"] = {{"journal", journalJson(run, journal)}};
            document["error"] = errorJson(run.parse.code, parse->line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        } else {
            const std::string listing = empty ? std::string() : mp4::listBoxTree(tree);
            const std::string section = unparsedText(plan);
            printOut(listing + (listing.empty() || section.empty() ? "" : "\n") + section);
        }
        for (const std::string& line : failures)
            printErr(line);
        return dumpStatus::trouble;
    }

    const int status = repair::dumpStatusOf(run);
    if (json) {
        document["boxes"] = boxTreeJson(tree);
        if (tail.size != 0)
            document["tail"] = tailJson(tail);
        document["diagnosis"] = diagnosisJson(plan, tail);
        document["needsRepair"] = repair::needsRepair(run);
        document["status"] = status;
        printJson(document);
    } else {
        printOut(mp4::listBoxTree(tree) + tailText(tail) + "\n" + diagnosisText(plan, tail));
    }
    for (const std::string& line : failures)
        printErr(line);
    return status;
}

} // namespace boxmend::dump
