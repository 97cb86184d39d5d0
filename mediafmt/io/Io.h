#pragma once

#include "mediafmt/ResultCode.h"

#include <cstdint>

namespace mediafmt::io {

// Values equal the Windows move methods FILE_BEGIN, FILE_CURRENT and FILE_END.
enum class SeekOrigin : std::uint32_t { begin = 0, current = 1, end = 2 };

// The byte stream every layer above reads and writes through. Positions and
// sizes are absolute unsigned byte offsets; results come back through the
// out-parameters, which callers use only after a result of 0.
class Io {
public:
    Io() = default;
    Io(const Io&) = delete;
    Io& operator=(const Io&) = delete;
    virtual ~Io() = default;

    // A short count is not an error here: the caller decides what it means.
    [[nodiscard]] virtual ResultCode read(void* buffer, std::uint64_t count,
                                          std::uint64_t& bytesRead) = 0;
    [[nodiscard]] virtual ResultCode write(const void* buffer, std::uint64_t count,
                                           std::uint64_t& bytesWritten) = 0;
    [[nodiscard]] virtual ResultCode seek(std::int64_t offset, SeekOrigin origin) = 0;
    [[nodiscard]] virtual ResultCode tell(std::uint64_t& position) = 0;
    [[nodiscard]] virtual ResultCode eof(bool& atEnd) = 0;
    // By default measured by seeking to the end and back.
    [[nodiscard]] virtual ResultCode size(std::uint64_t& length);
    // Forces written data to the storage device; a stream in memory has
    // nothing to force and reports 0.
    [[nodiscard]] virtual ResultCode flush();
    // Reads count bytes at offset as the storage device holds them, past any
    // cache the platform lets a program bypass, so that what was written can
    // be checked; fewer bytes than count gives 10. The position is left
    // anywhere. By default a seek and a read.
    [[nodiscard]] virtual ResultCode readBack(std::uint64_t offset, void* buffer,
                                              std::uint64_t count);
    // Whether a reader may put off reading a region until it is needed: true
    // for a stream that delivers every byte it has in each read and does not
    // change while it is being read, as an operating-system file.
    virtual bool canReadOnDemand() const { return false; }
};

// Writes count zero bytes at the stream's position from one small block, so
// that no buffer of their size is ever made; a short write gives 11.
[[nodiscard]] ResultCode writeZeros(Io* stream, std::uint64_t count);

} // namespace mediafmt::io
