#pragma once

#include "mediafmt/mp4/type/Type.h"

#include <array>
#include <cstdint>

namespace mediafmt::mp4::type {

// Unsigned 8.8 fixed point.
class Fixed8x8 final : public Type {
public:
    double value = 0.0;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 2; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// Unsigned 16.16 fixed point.
class Fixed16x16 final : public Type {
public:
    double value = 0.0;

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 4; }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// A transformation matrix in file order a, b, u, c, d, v, x, y, w: u, v and w
// are 2.30 fixed point, the others 16.16.
class Matrix3x3 final : public Type {
public:
    std::array<float, 9> value{};

    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 36; }
    // Matrices have no text form: prints nothing.
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// The raw integer of a fixed-point value: value * scale rounded to the nearest
// integer (halves up), saturated to the 64-bit range (NaN gives 0) so that no
// value a caller sets can make the conversion undefined.
std::int64_t fixedPointRaw(double value, double scale);

} // namespace mediafmt::mp4::type
