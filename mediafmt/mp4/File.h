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

    // Reads every top-level box of the stream into this root. Each box is
    // loaded whole into memory and parsed from there; the payload of a
    // top-level mdat is never read.
    [[nodiscard]] ResultCode parse(io::Io* stream);
};

} // namespace mediafmt::mp4
