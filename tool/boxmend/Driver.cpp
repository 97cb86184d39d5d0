#include "tool/boxmend/Driver.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/Messages.h"
#include "tool/repair/RepairRun.h"

#include <cstdio>
#include <iostream>
#include <new>

namespace boxmend {

using mediafmt::ResultCode;
namespace result = mediafmt::result;

namespace {

void printLine(const std::string& line) {
    std::printf("%s\n", line.c_str());
}

// The run, or a failed parse when memory runs out: nothing is written before
// every plan is made, which is where a huge header needs its memory.
RunOutcome runOrOutOfMemory(mediafmt::io::Io& stream, mediafmt::mp4::File& tree, RunMode mode) {
    try {
        return runRepairs(stream, tree, mode);
    } catch (const std::bad_alloc&) {
        RunOutcome run;
        run.parse.code = result::error;
        return run;
    }
}

} // namespace

int printUsage() {
    std::cout << "Usage: boxmend <file>" << std::endl;
    return exitStatus::usageOrVideoFailed;
}

int runRepair(const std::string& fileName) {
    mediafmt::io::File file;
    if (ResultCode rc = file.open(fileName, mediafmt::io::OpenMode::readWrite); rc != 0) {
        printLine(message::failure(rc, message::opening, fileName));
        return exitStatus::openFailed;
    }

    mediafmt::mp4::File tree;
    const RunOutcome run = runOrOutOfMemory(file, tree, RunMode::apply);
    if (run.parse.code != 0) {
        printLine(message::failure(run.parse.code, message::parsing, fileName));
        return exitStatus::parseFailed;
    }
    if (run.check.code != result::none && run.check.code != result::noOp) {
        printLine(message::failure(run.check.code, message::checkingAudio, fileName));
        return exitStatus::audioCheckFailed;
    }
    if (run.audio.ran()) {
        if (run.audio.code != 0) {
            printLine(message::failure(run.audio.code, message::repairingAudio, fileName));
            return exitStatus::audioRepairFailed;
        }
        printLine(message::audioCorrected);
    }

    int status = exitStatus::ok;
    if (run.video.code == result::noOp) {
        printLine(message::videoFine);
    } else if (run.video.code == 0) {
        printLine(message::videoCorrected);
    } else {
        printLine(message::videoFailure(fileName));
        status = exitStatus::usageOrVideoFailed;
    }
    file.close();
    return status;
}

} // namespace boxmend
