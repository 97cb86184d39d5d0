#include "tool/Driver.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"
#include "mediafmt/mp4/File.h"
#include "tool/AudioRepair.h"
#include "tool/VideoRepair.h"

#include <cstdio>
#include <iostream>
#include <memory>

namespace boxmend {

using mediafmt::ResultCode;
using mediafmt::resultCodeText;

namespace {

void printFailure(ResultCode code, const char* step, const std::string& fileName) {
    std::printf("%s\n", failureLine(code, step, fileName).c_str());
}

} // namespace

std::string failureLine(ResultCode code, const std::string& step, const std::string& fileName) {
    return "error " + std::to_string(static_cast<int>(code)) + " (" + resultCodeText(code) + ") " +
           step + " " + fileName;
}

int printUsage() {
    std::cout << "Usage: boxmend <file>" << std::endl;
    return exitStatus::usageOrVideoFailed;
}

int runRepair(const std::string& fileName) {
    mediafmt::io::File file;
    if (ResultCode rc = file.open(fileName, mediafmt::io::OpenMode::readWrite); rc != 0) {
        printFailure(rc, "opening file", fileName);
        return exitStatus::openFailed;
    }

    // Parsed once: the check and both repairs work on this tree. The audio
    // repair leaves it as the file reads after its write, so the video repair
    // sees the file as the audio repair left it.
    auto tree = std::make_unique<mediafmt::mp4::File>();
    if (ResultCode rc = tree->parse(&file); rc != 0) {
        printFailure(rc, "parsing file", fileName);
        return exitStatus::parseFailed;
    }
    bool needsRepair = false;
    if (ResultCode rc = checkAudioTrack(tree.get(), needsRepair);
        rc != mediafmt::result::none && rc != mediafmt::result::noOp) {
        printFailure(rc, "checking audio track", fileName);
        return exitStatus::audioCheckFailed;
    }

    if (needsRepair) {
        // Flushed to the device before the repair is reported as done.
        ResultCode rc = repairAudioTrack(*tree, &file);
        if (rc == 0)
            rc = file.flush();
        if (rc != 0) {
            printFailure(rc, "repairing audio track", fileName);
            return exitStatus::audioRepairFailed;
        }
        std::printf("Corrected error in Ambisonic Audio Track Format Header\n");
    }

    int status = exitStatus::ok;
    ResultCode rc = repairVideoTrack(*tree, &file);
    // Nothing needs the tree any more; its memory is returned before the flush.
    tree.reset();
    if (rc == 0)
        rc = file.flush();
    if (rc == mediafmt::result::noOp) {
        std::printf("No issues found in Lumacode Video Track\n");
    } else if (rc == 0) {
        std::printf("Corrected error in Lumacode Video Track Format Header\n");
    } else {
        std::printf("Error processing file %s while repairing Lumacode Video\n", fileName.c_str());
        status = exitStatus::usageOrVideoFailed;
    }
    file.close();
    return status;
}

} // namespace boxmend
