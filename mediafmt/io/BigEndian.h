#pragma once

#include "mediafmt/io/Io.h"

#include <cstdint>
#include <cstring>

namespace mediafmt::io {

// Big-endian integers, most significant byte first. A read that gets fewer
// bytes than it needs gives 10; a write that puts fewer gives 11.
[[nodiscard]] ResultCode readUint8(Io* stream, std::uint8_t& value);
[[nodiscard]] ResultCode readUint16(Io* stream, std::uint16_t& value);
[[nodiscard]] ResultCode readUint32(Io* stream, std::uint32_t& value);
[[nodiscard]] ResultCode readUint64(Io* stream, std::uint64_t& value);
// n from 0 to 8; the value is set to 0 first.
[[nodiscard]] ResultCode readUintN(Io* stream, std::uint64_t& value, std::uint32_t n);

[[nodiscard]] ResultCode writeUint8(Io* stream, std::uint8_t value);
[[nodiscard]] ResultCode writeUint16(Io* stream, std::uint16_t value);
[[nodiscard]] ResultCode writeUint32(Io* stream, std::uint32_t value);
[[nodiscard]] ResultCode writeInt32(Io* stream, std::int32_t value);
[[nodiscard]] ResultCode writeUint64(Io* stream, std::uint64_t value);
// The low n bytes of value, n from 0 to 8.
[[nodiscard]] ResultCode writeUintN(Io* stream, std::uint64_t value, std::uint32_t n);

// Decoding and encoding of big-endian integers held in memory.
inline std::uint64_t loadBigEndian(const std::uint8_t* bytes, std::uint32_t n) {
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < n; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

inline std::uint32_t reverseBytes(std::uint32_t v) {
    v = ((v & 0x00FF00FFu) << 8) | ((v >> 8) & 0x00FF00FFu);
    return (v << 16) | (v >> 16);
}

inline std::uint64_t reverseBytes(std::uint64_t v) {
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    return (v << 32) | (v >> 32);
}

// A whole unsigned integer of sizeof(T) bytes (4 or 8), the same value as
// loadBigEndian gives. Where the machine's byte order is known to be least
// significant first, the bytes are copied and reversed, which a compiler
// turns into a few instructions over many values at once.
template <typename T> T loadBigEndianWhole(const std::uint8_t* bytes) {
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) &&                                 \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return reverseBytes(value);
#else
    return static_cast<T>(loadBigEndian(bytes, sizeof(T)));
#endif
}

inline void storeBigEndian(std::uint8_t* bytes, std::uint64_t value, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (n - 1 - i)));
}

} // namespace mediafmt::io
