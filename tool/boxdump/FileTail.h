#pragma once

#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/File.h"
#include "mediafmt/mp4/box/Box.h"

#include <cstdint>
#include <optional>

namespace boxmend::dump {

// The bytes after the last top-level box a parse read. The parse stops once
// its look-ahead past a box reaches the end of the file, so boxmend never
// reads what lies in the last bytes after it; boxdump shows them apart.
struct FileTail {
    std::uint64_t offset = 0;
    // 0 when the parsed boxes reach the end of the file.
    std::uint64_t size = 0;
    // The boxes that parse one after another from the tail's start, as the
    // children of a root of their own.
    mediafmt::mp4::box::BoxPtr boxes;
    // The bytes after them that do not parse as a box.
    std::uint64_t unparsedOffset = 0;
    std::uint64_t unparsedSize = 0;
    // Where a moov box, or the header of one cut off by the end of the
    // file, starts in the tail.
    std::optional<std::uint64_t> moov;
};

// The tail of the file whose parse into tree succeeded; the stream is left
// anywhere.
FileTail readTail(mediafmt::io::Io& file, const mediafmt::mp4::File& tree);

} // namespace boxmend::dump
