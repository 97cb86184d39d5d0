#include "tool/repair/WriteOrder.h"

#include "tool/repair/PositionedIo.h"

#include <algorithm>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// The most bytes read at once when a step is large.
constexpr std::uint64_t piece = 256 * 1024;

// Writes the plan's changes of one step, and in step 0 its fill of zeros.
ResultCode writeStep(io::Io& stream, const RepairPlan& plan, std::uint32_t step) {
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        if (ResultCode rc =
                writeAt(stream, change.offset, change.bytes.data(), change.bytes.size());
            rc != 0)
            return rc;
    }
    if (step != 0 || plan.fillLength == 0)
        return result::none;
    if (ResultCode rc = seekTo(stream, plan.fillOffset); rc != 0)
        return rc;
    return io::writeZeros(&stream, plan.fillLength);
}

// What the bytes of a step found in the file come to.
struct Tally {
    bool foreign = false;
    std::uint64_t changed = 0;
    std::uint64_t original = 0;
    bool fillZero = true;

    void count(const ByteChange& change, std::uint64_t at, std::uint8_t byte) {
        const std::size_t i = static_cast<std::size_t>(at - change.offset);
        if (byte == change.bytes[i])
            ++changed;
        else if (byte == change.original[i])
            ++original;
        else
            foreign = true;
    }
    bool whole() const { return !foreign && original == 0 && fillZero; }
};

// Tallies the piece of the file at offset at against the step's bytes.
void tallyPiece(const RepairPlan& plan, std::uint32_t step, std::uint64_t at,
                const std::uint8_t* stored, std::uint64_t n, Tally& tally) {
    const std::uint64_t end = at + n;
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        const std::uint64_t from = std::max(at, change.offset);
        const std::uint64_t to = std::min<std::uint64_t>(end, change.offset + change.bytes.size());
        for (std::uint64_t i = from; i < to; ++i)
            tally.count(change, i, stored[i - at]);
    }
    if (step != 0)
        return;
    const std::uint64_t from = std::max(at, plan.fillOffset);
    const std::uint64_t to = std::min(end, plan.fillOffset + plan.fillLength);
    for (std::uint64_t i = from; i < to && tally.fillZero; ++i)
        tally.fillZero = stored[i - at] == 0;
}

// Tallies the step's bytes, read a piece at a time by read(at, bytes, n)
// from the first byte the step writes to its last.
template <typename Read>
ResultCode tallyStep(const RepairPlan& plan, std::uint32_t step, Read read, Tally& tally) {
    const bool fill = step == 0 && plan.fillLength != 0;
    std::uint64_t first = fill ? plan.fillOffset : UINT64_MAX;
    std::uint64_t end = fill ? plan.fillOffset + plan.fillLength : 0;
    for (const ByteChange& change : plan.changes) {
        if (change.step != step)
            continue;
        first = std::min(first, change.offset);
        end = std::max<std::uint64_t>(end, change.offset + change.bytes.size());
    }
    std::vector<std::uint8_t> stored;
    for (std::uint64_t at = first; at < end; at += piece) {
        const std::uint64_t n = std::min(piece, end - at);
        stored.resize(static_cast<std::size_t>(n));
        if (ResultCode rc = read(at, stored.data(), n); rc != 0)
            return rc;
        tallyPiece(plan, step, at, stored.data(), n, tally);
    }
    return result::none;
}

// Reads the step back from the device: stored tells whether every byte it
// writes holds its new value there.
ResultCode readBackStep(io::Io& stream, const RepairPlan& plan, std::uint32_t step, bool& stored) {
    Tally tally;
    const auto read = [&stream](std::uint64_t at, std::uint8_t* bytes, std::uint64_t n) {
        return stream.readBack(at, bytes, n);
    };
    if (ResultCode rc = tallyStep(plan, step, read, tally); rc != 0)
        return rc;
    stored = tally.whole();
    return result::none;
}

// How far a step has reached the file.
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

// Reads the step's bytes through the stream's ordinary reads.
ResultCode stepState(io::Io& stream, const RepairPlan& plan, std::uint32_t step, StepState& state) {
    Tally tally;
    const auto read = [&stream](std::uint64_t at, std::uint8_t* bytes, std::uint64_t n) {
        return readAt(stream, at, bytes, n);
    };
    if (ResultCode rc = tallyStep(plan, step, read, tally); rc != 0)
        return rc;
    state = tally.foreign        ? StepState::foreign
            : tally.whole()      ? StepState::whole
            : tally.changed == 0 ? StepState::untouched
                                 : StepState::partly;
    return result::none;
}

std::uint32_t lastStep(const std::vector<RepairPlan>& repairs) {
    std::uint32_t last = 0;
    for (const RepairPlan& repair : repairs)
        last = std::max(last, repair.lastStep());
    return last;
}

} // namespace

void assignSteps(RepairPlan& plan, const std::vector<StepRange>& ranges) {
    const auto stepOf = [&ranges](std::uint64_t at) {
        for (const StepRange& range : ranges) {
            if (at >= range.offset && at - range.offset < range.length)
                return range.step;
        }
        return std::uint32_t{0};
    };
    std::vector<ByteChange> split;
    for (const ByteChange& change : plan.changes) {
        for (std::size_t i = 0; i < change.bytes.size();) {
            const std::uint32_t step = stepOf(change.offset + i);
            std::size_t end = i + 1;
            while (end < change.bytes.size() && stepOf(change.offset + end) == step)
                ++end;
            const auto first = static_cast<std::ptrdiff_t>(i);
            const auto last = static_cast<std::ptrdiff_t>(end);
            split.push_back({change.offset + i,
                             {change.bytes.begin() + first, change.bytes.begin() + last},
                             {change.original.begin() + first, change.original.begin() + last},
                             step});
            i = end;
        }
    }
    plan.changes = std::move(split);
}

bool writeRepairs(io::Io& stream, const std::vector<RepairPlan>& repairs,
                  std::vector<PhaseOutcome>& outcomes) {
    outcomes.assign(repairs.size(), PhaseOutcome{});
    // Ends the writing at a failure in step: each repair that has begun but
    // is not whole reports it, and those not begun are not made.
    const auto fail = [&](std::uint32_t step, ResultCode code, WriteTrouble trouble) {
        for (std::size_t i = 0; i < repairs.size(); ++i) {
            if (outcomes[i].is(PhaseState::done))
                continue;
            bool begun = false;
            for (std::uint32_t earlier = 0; earlier <= step && !begun; ++earlier)
                begun = repairs[i].writesIn(earlier);
            outcomes[i] = begun ? PhaseOutcome::failure(code, "", trouble) : PhaseOutcome{};
        }
        return false;
    };
    const std::uint32_t last = lastStep(repairs);
    for (std::uint32_t step = 0; step <= last; ++step) {
        bool wrote = false;
        for (const RepairPlan& repair : repairs) {
            if (!repair.writesIn(step))
                continue;
            wrote = true;
            if (ResultCode rc = writeStep(stream, repair, step); rc != 0)
                return fail(step, rc, WriteTrouble::none);
        }
        if (!wrote)
            continue;
        if (ResultCode rc = stream.flush(); rc != 0)
            return fail(step, rc, WriteTrouble::none);
        for (std::size_t i = 0; i < repairs.size(); ++i) {
            if (!repairs[i].writesIn(step))
                continue;
            bool stored = false;
            if (ResultCode rc = readBackStep(stream, repairs[i], step, stored); rc != 0)
                return fail(step, rc, WriteTrouble::none);
            if (!stored)
                return fail(step, result::invalidOperation, WriteTrouble::notStored);
            if (repairs[i].lastStep() == step)
                outcomes[i] = PhaseOutcome::of(PhaseState::done);
        }
    }
    // A repair with nothing to write is whole at once.
    for (PhaseOutcome& outcome : outcomes) {
        if (!outcome.ran())
            outcome = PhaseOutcome::of(PhaseState::done);
    }
    return true;
}

ResultCode howFarWritten(io::Io& stream, const std::vector<RepairPlan>& repairs, Reached& reached) {
    // The repairs' parts of one step are written between the same flushes,
    // so they may have reached the file in any combination: a step is whole
    // or untouched only when every part is.
    bool stopped = false;
    const std::uint32_t last = lastStep(repairs);
    for (std::uint32_t step = 0; step <= last; ++step) {
        bool whole = true;
        bool untouched = true;
        for (const RepairPlan& repair : repairs) {
            if (!repair.writesIn(step))
                continue;
            StepState state = StepState::foreign;
            if (ResultCode rc = stepState(stream, repair, step, state); rc != 0)
                return rc;
            if (state == StepState::foreign) {
                reached = Reached::outOfOrder;
                return result::none;
            }
            whole = whole && state == StepState::whole;
            untouched = untouched && state == StepState::untouched;
        }
        if (stopped && !untouched) {
            reached = Reached::outOfOrder;
            return result::none;
        }
        stopped = stopped || !whole;
    }
    reached = stopped ? Reached::partway : Reached::whole;
    return result::none;
}

void useFirstVersionOrder(std::vector<RepairPlan>& repairs) {
    for (std::size_t i = 0; i < repairs.size(); ++i) {
        for (ByteChange& change : repairs[i].changes)
            change.step = static_cast<std::uint32_t>(i);
    }
}

} // namespace boxmend::repair
