#pragma once

#include "mediafmt/io/Io.h"

#include <cstdint>
#include <vector>

namespace mediafmt::io {

// A growable byte array with a position. Writes past the end grow it; seeks
// never do: a target outside the bytes is clamped and reported.
class Buffer : public Io {
public:
    Buffer() = default;
    explicit Buffer(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    [[nodiscard]] ResultCode read(void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesRead) override;
    [[nodiscard]] ResultCode write(const void* buffer, std::uint64_t count,
                                   std::uint64_t& bytesWritten) override;
    [[nodiscard]] ResultCode seek(std::int64_t offset, SeekOrigin origin) override;
    [[nodiscard]] ResultCode tell(std::uint64_t& position) override;
    [[nodiscard]] ResultCode eof(bool& atEnd) override;
    [[nodiscard]] ResultCode size(std::uint64_t& length) override;

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    // Room for capacity bytes in all, so that writes up to there never move
    // the bytes already held. Changes nothing else.
    void reserve(std::uint64_t capacity);
    // Hands the bytes over without copying them; the buffer is left empty,
    // at position 0.
    std::vector<std::uint8_t> takeBytes();

private:
    std::vector<std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
};

// Buffer's moves over its byte array; CacheBuffer shares moveBy, with
// positions mapped to indices of its own storage.
namespace detail {
[[nodiscard]] ResultCode readAt(const std::vector<std::uint8_t>& bytes, std::uint64_t& index,
                                void* buffer, std::uint64_t count, std::uint64_t& bytesRead);
[[nodiscard]] ResultCode writeAt(std::vector<std::uint8_t>& bytes, std::uint64_t& index,
                                 const void* buffer, std::uint64_t count,
                                 std::uint64_t& bytesWritten);
// Moves index to from + delta, clamped to [0, length]: 14 below, 15 above.
[[nodiscard]] ResultCode moveBy(std::uint64_t& index, std::uint64_t from, std::int64_t delta,
                                std::uint64_t length);
} // namespace detail

} // namespace mediafmt::io
