#pragma once

#include "mediafmt/mp4/box/Box.h"
#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Type.h"

#include <cstdint>
#include <string>

namespace mediafmt::mp4 {

// The text listing of a box tree: every box with its code, offset and size
// on disk, and every registered field in the text form the field prints
// itself in. Boxes are listed as they were read; nothing is recomputed.

// One line per box, indented two spaces per level, followed by one
// "name: text" line per field one level deeper. The root itself is not
// listed, only its descendants, its children at the given depth.
std::string listBoxTree(const box::Box& root, std::uint32_t depth = 0);

// All four bytes of a code, so that a code with a zero byte still shows, as
// UTF-8: bytes from 0xA0 on are the Latin-1 characters QuickTime codes use
// (the copyright sign of user data), and the control bytes of both ranges,
// 0x80 to 0x9F included, become "\xNN".
std::string codeText(const type::Fourcc& code);

// The field's own text form, continued lines indented by indent; a print
// that fails keeps what it wrote and says so.
std::string fieldText(const type::Type& field, std::uint32_t indent);

// Control bytes (0x00 to 0x1F and 0x7F), which printed as they are could
// move the cursor, clear a terminal or start a line of their own.
bool isControlByte(unsigned char byte);

// The byte as "\xNN", the way control bytes are shown wherever text from a
// file or a name is printed.
void appendEscapedByte(std::string& out, unsigned char byte);

} // namespace mediafmt::mp4
