#pragma once

#include "mediafmt/mp4/type/Scalars.h"
#include "mediafmt/mp4/type/Type.h"

#include <cstdint>

namespace mediafmt::mp4::type {

// Lists without a count of their own: they run to the end of the box.

// 32-bit values; trailing bytes that do not make a whole element are not read.
class Uint32Array final : public Array<std::uint32_t> {
public:
    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 4 * elements.size(); }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// 64-bit values; a partial last element is read whole, past the box's end.
class Uint64Array final : public Array<std::uint64_t> {
public:
    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 8 * elements.size(); }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

// Four-character codes, each remembering the position it was read from.
class FourccArray final : public Array<Fourcc> {
public:
    [[nodiscard]] ResultCode write(io::Io* stream) const override;
    [[nodiscard]] ResultCode read(io::Io* stream, std::uint64_t end) override;
    std::uint64_t size() const override { return 4 * elements.size(); }
    [[nodiscard]] ResultCode print(io::Io* stream, std::uint32_t indent) const override;
};

} // namespace mediafmt::mp4::type
