#include "tool/repair/Messages.h"

namespace boxmend::message {

std::string codeAndText(mediafmt::ResultCode code) {
    return "error " + std::to_string(static_cast<int>(code)) + " (" +
           mediafmt::resultCodeText(code) + ")";
}

std::string failure(mediafmt::ResultCode code, const char* step, const std::string& fileName) {
    return codeAndText(code) + " " + step + " " + fileName;
}

std::string videoFailure(const std::string& fileName) {
    return "Error processing file " + fileName + " while " + repairingVideo;
}

std::string notStored(const std::string& fileName, const char* step) {
    return "The file system did not store what was written to " + fileName + " while " + step;
}

std::string journalMismatch(const std::string& journal, const std::string& fileName) {
    return "The repair journal " + journal + " does not match file " + fileName +
           "; nothing was changed, and the journal is kept";
}

std::string journalOfOtherVersion(const std::string& journal) {
    return "The repair journal " + journal +
           " was written by another version of boxmend; nothing was changed, and the journal "
           "is kept";
}

std::string identityWarning(const std::string& journal, const std::string& fileName) {
    return "Warning: file " + fileName + " is not the file the repair journal " + journal +
           " names (as after moving the card); completing the repair the journal records";
}

std::string journalLeft(const std::string& journal) {
    return "Warning: the repair journal " + journal +
           " could not be removed; the next run of boxmend removes it";
}

std::string completedJournalLeft(const std::string& journal) {
    return "Warning: the repair journal " + journal + " could not be removed; remove it by hand";
}

std::string halfWritten(const std::string& fileName) {
    return "The audio tables of " + fileName +
           " were left half-written by a repair whose journal is missing; nothing was changed";
}

} // namespace boxmend::message
