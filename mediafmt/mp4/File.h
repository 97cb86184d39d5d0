#pragma once

#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/box/Box.h"

namespace mediafmt::mp4 {

// The root of a parsed file's box tree; its children are the top-level boxes.
// Owned directly by its user, so no path can climb up to it.
class File final : public box::Box {
public:
    // Bytes loaded beyond each top-level box, so the next header is in memory.
    static constexpr std::uint64_t lookAhead = 32;

    // Top-level boxes of raw bytes that no repair writes (free, skip, uuid
    // and unknown codes) with a payload of at least this many bytes are not
    // read: their data block stays on disk (see Block::leaveOnDisk).
    static constexpr std::uint64_t leftOnDiskFrom = 1024 * 1024;

    // Reads every top-level box of the stream into this root. Each box is
    // loaded whole into memory and parsed from there; the payload of a
    // top-level mdat is never read, nor that of a large box of raw bytes.
    [[nodiscard]] ResultCode parse(io::Io* stream);
};

} // namespace mediafmt::mp4
