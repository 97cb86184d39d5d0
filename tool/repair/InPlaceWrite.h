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

// A run of bytes a repair changes: the new bytes and the ones they replace,
// and the step of the write order it belongs to.
struct ByteChange {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> original;
    std::uint32_t step = 0;
};

// A repair ready to be made, all within the box at the path box: the runs of
// bytes that change, then a run of zeros (the payload of a filler box, which
// the repair clears whatever it held), written in step 0.
//
// A repair is written in steps, each flushed and read back before the next
// begins, so that a write stopped anywhere leaves every earlier step whole
// and every later one untouched.
struct RepairPlan {
    std::string box;
    std::vector<ByteChange> changes;
    std::uint64_t fillOffset = 0;
    std::uint64_t fillLength = 0;

    // Every byte the repair writes.
    std::uint64_t bytesWritten() const;
    // The highest step with something to write.
    std::uint32_t lastStep() const;
    // Whether the step has something to write.
    bool writesIn(std::uint32_t step) const;
};

// A range of bytes whose changes form a step of their own.
struct StepRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint32_t step = 0;
};

// Splits the plan's changes where they cross the ranges and puts the bytes
// within each range in its step; every other byte stays in step 0.
void assignSteps(RepairPlan& plan, const std::vector<StepRange>& ranges);

// The plan that turns before, the bytes the file holds at offset, into
// after, of the same length: every run of differing bytes becomes a change,
// except in [fillBegin, fillEnd) (counted from offset), which after holds as
// zeros and which is written whole as the fill.
RepairPlan planChanges(std::uint64_t offset, const std::vector<std::uint8_t>& before,
                       const std::vector<std::uint8_t>& after, std::uint64_t fillBegin = 0,
                       std::uint64_t fillEnd = 0);

// Writes the plan's changes of one step, and in step 0 its fill of zeros
// (every byte, or 11).
[[nodiscard]] ResultCode writeStep(mediafmt::io::Io& stream, const RepairPlan& plan,
                                   std::uint32_t step);

// Reads back from the storage device (Io::readBack) the span from the first
// byte the step writes to its last: 0 when every byte the step writes holds
// its new value, 4 when some byte does not, the read's code when it fails.
[[nodiscard]] ResultCode verifyStep(mediafmt::io::Io& stream, const RepairPlan& plan,
                                    std::uint32_t step);

// How far a step of a plan has reached the file.
enum class StepState {
    // Every byte it changes holds its original value; its fill may hold anything.
    untouched,
    // Some bytes hold their original value and the others their new one.
    partly,
    // Every byte holds its new value and its fill is zeros.
    whole,
    // Some byte holds neither value: no write of the plan left it.
    foreign,
};

// Reads the step's bytes from the stream (an ordinary read) and tells how far
// it has reached the file; a failed read gives its code.
[[nodiscard]] ResultCode stepState(mediafmt::io::Io& stream, const RepairPlan& plan,
                                   std::uint32_t step, StepState& state);

} // namespace boxmend
