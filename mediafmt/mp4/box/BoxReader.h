#pragma once

#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/box/Box.h"

#include <cstdint>

namespace mediafmt::mp4::box {

// How deep boxes may nest; far beyond any real file, and a bound on the
// reader's recursion whatever the input says.
inline constexpr std::uint32_t maxNestingDepth = 64;

// Reads one box header at the stream's position and returns a new box of the
// class for its code, with offset, recordedSize and type set and the stream
// on its first payload byte. Empty when the header cannot be read or no box
// can be made for it.
BoxPtr readBox(io::Io* stream);

} // namespace mediafmt::mp4::box
