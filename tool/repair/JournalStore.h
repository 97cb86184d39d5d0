#pragma once

#include "mediafmt/ResultCode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boxmend {

using mediafmt::ResultCode;

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
    // Puts the journal in place whole or not at all. refused is set to true
    // when the place does not allow it to be written at all (no permission,
    // a read-only file system), and left as it is otherwise; nothing is then
    // left behind.
    [[nodiscard]] virtual ResultCode save(const std::vector<std::uint8_t>& bytes,
                                          bool& refused) = 0;
    // Removes the journal; 0 also when there is none.
    [[nodiscard]] virtual ResultCode remove() = 0;
    // The journal's name, for messages.
    virtual std::string name() const = 0;
};

// The journal of the recording at path, in the same directory under the
// hidden name ".NAME.boxmend-journal", where the directory and NAME are
// those of the file itself whatever name path gives it: with links resolved,
// and on Windows the long name of the file (the journal is marked hidden
// there). It
// is written under the name with ".new" appended, flushed, renamed into
// place and the directory flushed.
class DirectoryJournal final : public JournalStore {
public:
    explicit DirectoryJournal(const std::string& recordingPath);

    [[nodiscard]] ResultCode load(std::vector<std::uint8_t>& bytes) override;
    [[nodiscard]] ResultCode save(const std::vector<std::uint8_t>& bytes, bool& refused) override;
    [[nodiscard]] ResultCode remove() override;
    std::string name() const override { return path_; }

private:
    std::string directory_;
    std::string path_;
};

// The journal's path for a recording: its directory and file name from
// the path, the name hidden with a leading dot and given the suffix.
std::string journalPathFor(const std::string& directory, const std::string& fileName);

} // namespace boxmend
