#pragma once

#include "tool/repair/RepairPlan.h"

#include <cstdint>
#include <vector>

namespace boxmend::repair {

// Which file is which while it exists: device and inode, or volume serial
// and file index. Removable cards do not keep it across a remount, so it
// only warns.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t index = 0;

    friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
        return a.device == b.device && a.index == b.index;
    }
    friend bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }
};

// The journal's versions differ only in the order their runs wrote the
// repairs' bytes: version 2 in the write order of today, version 1 each
// repair whole in turn (useFirstVersionOrder).
inline constexpr std::uint32_t firstJournalVersion = 1;
inline constexpr std::uint32_t journalVersion = 2;

// What a run records beside the file before it changes a byte of it: the
// file's length and identity and every write of every repair it makes, so
// that a run after a crash can complete them.
struct Journal {
    std::uint32_t version = journalVersion;
    std::uint64_t fileLength = 0;
    FileIdentity identity;
    std::vector<RepairPlan> repairs;

    // The set of repairs it carries.
    std::uint32_t kinds() const;
};

// The journal on disk, all numbers big-endian:
//   "BOXMENDJ", version (4 bytes, 1 or 2), file length (8), device (8), index (8),
//   number of repairs (4), then per repair: its kind (4, 1 audio, 2 video),
//   the path of its box (4-byte length, then the bytes), number of changes
//   (4), per change its offset (8), length n (4), the n new bytes and the n
//   original bytes; then the fill's offset (8) and length (8);
//   last the CRC-32 of every byte before it (4).
std::vector<std::uint8_t> encodeJournal(const Journal& journal);

// What a journal's bytes turn out to be.
enum class Decoded {
    // Not a whole journal: its checksum fails, or it does not add up.
    damaged,
    // A whole journal, but of a version this program does not know.
    otherVersion,
    // A whole journal, now in journal.
    whole,
};
Decoded decodeJournal(const std::vector<std::uint8_t>& bytes, Journal& journal);

} // namespace boxmend::repair
