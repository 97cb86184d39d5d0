#pragma once

#include "mediafmt/mp4/type/Type.h"

#include <array>
#include <cstdint>
#include <string>

namespace mediafmt::mp4::type {

// Every byte up to the end of the box, terminators and fill included.
class String final : public Type {
public:
    std::string value;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return value.size(); }
    // The bytes up to the first NUL.
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// Raw bytes up to the end of the box.
//
// A reader may leave a block's bytes in the file instead of reading them,
// so that a huge box costs no memory: the block then knows only where they
// are and how many, prints as any large block does, and refuses to be
// written with 4, since the bytes it would write are not at hand.
class Block final : public Array<std::uint8_t> {
public:
    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return elements.size() + onDisk_; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;

    // Stands for length bytes of the stream from position on, left unread.
    void leaveOnDisk(std::uint64_t position, std::uint64_t length);
    // The bytes left unread; 0 for a block that holds its bytes.
    std::uint64_t onDisk() const { return onDisk_; }

private:
    std::uint64_t onDisk_ = 0;
};

namespace detail {
[[nodiscard]] ResultCode readFixedBlock(io::Io* stream, std::uint8_t* bytes, std::uint64_t n,
                                        std::uint64_t& offset);
[[nodiscard]] ResultCode writeFixedBlock(io::Io* stream, const std::uint8_t* bytes,
                                         std::uint64_t n);
[[nodiscard]] ResultCode printFixedBlock(io::Io* stream, const std::uint8_t* bytes,
                                         std::uint64_t n);
} // namespace detail

// Exactly N raw bytes: reserved runs, fixed-width names and identifiers.
template <std::size_t N> class FixedBlock final : public Type {
public:
    std::array<std::uint8_t, N> value{};

    [[nodiscard]] ResultCode write(io::Io* stream) const override {
        return detail::writeFixedBlock(stream, value.data(), N);
    }
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t /*end*/) override {
        return detail::readFixedBlock(stream, value.data(), N, offset);
    }
    std::uint64_t size() const override { return N; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t /*indent*/) const override {
        return detail::printFixedBlock(stream, value.data(), N);
    }
};

} // namespace mediafmt::mp4::type
