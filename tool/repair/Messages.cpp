#include "tool/repair/Messages.h"

namespace boxmend::message {

std::string failure(mediafmt::ResultCode code, const char* step, const std::string& fileName) {
    return "error " + std::to_string(static_cast<int>(code)) + " (" +
           mediafmt::resultCodeText(code) + ") " + step + " " + fileName;
}

std::string videoFailure(const std::string& fileName) {
    return "Error processing file " + fileName + " while repairing Lumacode Video";
}

} // namespace boxmend::message
