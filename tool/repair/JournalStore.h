#pragma once

#include "mediafmt/ResultCode.h"

#include "tool/repair/RepairPlan.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Why a journal was not saved, beyond its result code.
enum class SaveTrouble {
    none,
    // The place does not allow it to be written at all: no permission, a
    // read-only file system.
    refused,
    // The file system has no room for it: full, or the user's quota spent.
    noRoom,
};

// What the system tells of the journal's place before anything is written.
struct JournalPlace {
    // The file system is mounted read-only, or the card's lock is on.
    bool readOnly = false;
    // The bytes a new file there can take; unknown when the system does not say.
    std::optional<std::uint64_t> freeBytes;

    // Whether a journal of that many bytes is known not to fit.
    bool tooFullFor(std::uint64_t journalBytes) const {
        return freeBytes && *freeBytes < journalBytes;
    }
};

// Where the journal of one recording is kept. Every change it makes is on
// the device when the call returns.
class JournalStore {
public:
    JournalStore() = default;
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;
    virtual ~JournalStore() = default;

    // The journal's bytes: 0, 1 when there is none, or the failure.
    [[nodiscard]] virtual ResultCode load(std::vector<std::uint8_t>& bytes) = 0;
    // Puts the journal in place whole or not at all. trouble is set when the
    // place refuses it or has no room for it, and left as it is otherwise;
    // nothing is then left behind.
    [[nodiscard]] virtual ResultCode save(const std::vector<std::uint8_t>& bytes,
                                          SaveTrouble& trouble) = 0;
    // Removes the journal; 0 also when there is none.
    [[nodiscard]] virtual ResultCode remove() = 0;
    // The journal's name, for messages.
    virtual std::string name() const = 0;
    // Whether the place is read-only and how much room it has; nothing
    // known unless the store can ask.
    virtual JournalPlace place() const { return {}; }
};

// The journal of the recording at path, in the same directory under the
// hidden name journalNameFor gives, where the directory and NAME are those
// of the file itself whatever name path gives it: with links resolved, and
// on Windows the long name of the file (the journal is marked hidden
// there). It is written under the name with ".new" appended, flushed,
// renamed into place and the directory flushed; on POSIX systems it gets
// the recording's owner and group where the system allows, and is no more
// readable or writable than the recording. Loading never follows a link
// and never waits: anything at the journal's name but a regular file is
// left alone and reads as a journal that cannot be read.
class DirectoryJournal final : public JournalStore {
public:
    explicit DirectoryJournal(const std::string& recordingPath);

    [[nodiscard]] ResultCode load(std::vector<std::uint8_t>& bytes) override;
    [[nodiscard]] ResultCode save(const std::vector<std::uint8_t>& bytes,
                                  SaveTrouble& trouble) override;
    [[nodiscard]] ResultCode remove() override;
    std::string name() const override { return path_; }
    // The file system of the journal's directory (statvfs, or the volume's
    // flags and the caller's free space on Windows).
    JournalPlace place() const override;

private:
    std::string directory_;
    std::string path_;
#ifndef _WIN32
    // The recording's permission bits, owner and group (-1 when unknown).
    unsigned mode_ = 0600;
    long long owner_ = -1;
    long long group_ = -1;
#endif
};

// The journal's name for a recording named fileName: ".NAME.boxmend-journal".
// Where that name with ".new" appended is longer than a file system allows
// one name to be (255 bytes, on Windows 255 UTF-16 units), NAME is cut at a
// character boundary and followed by "~" and 16 hex digits of a hash of all
// of it, so that the journal and its temporary name both fit.
std::string journalNameFor(const std::string& fileName);

// The length of a name as the file system limits it: bytes, on Windows
// UTF-16 units.
std::size_t fileNameLength(const std::string& name);

// The bytes the journal of these repairs takes in its store.
std::uint64_t journalSize(const std::vector<RepairPlan>& repairs);

// Appended to the journal's name for the file it is written to first.
inline constexpr const char* journalTempSuffix = ".new";
// Far more than any journal takes; a larger file of that name is not one.
inline constexpr std::size_t largestJournal = 16 * 1024 * 1024;

} // namespace boxmend::repair
