#pragma once

#include "mediafmt/ResultCode.h"
#include "tool/repair/RepairRun.h"

#include <optional>
#include <string>
#include <vector>

namespace boxmend::repair {

// The parts of a run that can fail, in the order the run meets them: the
// journal an earlier run left and the completion of the repairs it records,
// then the fresh run's parse, audio check and repairs.
enum class Phase { journal, recoveredAudio, recoveredVideo, parse, check, audio, video };
inline constexpr Phase phases[] = {Phase::journal, Phase::recoveredAudio, Phase::recoveredVideo,
                                   Phase::parse,   Phase::check,          Phase::audio,
                                   Phase::video};

// A failure: the line boxmend reports it with and the exit status it ends with.
struct Failure {
    int status;
    std::string line;
};

// The failure a phase met, chosen here once for every program; nothing when
// it went well or was not reached. A refusal is a failure of a run that
// applies; for a run that only plans it is what boxmend would refuse, which
// its plan tells.
std::optional<Failure> failureIn(Phase phase, const RunOutcome& run, RunMode mode,
                                 const std::string& fileName, const std::string& journal);

// The lines of every failure the run met, in order; a run that applies
// stops at its first, one that only plans goes on past each.
std::vector<std::string> failureLines(const RunOutcome& run, RunMode mode,
                                      const std::string& fileName, const std::string& journal);

// The audio check could not be completed, or was not reached.
bool checkFailed(const RunOutcome& run);

Failure openFailure(mediafmt::ResultCode code, const std::string& fileName);

} // namespace boxmend::repair
