#pragma once

#include "mediafmt/io/Io.h"
#include "tool/repair/RepairRun.h"
#include "tool/repair/Transaction.h"

#include <string>
#include <vector>

namespace boxmend {

// Exit statuses of a run.
namespace exitStatus {
inline constexpr int ok = 0;
inline constexpr int usageOrVideoFailed = 1;
inline constexpr int openFailed = 2;
inline constexpr int parseFailed = 3;
inline constexpr int audioCheckFailed = 4;
inline constexpr int audioRepairFailed = 5;
// A journal of an interrupted run does not match the file or cannot be read.
inline constexpr int journalTrouble = 6;
// Everything else went well, but the messages could not be written.
inline constexpr int outputFailed = 7;
} // namespace exitStatus

// Prints the usage line; the status for a wrong argument count.
int printUsage();

// The whole repair sequence on an open file: completes an interrupted
// repair its journal records, then checks and repairs the audio track and
// the video entry. Appends the lines to print to lines and returns the exit
// status; outcome, when given, receives what the run found and did.
int repairOpenFile(mediafmt::io::Io& file, const Journaling& journaling,
                   const std::string& fileName, std::vector<std::string>& lines,
                   RunOutcome* outcome = nullptr);

// One file's whole run, as boxmend makes it, before anything is printed.
struct FileRepair {
    int status = exitStatus::openFailed;
    std::vector<std::string> lines;
    // Whether the file could be opened for reading and writing; the run
    // was made only then.
    bool opened = false;
    RunOutcome run;
};

// Opens the file and runs the repair sequence on it with its journal
// beside it. fileName is the name used both to open the file and in every
// message.
FileRepair repairFile(const std::string& fileName);

// repairFile, then one line per outcome on standard output. Returns the
// exit status.
int runRepair(const std::string& fileName);

} // namespace boxmend
