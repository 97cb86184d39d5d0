#pragma once

#include "mediafmt/io/Buffer.h"

#include <cstdint>
#include <vector>

namespace mediafmt::io {

// A copy of one region of another stream. Positions it reports and accepts
// from the beginning are those of the source stream, so what is parsed from
// the cache carries the source's offsets. The cache never shrinks, so
// refilling it with regions of similar size does not reallocate.
//
// A region may reach beyond the end of its source; the cache then reads as
// zeros there. Only the bytes the source has are held in memory, so a
// corrupt length cannot make a fill allocate more than the source's size.
class CacheBuffer final : public Buffer {
public:
    // Loads length bytes of source from offset. Bytes the source does not
    // have read as zeros; that is not an error.
    [[nodiscard]] ResultCode fill(Io* source, std::uint64_t offset, std::uint64_t length);

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    // Always "not at end": loops over a cache compare positions instead.
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    // The cache length, not the source position of its end.
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;

    std::uint64_t baseOffset() const { return baseOffset_; }

private:
    // bytes_ holds the start of the cache; from its end up to length_ the
    // cache reads as zeros.
    std::vector<std::uint8_t> bytes_;
    std::uint64_t length_ = 0;
    std::uint64_t localPosition_ = 0;
    std::uint64_t baseOffset_ = 0;
};

} // namespace mediafmt::io
