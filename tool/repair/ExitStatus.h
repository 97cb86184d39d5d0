#pragma once

namespace boxmend::repair {

// Exit statuses of boxmend's run on one file.
namespace exitStatus {
inline constexpr int ok = 0;
inline constexpr int usageOrVideoFailed = 1;
inline constexpr int openFailed = 2;
inline constexpr int parseFailed = 3;
inline constexpr int audioCheckFailed = 4;
inline constexpr int audioRepairFailed = 5;
// A journal of an interrupted run does not match the file or cannot be read.
inline constexpr int journalTrouble = 6;
// Everything else went well, but the messages could not be written.
inline constexpr int outputFailed = 7;
} // namespace exitStatus

} // namespace boxmend::repair
