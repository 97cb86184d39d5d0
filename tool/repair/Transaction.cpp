#include "tool/repair/Transaction.h"

#include <algorithm>

namespace boxmend {

using namespace mediafmt;

FileJournaling::FileJournaling(const std::string& fileName, io::File& file) : store(fileName) {
    (void)file.identity(journaling.identity.device, journaling.identity.index);
}

bool writeRepairs(io::Io& stream, const std::vector<RepairToMake>& repairs) {
    std::uint32_t last = 0;
    for (const RepairToMake& repair : repairs)
        last = std::max(last, repair.plan->lastStep());
    // Ends the writing at a failure in step: each repair that has begun but
    // is not whole reports it, and those not begun are not made.
    const auto fail = [&repairs](std::uint32_t step, ResultCode code, WriteTrouble trouble) {
        for (const RepairToMake& repair : repairs) {
            if (repair.outcome->code == result::none)
                continue;
            bool begun = false;
            for (std::uint32_t earlier = 0; earlier <= step && !begun; ++earlier)
                begun = repair.plan->writesIn(earlier);
            *repair.outcome = begun ? StepOutcome{code, "", trouble} : StepOutcome{};
        }
        return false;
    };
    for (const RepairToMake& repair : repairs)
        *repair.outcome = {};
    for (std::uint32_t step = 0; step <= last; ++step) {
        bool wrote = false;
        for (const RepairToMake& repair : repairs) {
            if (!repair.plan->writesIn(step))
                continue;
            wrote = true;
            if (ResultCode rc = writeStep(stream, *repair.plan, step); rc != 0)
                return fail(step, rc, WriteTrouble::none);
        }
        if (!wrote)
            continue;
        if (ResultCode rc = stream.flush(); rc != 0)
            return fail(step, rc, WriteTrouble::none);
        for (const RepairToMake& repair : repairs) {
            if (!repair.plan->writesIn(step))
                continue;
            if (ResultCode rc = verifyStep(stream, *repair.plan, step); rc != 0)
                return fail(step, rc,
                            rc == result::invalidOperation ? WriteTrouble::notStored
                                                           : WriteTrouble::none);
            if (repair.plan->lastStep() == step)
                repair.outcome->code = result::none;
        }
    }
    // A repair with nothing to write is whole at once.
    for (const RepairToMake& repair : repairs) {
        if (!repair.outcome->ran())
            repair.outcome->code = result::none;
    }
    return true;
}

void commitRepairs(io::Io& stream, const Journaling& journaling,
                   const std::vector<RepairToMake>& repairs, bool& journalLeft) {
    journalLeft = false;
    if (repairs.empty())
        return;
    // Nothing is written when the journal cannot be: the first repair fails.
    const auto refuse = [&repairs](ResultCode code) {
        *repairs.front().outcome = {code, "the repair journal could not be written",
                                    WriteTrouble::journalNotWritten};
        for (std::size_t later = 1; later < repairs.size(); ++later)
            *repairs[later].outcome = {};
    };
    Journal journal;
    journal.identity = journaling.identity;
    if (ResultCode rc = stream.size(journal.fileLength); rc != 0)
        return refuse(rc);
    for (const RepairToMake& repair : repairs)
        journal.repairs.push_back({repair.kind, *repair.plan});
    bool refused = false;
    if (ResultCode rc = journaling.store.save(encodeJournal(journal), refused); rc != 0 && !refused)
        return refuse(rc);
    if (writeRepairs(stream, repairs) && !refused)
        journalLeft = journaling.store.remove() != 0;
}

} // namespace boxmend
