#include "mediafmt/mp4/type/FixedPoint.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/TextOutput.h"

#include <algorithm>
#include <cmath>

namespace mediafmt::mp4::type {

namespace {

constexpr double scale16 = 65536.0;      // 2^16
constexpr double scale30 = 1073741824.0; // 2^30

} // namespace

std::int64_t fixedPointRaw(double value, double scale) {
    // Rounded down rather than truncated, so that negative values round to
    // the nearest raw value as positive ones do (-1.0 gives 0xFFFF0000 in
    // 16.16, not 0xFFFF0001).
    double raw = std::floor(value * scale + 0.5);
    if (std::isnan(raw))
        return 0;
    // 2^63: the first double above the signed 64-bit range; -2^63 is its
    // lowest value, which a lower one saturates to.
    constexpr double limit = 9223372036854775808.0;
    if (raw >= limit)
        return INT64_MAX;
    return static_cast<std::int64_t>(std::max(raw, -limit));
}

ResultCode Fixed8x8::write(io::Io* stream) const {
    auto raw = static_cast<std::uint64_t>(fixedPointRaw(value, 256.0));
    return io::writeUint16(stream, static_cast<std::uint16_t>(raw & 0xFFFF));
}

ResultCode Fixed8x8::read(io::Io* stream, std::uint64_t /*end*/) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    std::uint16_t raw = 0;
    if (ResultCode rc = io::readUint16(stream, raw); rc != 0)
        return rc;
    value = raw * 0.00390625;
    return result::none;
}

ResultCode Fixed8x8::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return io::writeText(stream, "%0.4f", value);
}

ResultCode Fixed16x16::write(io::Io* stream) const {
    auto raw = static_cast<std::uint64_t>(fixedPointRaw(value, scale16));
    return io::writeUint32(stream, static_cast<std::uint32_t>(raw & 0xFFFFFFFF));
}

ResultCode Fixed16x16::read(io::Io* stream, std::uint64_t /*end*/) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    std::uint32_t raw = 0;
    if (ResultCode rc = io::readUint32(stream, raw); rc != 0)
        return rc;
    value = raw * 1.52587890625e-5;
    return result::none;
}

ResultCode Fixed16x16::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return io::writeText(stream, "%0.4f", value);
}

namespace {

// u, v and w (file positions 2, 5 and 8) are 2.30; the rest 16.16.
bool isTwoThirty(std::size_t index) {
    return index % 3 == 2;
}

} // namespace

ResultCode Matrix3x3::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    for (std::size_t i = 0; i < value.size(); ++i) {
        auto raw = static_cast<std::uint64_t>(
            fixedPointRaw(static_cast<double>(value[i]), isTwoThirty(i) ? scale30 : scale16));
        if (ResultCode rc = io::writeUintN(stream, raw & 0xFFFFFFFF, 4); rc != 0)
            return rc;
    }
    return result::none;
}

ResultCode Matrix3x3::read(io::Io* stream, std::uint64_t /*end*/) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    for (std::size_t i = 0; i < value.size(); ++i) {
        std::uint32_t raw = 0;
        if (ResultCode rc = io::readUint32(stream, raw); rc != 0)
            return rc;
        value[i] =
            static_cast<float>(raw * (isTwoThirty(i) ? 9.313225746154785e-10 : 1.52587890625e-5));
    }
    return result::none;
}

ResultCode Matrix3x3::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return stream == nullptr ? result::nullObject : result::none;
}

} // namespace mediafmt::mp4::type
