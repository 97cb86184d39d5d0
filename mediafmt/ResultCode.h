#pragma once

#include <cstdint>
#include <string>

namespace mediafmt {

// Outcome of every operation in the library: 0 is success, 1 means there was
// nothing to do, everything else is a failure with a fixed text.
using ResultCode = std::uint32_t;

namespace result {
inline constexpr ResultCode none = 0;
inline constexpr ResultCode noOp = 1;
inline constexpr ResultCode error = 2;
inline constexpr ResultCode invalidArgument = 3;
inline constexpr ResultCode invalidOperation = 4;
inline constexpr ResultCode fileNotOpen = 5;
inline constexpr ResultCode fileNotFound = 6;
inline constexpr ResultCode endOfFile = 7;
inline constexpr ResultCode nullObject = 8;
inline constexpr ResultCode invalidIo = 9;
inline constexpr ResultCode readError = 10;
inline constexpr ResultCode writeError = 11;
inline constexpr ResultCode openError = 12;
inline constexpr ResultCode closeError = 13;
inline constexpr ResultCode seekBeforeBegin = 14;
inline constexpr ResultCode seekPastEnd = 15;
inline constexpr ResultCode divideByZero = 16;
// A read meant to reach the storage device could only have been answered
// from the system's cache.
inline constexpr ResultCode cacheNotBypassed = 17;
} // namespace result

// The fixed text of a code; "unknown" for anything above 17.
std::string resultCodeText(ResultCode code);

} // namespace mediafmt
