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
// are built in memory first, checked to cover exactly the extent of the box
// they replace, and compared with the bytes the file holds there before any
// byte is written; then only the bytes that change are written.

// The box with all its descendants, encoded as write would put it on disk,
// into the storage bytes already has.
[[nodiscard]] ResultCode encodeBox(const mediafmt::mp4::box::Box& box,
                                   std::vector<std::uint8_t>& bytes);

// 0 when the stream holds exactly these bytes at offset; 4 when it holds
// others or ends before them.
[[nodiscard]] ResultCode verifyStored(mediafmt::io::Io& stream, std::uint64_t offset,
                                      const std::vector<std::uint8_t>& expected);

// A run of bytes a repair changes: the new bytes and the ones they replace.
struct ByteChange {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> original;
};

// A repair ready to be made, all within the box at the path box: the runs of
// bytes that change, then a run of zeros (the payload of a filler box, which
// the repair clears whatever it held).
struct RepairPlan {
    std::string box;
    std::vector<ByteChange> changes;
    std::uint64_t fillOffset = 0;
    std::uint64_t fillLength = 0;

    // Every byte the repair writes.
    std::uint64_t bytesWritten() const;
};

// The plan that turns before, the bytes the file holds at offset, into
// after, of the same length: every run of differing bytes becomes a change,
// except in [fillBegin, fillEnd) (counted from offset), which after holds as
// zeros and which is written whole as the fill.
RepairPlan planChanges(std::uint64_t offset, const std::vector<std::uint8_t>& before,
                       const std::vector<std::uint8_t>& after, std::uint64_t fillBegin = 0,
                       std::uint64_t fillEnd = 0);

// Writes the plan's changes (every one of its bytes, or 11).
[[nodiscard]] ResultCode writeChanges(mediafmt::io::Io& stream, const RepairPlan& plan);
// Writes the plan's fill of zeros.
[[nodiscard]] ResultCode writeFill(mediafmt::io::Io& stream, const RepairPlan& plan);

// Both read back from the storage device (Io::readBack) the span from the
// first byte the plan writes to its last, and give 0 when it holds what they
// expect, 4 when some byte does not, the read's code when it fails.

// Expects every byte the plan writes.
[[nodiscard]] ResultCode verifyWritten(mediafmt::io::Io& stream, const RepairPlan& plan);
// Expects what a write of the plan stopped anywhere can leave: every changed
// byte its original or its new value, and the fill anything.
[[nodiscard]] ResultCode verifyPartlyWritten(mediafmt::io::Io& stream, const RepairPlan& plan);

} // namespace boxmend
