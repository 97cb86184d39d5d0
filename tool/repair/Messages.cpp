#include "tool/repair/Messages.h"

#include "mediafmt/mp4/BoxListing.h"

namespace boxmend::repair::message {

using mediafmt::mp4::appendEscapedByte;
using mediafmt::mp4::isControlByte;

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

std::string counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
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

std::string putBack(const std::string& fileName) {
    return "The file system did not store the writes to " + printableName(fileName) +
           " where they were sent; the recording was put back as it was. Do not use this card "
           "or card reader to repair recordings";
}

std::string mayBeDamaged(const std::string& fileName, const std::string& journal) {
    return "The file system did not store the writes to " + printableName(fileName) +
           " where they were sent, and the recording may be damaged: restore it from a copy. "
           "The repair journal " +
           printableName(journal) + " is kept";
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

std::string noRoomForJournal(const std::string& fileName, std::uint64_t journalBytes) {
    return "The card has no room for the repair journal of " + printableName(fileName) +
           " (it needs " + counted(journalBytes, "byte", "bytes") + "); nothing was changed";
}

std::string journalRoomWarning(std::uint64_t journalBytes, std::uint64_t freeBytes) {
    return "warning: the card has no room for the repair journal (it needs " +
           counted(journalBytes, "byte", "bytes") + ", " + std::to_string(freeBytes) +
           " free); make room on the card before repairing";
}

std::string asSentence(const char* text) {
    std::string out(text);
    if (!out.empty() && out.front() >= 'a' && out.front() <= 'z')
        out.front() = static_cast<char>(out.front() - 'a' + 'A');
    return out;
}

} // namespace boxmend::repair::message
