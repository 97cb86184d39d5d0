#pragma once

#include "mediafmt/ResultCode.h"
#include "tool/repair/RepairRun.h"

#include <optional>
#include <string>
#include <vector>

namespace boxmend {

// A failure a run met: the line that reports it, and the exit status boxmend
// ends with for it.
struct Failure {
    int status;
    std::string line;
};

// The failures of a run and their lines, chosen here once for every
// program. A run that applies stops at its first failure; one that only
// plans goes on past each, and a repair it would refuse is not a failure of
// it but the outcome of its plan.

// The audio check could not be completed, or was not reached.
bool checkFailed(const RunOutcome& run);
// A repair (or the plan of one) that ran and neither succeeded nor, for
// the video entry, found nothing to do.
bool audioRepairFailed(const StepOutcome& audio, RunMode mode);
bool videoRepairFailed(const StepOutcome& video, RunMode mode);

Failure openFailure(mediafmt::ResultCode code, const std::string& fileName);
// A journal that keeps boxmend from changing the file.
std::optional<Failure> journalFailure(const Recovery& recovery, const std::string& fileName,
                                      const std::string& journal);
std::optional<Failure> parseFailure(const RunOutcome& run, const std::string& fileName);
std::optional<Failure> checkFailure(const RunOutcome& run, const std::string& fileName);
// The repairs of a fresh run, or those a journal completes.
std::optional<Failure> audioFailure(const StepOutcome& audio, RunMode mode,
                                    const std::string& fileName);
std::optional<Failure> videoFailure(const StepOutcome& video, RunMode mode,
                                    const std::string& fileName);

// Every failure a run that only plans met, in the order an applying run
// meets them: the journal, the parse, the audio check or repair, the video
// repair.
std::vector<std::string> planFailureLines(const RunOutcome& run, const std::string& fileName,
                                          const std::string& journal);

} // namespace boxmend
