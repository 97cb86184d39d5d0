#pragma once

#include "mediafmt/mp4/type/Type.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mediafmt::mp4::type {

// The 32-bit value of a four-character code, first character most significant.
constexpr std::uint32_t fourcc(std::string_view code) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | (i < code.size() ? static_cast<std::uint8_t>(code[i]) : 0u);
    return value;
}

// A four-character code, compared by value (so case-sensitively).
class Fourcc : public Type {
public:
    std::uint32_t value = 0;

    Fourcc() = default;
    explicit Fourcc(std::uint32_t code) : value(code) {}
    Fourcc(const Fourcc&) = default;
    Fourcc& operator=(const Fourcc&) = default;
    virtual ~Fourcc() = default;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 4; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;

    // The four characters, or the empty text for the code 0.
    std::string text() const;

    friend bool operator==(const Fourcc& a, const Fourcc& b) { return a.value == b.value; }
    friend bool operator!=(const Fourcc& a, const Fourcc& b) { return a.value != b.value; }
};

// An unsigned big-endian integer of Width bytes held in T.
template <typename T, std::uint32_t Width> class UnsignedField : public Type {
public:
    T value = 0;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return Width; }

protected:
    UnsignedField() = default;
    ~UnsignedField() = default;
};

class Uint8 final : public UnsignedField<std::uint8_t, 1> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class Uint16 final : public UnsignedField<std::uint16_t, 2> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// A 24-bit value held in 32 bits.
class Uint24 final : public UnsignedField<std::uint32_t, 3> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class Uint32 final : public UnsignedField<std::uint32_t, 4> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class Uint64 final : public UnsignedField<std::uint64_t, 8> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// Seconds since 1904-01-01T00:00:00Z; printed as a UTC date.
class Timestamp32 final : public UnsignedField<std::uint32_t, 4> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

class Timestamp64 final : public UnsignedField<std::uint64_t, 8> {
public:
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// The date text of a timestamp ("%Y-%m-%dT%H:%M:%SZ"), empty outside
// 1970-01-01T00:00:00Z to 2106-02-07T06:28:15Z.
std::string timestampText(std::uint64_t secondsSince1904);

} // namespace mediafmt::mp4::type
