#pragma once

#include "mediafmt/mp4/box/Box.h"

#include <nlohmann/json.hpp>

namespace boxmend::dump {

// The root's descendants as an array of objects: type, offset, size, path
// (as boxPath gives it, with the codes shown as the text listing shows
// them), fields (name to printed text, in registration order; a name
// registered again gets the suffix "[k]", k counting its earlier uses) and
// children. Boxes are shown as they were read; nothing is recomputed.
nlohmann::ordered_json boxTreeJson(const mediafmt::mp4::box::Box& root);

} // namespace boxmend::dump
