#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "mediafmt/mp4/box/Box.h"

#include <cstdint>
#include <string>
#include <vector>

namespace boxmend {

using mediafmt::ResultCode;

// Guards for rewriting part of an irreplaceable file in place: the new bytes
// are built in memory first, and they are written only over a range of the
// same length whose present content is known.

// The box with all its descendants, encoded as write would put it on disk,
// into the storage bytes already has.
[[nodiscard]] ResultCode encodeBox(const mediafmt::mp4::box::Box& box,
                                   std::vector<std::uint8_t>& bytes);

// 0 when the stream holds exactly these bytes at offset; 4 when it holds
// others or ends before them.
[[nodiscard]] ResultCode verifyStored(mediafmt::io::Io& stream, std::uint64_t offset,
                                      const std::vector<std::uint8_t>& expected);

// A rewrite ready to be made: bytes to put at offset over extent bytes of
// the file, all of them within the box at the path box.
struct RepairPlan {
    std::string box;
    std::uint64_t offset = 0;
    std::uint64_t extent = 0;
    std::vector<std::uint8_t> bytes;
};

// Makes the planned write with one write, refusing with 4 (and writing
// nothing) unless its bytes are exactly extent long.
[[nodiscard]] ResultCode writePlanned(mediafmt::io::Io& stream, const RepairPlan& plan);

} // namespace boxmend
