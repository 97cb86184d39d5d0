#pragma once

#include "mediafmt/ResultCode.h"
#include "mediafmt/io/Io.h"

#include <cstdint>

namespace boxmend::repair {

using mediafmt::ResultCode;

// Reads and writes at a given offset of a stream, as the in-place writes make
// them.

// Positions the stream at offset; 4 for an offset no seek can reach.
[[nodiscard]] ResultCode seekTo(mediafmt::io::Io& stream, std::uint64_t offset);

// Writes count bytes at offset; a short write gives 11.
[[nodiscard]] ResultCode writeAt(mediafmt::io::Io& stream, std::uint64_t offset,
                                 const std::uint8_t* bytes, std::uint64_t count);

// Reads count bytes at offset through the stream's ordinary reads; fewer
// gives 10.
[[nodiscard]] ResultCode readAt(mediafmt::io::Io& stream, std::uint64_t offset, std::uint8_t* bytes,
                                std::uint64_t count);

} // namespace boxmend::repair
