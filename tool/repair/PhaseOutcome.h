#pragma once

#include "mediafmt/ResultCode.h"

#include <string>
#include <utility>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Where one phase of a run (parse, check, a repair's plan or its write)
// ended.
enum class PhaseState {
    // The run did not reach it.
    notRun,
    // The check found the tables right, or there is nothing to repair.
    nothingToDo,
    // The check found the defect, or tables a repair left half-written.
    needed,
    // The repair can be made, and its writes are planned.
    planned,
    // The file was parsed, or the repair was written and read back.
    done,
    // The repair cannot be made safely: code is 4 and reason says why.
    refused,
    // Something went wrong: code says what.
    failed,
};

// How a write went wrong beyond its result code.
enum class WriteTrouble {
    none,
    // The journal could not be put beside the file; nothing was written.
    journalNotWritten,
    // The file system had no room for the journal; nothing was written.
    journalNoRoom,
    // The write was made and flushed, but the device gave other bytes back.
    notStored,
};

// How one phase of a run ended: its state and, when it was refused or
// failed, its result code and why.
struct PhaseOutcome {
    PhaseState state = PhaseState::notRun;
    ResultCode code = mediafmt::result::none;
    std::string reason;
    WriteTrouble trouble = WriteTrouble::none;

    static PhaseOutcome of(PhaseState state) { return {state, mediafmt::result::none, {}, {}}; }
    static PhaseOutcome refusal(std::string reason) {
        return {PhaseState::refused, mediafmt::result::invalidOperation, std::move(reason), {}};
    }
    static PhaseOutcome failure(ResultCode code, std::string reason = {},
                                WriteTrouble trouble = WriteTrouble::none) {
        return {PhaseState::failed, code, std::move(reason), trouble};
    }
    // A plan stopped by a code from the library. Its 4 is a refusal too: it
    // will not encode what it was not given whole.
    static PhaseOutcome stoppedBy(ResultCode code, std::string reason = {}) {
        return code == mediafmt::result::invalidOperation ? refusal(std::move(reason))
                                                          : failure(code, std::move(reason));
    }

    bool ran() const { return state != PhaseState::notRun; }
    bool is(PhaseState wanted) const { return state == wanted; }
    // Refused or failed.
    bool stopped() const { return state == PhaseState::refused || state == PhaseState::failed; }
};

} // namespace boxmend::repair
