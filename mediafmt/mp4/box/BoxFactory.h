#pragma once

#include "mediafmt/mp4/box/Box.h"
#include "mediafmt/mp4/type/Scalars.h"

#include <cstdint>

namespace mediafmt::mp4::box {

// A new, empty box of the class for code and version, its fields registered.
// Codes the catalogue does not know become a DataBox, which reproduces any
// payload byte for byte. Empty only for a version other than 0 or 1 of a
// code whose layout depends on it (mvhd, tkhd, mdhd, elst).
BoxPtr createBox(type::Fourcc code, std::int8_t version);

// The QuickTime form of meta, a plain container. The reader makes it for a
// meta whose payload starts with an hdlr box instead of a version and flags.
BoxPtr createQuickTimeMeta();

// True for the codes the catalogue has a class of its own for; every other
// code becomes a DataBox.
bool isCatalogued(type::Fourcc code);

// True for the full-box codes whose version byte decides their class or is
// peeked before the box is made.
bool isFullBoxType(type::Fourcc code);

} // namespace mediafmt::mp4::box
