#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"
#include "tool/repair/RepairPlan.h"
#include "tool/repair/Transaction.h"

#include <cstdint>
#include <vector>

namespace boxmend::repair {

using mediafmt::ResultCode;

// The order in which a run writes its repairs, and how a later run tells
// where a write in that order stopped.
//
// Each repair's bytes fall into numbered steps (assignSteps). The repairs are
// written a step at a time: every repair's part of step 0, one flush, a
// read-back of each part from the device, then step 1, and so on
// (writeRepairs). So a write stopped anywhere, by a crash, a power cut or a
// failed call, leaves each repair a prefix of its steps: every step before
// some step whole, every step after it untouched, and that step itself,
// whose parts reach the device between the same two flushes, any mix of
// old and new bytes. Recovery accepts exactly those states (howFarWritten)
// and completes them by writing the steps again; any other state of the
// file is not a stopped write of these repairs.

// A range of bytes whose changes form a step of their own.
struct StepRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint32_t step = 0;
};

// Splits the plan's changes where they cross the ranges and puts the bytes
// within each range in its step; every other byte stays in step 0.
void assignSteps(RepairPlan& plan, const std::vector<StepRange>& ranges);

// Writes the repairs in the write order, each step's parts followed by a
// flush and their read-back (Io::readBack). outcomes gets one outcome per
// repair, done when it is on the device. At the first failure the writing
// stops: each repair begun and not yet whole fails with its code (a
// read-back that finds other bytes with 4 and notStored), the others not
// whole are left not run. False when some repair is not whole.
bool writeRepairs(mediafmt::io::Io& stream, const std::vector<RepairPlan>& repairs,
                  std::vector<PhaseOutcome>& outcomes);

// How far a write of the repairs in the write order has reached the file.
enum class Reached {
    // Every step of every repair holds its new bytes (and its fill zeros).
    whole,
    // Each repair a prefix of its steps, not all whole (perhaps none
    // begun): a write stopped in the order, which can be completed.
    partway,
    // Neither: some byte holds neither its original nor its new value, or a
    // step holds new bytes while an earlier one is not whole.
    outOfOrder,
};

// Reads the repairs' bytes from the stream (ordinary reads) and tells how
// far their write has reached it; a failed read gives its code.
[[nodiscard]] ResultCode howFarWritten(mediafmt::io::Io& stream,
                                       const std::vector<RepairPlan>& repairs, Reached& reached);

// The runs of the journal's first version wrote each repair whole, in turn,
// its fill with its changes, and flushed it before the next. Sets the
// repairs' steps to that order: repair i in step i. Only the first repair
// may have a fill, as only the audio repair does, and it comes first.
void useFirstVersionOrder(std::vector<RepairPlan>& repairs);

} // namespace boxmend::repair
