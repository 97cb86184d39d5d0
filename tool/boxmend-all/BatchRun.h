#pragma once

#include "tool/console/FileName.h"

#include <vector>

namespace boxmend::batch {

// Exit statuses of boxmend-all.
namespace batchStatus {
inline constexpr int ok = 0;
// A recording failed, or a path could not be read.
inline constexpr int failed = 1;
inline constexpr int usageOrNoMovie = 2;
inline constexpr int outputFailed = 3;
inline constexpr int interrupted = 130;
} // namespace batchStatus

// Finds the movies under the paths and gives each one the repair run boxmend
// would (with dryRun, the plan-only run boxdump makes), printing each
// recording's lines under its place and path, then the summary and the
// path of each one that failed. Returns the exit status; with dryRun the
// highest of boxdump's statuses over the files.
int runBatch(const std::vector<console::NativePath>& paths, bool dryRun);

} // namespace boxmend::batch
