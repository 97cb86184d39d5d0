#include "tool/repair/Transaction.h"

#include "tool/repair/WriteOrder.h"

namespace boxmend::repair {

using namespace mediafmt;

FileJournaling::FileJournaling(const std::string& fileName, io::File& file) : store(fileName) {
    (void)file.identity(journaling.identity.device, journaling.identity.index);
}

void commitRepairs(io::Io& stream, const Journaling& journaling, std::vector<RepairPlan> repairs,
                   std::vector<PhaseOutcome>& outcomes, bool& journalLeft) {
    journalLeft = false;
    outcomes.assign(repairs.size(), PhaseOutcome{});
    if (repairs.empty())
        return;
    // Nothing is written when the journal cannot be: the first repair fails
    // (every repair, when there was no room for their journal, which the
    // line then measures by them).
    const auto refuse = [&outcomes](ResultCode code, SaveTrouble trouble = SaveTrouble::none) {
        if (trouble == SaveTrouble::noRoom) {
            for (PhaseOutcome& outcome : outcomes)
                outcome = PhaseOutcome::failure(code, "the card has no room for the repair journal",
                                                WriteTrouble::journalNoRoom);
            return;
        }
        outcomes.front() = PhaseOutcome::failure(code, "the repair journal could not be written",
                                                 WriteTrouble::journalNotWritten);
    };
    Journal journal;
    journal.identity = journaling.identity;
    if (ResultCode rc = stream.size(journal.fileLength); rc != 0)
        return refuse(rc);
    // What is written is the journal's own record of it.
    journal.repairs = std::move(repairs);
    SaveTrouble trouble = SaveTrouble::none;
    if (ResultCode rc = journaling.store.save(encodeJournal(journal), trouble);
        rc != 0 && trouble != SaveTrouble::refused)
        return refuse(rc, trouble);
    const bool refused = trouble == SaveTrouble::refused;
    if (writeRepairs(stream, journal.repairs, outcomes) && !refused)
        journalLeft = journaling.store.remove() != 0;
}

} // namespace boxmend::repair
