#include "tool/boxdump/BoxDump.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tool/boxdump/BoxListing.h"
#include "tool/boxdump/Diagnosis.h"
#include "tool/boxdump/FileTail.h"
#include "tool/repair/Messages.h"
#include "tool/repair/RepairRun.h"
#include "tool/repair/Transaction.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <new>
#include <vector>

namespace boxmend {

using namespace mediafmt;
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
                      "  size " + std::to_string(tail.size) + "\n" + listBoxTree(*tail.boxes, 1);
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

    io::File file;
    if (ResultCode rc = file.open(fileName, io::OpenMode::read); rc != 0) {
        const std::string line = message::failure(rc, message::opening, fileName);
        if (json) {
            document["error"] = errorJson(rc, line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        }
        printErr(line);
        return dumpStatus::trouble;
    }

    // The same journal boxmend looks for, only looked at.
    FileJournaling beside(fileName, file);
    const std::string journal = beside.store.name();

    // The tree keeps what was read before a failure, and is shown either way.
    mp4::File tree;
    const RunOutcome run = runRepairs(file, tree, RunMode::planOnly, beside.journaling);
    FileTail tail;
    if (run.parse.code == 0)
        tail = readTail(file, tree);
    file.close();
    if (run.parse.code != 0) {
        const std::string line = message::failure(run.parse.code, message::parsing, fileName);
        if (json) {
            document["boxes"] = boxTreeJson(tree);
            if (run.recovery.found != JournalFound::none)
                document["diagnosis"] = {{"journal", journalJson(run, journal)}};
            document["error"] = errorJson(run.parse.code, line);
            document["status"] = dumpStatus::trouble;
            printJson(document);
        } else {
            printOut(listBoxTree(tree) + journalOnlyText(run, journal));
        }
        for (const std::string& trouble : troubleLines(run, fileName, journal))
            printErr(trouble);
        printErr(line);
        return dumpStatus::trouble;
    }

    const int status = dumpStatusOf(run);
    if (json) {
        document["boxes"] = boxTreeJson(tree);
        if (tail.size != 0)
            document["tail"] = tailJson(tail);
        document["diagnosis"] = diagnosisJson(run, journal, tail);
        document["needsRepair"] = needsRepair(run);
        document["status"] = status;
        printJson(document);
    } else {
        printOut(listBoxTree(tree) + tailText(tail) + "\n" + diagnosisText(run, journal, tail));
    }
    for (const std::string& line : troubleLines(run, fileName, journal))
        printErr(line);
    return status;
}

} // namespace boxmend
