#pragma once

#include "mediafmt/ResultCode.h"

#include <cstdint>
#include <string>

namespace boxmend::repair::message {

// The lines boxmend prints, each defined here once; boxdump repeats some of
// them for the trouble it meets. Names in them are printed as printableName
// shows them.

inline constexpr const char* audioCorrected =
    "Corrected error in Ambisonic Audio Track Format Header";
inline constexpr const char* videoCorrected =
    "Corrected error in Lumacode Video Track Format Header";
inline constexpr const char* videoFine = "No issues found in Lumacode Video Track";

// The steps a failure line names.
inline constexpr const char* opening = "opening file";
inline constexpr const char* parsing = "parsing file";
inline constexpr const char* checkingAudio = "checking audio track";
inline constexpr const char* repairingAudio = "repairing audio track";
inline constexpr const char* repairingVideo = "repairing Lumacode Video";
inline constexpr const char* readingJournal = "reading the repair journal for";
inline constexpr const char* writingJournal = "writing the repair journal for";

// A file or journal name as the messages print it: control bytes as
// "\xNN", as the box listing shows them, every other byte as it is.
std::string printableName(const std::string& name);

// "1 entry", "2 entries": n and the word that goes with it.
std::string counted(std::uint64_t n, const char* one, const char* many);

// "error N (text)", the code as a signed decimal.
std::string codeAndText(mediafmt::ResultCode code);

// "error N (text) STEP NAME".
std::string failure(mediafmt::ResultCode code, const char* step, const std::string& fileName);

// A failed video repair names the file, not the code.
std::string videoFailure(const std::string& fileName);

// A repair whose write did not read back from the device as it was written.
std::string notStored(const std::string& fileName, const char* step);

// A repair's writes the device stored elsewhere, undone: the header is back
// as it was, and the card or reader is not to be used for the repair.
std::string putBack(const std::string& fileName);

// A repair's writes the device stored elsewhere, and the header could not be
// proved to be back as it was: the journal is kept.
std::string mayBeDamaged(const std::string& fileName, const std::string& journal);

// A journal that the file cannot be completed from: the file is left alone.
std::string journalMismatch(const std::string& journal, const std::string& fileName);

// A journal that another version of boxmend wrote: the file is left alone.
std::string journalOfOtherVersion(const std::string& journal);

// A journal whose file has another identity than the one it recorded.
std::string identityWarning(const std::string& journal, const std::string& fileName);

// Repairs that were made, but whose journal could not be removed.
std::string journalLeft(const std::string& journal);

// A journal whose repairs are all on the file, but that could not be removed.
std::string completedJournalLeft(const std::string& journal);

// Audio tables a repair stopped part-way, whose journal is gone, and that
// cannot be completed.
std::string halfWritten(const std::string& fileName);

// The card had no room for the journal of a repair, which was then not made.
std::string noRoomForJournal(const std::string& fileName, std::uint64_t journalBytes);

// A plan's warning that the card must first have room for the journal.
std::string journalRoomWarning(std::uint64_t journalBytes, std::uint64_t freeBytes);

// Said once of a card, or any file system, that is read-only.
inline constexpr const char* readOnlyCard =
    "The card is read-only (its lock switch is on, or it is mounted read-only): nothing on it "
    "can be repaired until it is writable";

// Why a file cannot be repaired, in place of a repair's outcome.
inline constexpr const char* emptyFile = "the file is empty";
inline constexpr const char* neverFinished =
    "the recording was never finished (no moov box); boxmend cannot repair it";
inline constexpr const char* repairOnReadOnlyCard =
    "a repair is needed, but it cannot be made on a read-only card";

// text with its first letter a capital, as a line of its own.
std::string asSentence(const char* text);

} // namespace boxmend::repair::message
