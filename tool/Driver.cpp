#include "tool/Driver.h"

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/File.h"

#include <cstdio>
#include <iostream>

namespace boxmend {

using mediafmt::ResultCode;
using mediafmt::resultCodeText;

namespace {

void printFailure(ResultCode code, const char* step, const std::string& fileName) {
    std::printf("error %d (%s) %s %s\n", static_cast<int>(code), resultCodeText(code).c_str(),
                step, fileName.c_str());
}

} // namespace

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
    file.close();
    return exitStatus::ok;
}

} // namespace boxmend
