#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "tool/repair/ReadFingerprint.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Putting the movie header back as it was parsed, after a device stored the
// writes of a repair somewhere other than where they were sent (as some card
// readers and counterfeit cards do, while reporting success).

// A range of bytes a repair wrote, and the length bytes at original it
// replaced; original is null where the header's encoding gives those bytes
// (a fill of zeros over a list the tree still holds).
struct WrittenRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    const std::uint8_t* original = nullptr;
};

enum class RestoreState {
    // Every block of the header reads back from the device as it was parsed.
    restored,
    // The header may be damaged: reason tells why.
    notRestored,
};

struct RestoreOutcome {
    RestoreState state = RestoreState::notRestored;
    std::string reason;
    // The read, write or flush that failed, 0 when none did.
    ResultCode failure = mediafmt::result::none;
    // Bytes written back.
    std::uint64_t bytesWritten = 0;
};

// Puts the tree's moov box back on the device as the fingerprint shows it was
// read when the tree was parsed. The header is read back from the device
// (Io::readBack) block by block; a block that differs from its fingerprint is
// rebuilt from the tree's encoding, the written ranges' original bytes laid
// over it and, where the block's fingerprinted run reaches outside the
// header, the device's bytes. A block rebuilt to its fingerprint is restored
// by writing only the bytes that differ; when any block cannot be, nothing at
// all is written. A block the fingerprint does not cover whole is trusted to
// the encoding only where a written range explains the difference. After the
// writes, a flush and one more read-back of the whole header decide. One
// attempt only; nothing outside the header is ever written, and the file's
// length never changes. The tree must be exactly as parsed.
RestoreOutcome restoreHeader(mediafmt::io::Io& stream, const mediafmt::mp4::File& tree,
                             const ReadFingerprint& fingerprint,
                             const std::vector<WrittenRange>& written);

} // namespace boxmend::repair
