#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace boxmend::repair {

// The repairs a run can make, as bits of a set.
enum RepairKind : std::uint32_t { audioRepair = 1, videoRepair = 2 };

// A run of bytes a repair changes: the new bytes and the ones they replace,
// and the step of the write order it belongs to.
struct ByteChange {
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint8_t> original;
    std::uint32_t step = 0;
};

// A repair ready to be made, as a run plans it, its journal records it and
// the write makes it, all within the box at the path box: the runs of bytes
// that change, then a run of zeros (the payload of a filler box, which the
// repair clears whatever it held), written in step 0.
struct RepairPlan {
    RepairKind kind = audioRepair;
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

} // namespace boxmend::repair
