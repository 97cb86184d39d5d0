#pragma once

#include "mediafmt/io/Io.h"

#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define MEDIAFMT_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MEDIAFMT_PRINTF_FORMAT(fmt, args)
#endif

namespace mediafmt::io {

// printf-style text written to the stream, without a terminating NUL.
[[nodiscard]] ResultCode writeText(Io* stream, const char* format, ...)
    MEDIAFMT_PRINTF_FORMAT(2, 3);

// n spaces.
[[nodiscard]] ResultCode writeIndent(Io* stream, std::uint32_t n);

} // namespace mediafmt::io
