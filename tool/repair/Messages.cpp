#include "tool/repair/Messages.h"

#include <cstdio>

namespace boxmend::message {

bool isControlByte(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

void appendEscapedByte(std::string& out, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out += escaped;
}

std::string printableName(const std::string& name) {
    std::string out;
    for (const char ch : name) {
        const auto byte = static_cast<unsigned char>(ch);
        if (isControlByte(byte))
            appendEscapedByte(out, byte);
        else
            out += ch;
    }
    return out;
}

std::string codeAndText(mediafmt::ResultCode code) {
    return "error " + std::to_string(static_cast<int>(code)) + " (" +
           mediafmt::resultCodeText(code) + ")";
}

std::string failure(mediafmt::ResultCode code, const char* step, const std::string& fileName) {
    return codeAndText(code) + " " + step + " " + printableName(fileName);
}

std::string videoFailure(const std::string& fileName) {
    return "Error processing file " + printableName(fileName) + " while " + repairingVideo;
}

std::string notStored(const std::string& fileName, const char* step) {
    return "The file system did not store what was written to " + printableName(fileName) +
           " while " + step;
}

std::string journalMismatch(const std::string& journal, const std::string& fileName) {
    return "The repair journal " + printableName(journal) + " does not match file " +
           printableName(fileName) + "; nothing was changed, and the journal is kept";
}

std::string journalOfOtherVersion(const std::string& journal) {
    return "The repair journal " + printableName(journal) +
           " was written by another version of boxmend; nothing was changed, and the journal "
           "is kept";
}

std::string identityWarning(const std::string& journal, const std::string& fileName) {
    return "Warning: file " + printableName(fileName) + " is not the file the repair journal " +
           printableName(journal) +
           " names (as after moving the card); completing the repair the journal records";
}

std::string journalLeft(const std::string& journal) {
    return "Warning: the repair journal " + printableName(journal) +
           " could not be removed; the next run of boxmend removes it";
}

std::string completedJournalLeft(const std::string& journal) {
    return "Warning: the repair journal " + printableName(journal) +
           " could not be removed; remove it by hand";
}

std::string halfWritten(const std::string& fileName) {
    return "The audio tables of " + printableName(fileName) +
           " were left half-written by a repair whose journal is missing; nothing was changed";
}

} // namespace boxmend::message
