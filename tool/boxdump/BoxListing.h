#pragma once

#include "mediafmt/mp4/box/Box.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>

namespace boxmend {

// The listing of a box tree: every box with its code, offset and size on
// disk, and every registered field in the text form the field prints itself
// in. Boxes are listed as they were read; nothing is recomputed.

// One line per box, indented two spaces per level, followed by one
// "name: text" line per field one level deeper. The root itself is not
// listed, only its descendants, its children at the given depth. Codes show
// bytes from 0xA0 on as Latin-1 characters and control bytes as "\xNN",
// here and in the JSON.
std::string listBoxTree(const mediafmt::mp4::box::Box& root, std::uint32_t depth = 0);

// The root's descendants as an array of objects: type, offset, size, path
// (as boxPath gives it, with the codes shown as in type), fields (name to
// printed text, in registration order; a name registered again gets the
// suffix "[k]", k counting its earlier uses) and children.
nlohmann::ordered_json boxTreeJson(const mediafmt::mp4::box::Box& root);

} // namespace boxmend
