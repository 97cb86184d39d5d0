#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/ExitStatus.h"
#include "tool/repair/RepairRun.h"
#include "tool/repair/Transaction.h"

#include <functional>
#include <string>
#include <vector>

namespace boxmend::repair {

// The runs every program makes on one file given by its name: the name is
// the one used both to open the file and in every line, and the file's
// journal is the one beside it.

// What a file holds where that alone keeps it from being repaired: nothing
// at all, or the start of a recording the camera never finished, which
// parses but has no moov box.
enum class Contents { movie, empty, noMovieBox };

// One file's whole repair run, before anything is printed.
struct FileRepair {
    int status = exitStatus::openFailed;
    std::vector<std::string> lines;
    // Whether the file could be opened for reading and writing; the run
    // was made only then.
    bool opened = false;
    RunOutcome run;
    Contents contents = Contents::movie;
};

// Opens the file for reading and writing and runs the repair sequence on it.
FileRepair repairFile(const std::string& fileName);

// The whole repair sequence on an open file: completes an interrupted
// repair its journal records, then checks and repairs the audio track and
// the video entry. Appends the lines to print to lines and returns the exit
// status; outcome, when given, receives what the run found and did.
int repairOpenFile(mediafmt::io::Io& file, const Journaling& journaling,
                   const std::string& fileName, std::vector<std::string>& lines,
                   RunOutcome* outcome = nullptr);

// One file's run that only plans: opened for reading only, its journal only
// looked at, nothing written.
struct FilePlan {
    // Whether the file could be opened for reading; the run was made only then.
    bool opened = false;
    mediafmt::ResultCode openCode = mediafmt::result::none;
    // The name of the file's journal, and what its folder allows.
    std::string journal;
    JournalPlace place;
    RunOutcome run;
    Contents contents = Contents::movie;
};

// Opens the file read-only and plans its repairs, parsing it into tree,
// which keeps what was read before a failure. whileOpen, when given, is
// called with the open file after a run whose parse succeeded.
FilePlan planFile(const std::string& fileName, mediafmt::mp4::File& tree,
                  const std::function<void(mediafmt::io::Io& file)>& whileOpen = {});

} // namespace boxmend::repair
