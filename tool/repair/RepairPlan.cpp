#include "tool/repair/RepairPlan.h"

#include <algorithm>

namespace boxmend::repair {

std::uint64_t RepairPlan::bytesWritten() const {
    std::uint64_t total = fillLength;
    for (const ByteChange& change : changes)
        total += change.bytes.size();
    return total;
}

std::uint32_t RepairPlan::lastStep() const {
    std::uint32_t last = 0;
    for (const ByteChange& change : changes)
        last = std::max(last, change.step);
    return last;
}

bool RepairPlan::writesIn(std::uint32_t step) const {
    if (step == 0 && fillLength != 0)
        return true;
    return std::any_of(changes.begin(), changes.end(),
                       [step](const ByteChange& change) { return change.step == step; });
}

} // namespace boxmend::repair
