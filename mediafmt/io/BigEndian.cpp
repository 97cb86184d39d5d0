#include "mediafmt/io/BigEndian.h"

namespace mediafmt::io {

// Each value moves through the stream in one call: a memory stream delivers
// or takes the same bytes as it would one at a time, at a fraction of the cost.

ResultCode readUintN(Io* stream, std::uint64_t& value, std::uint32_t n) {
    value = 0;
    if (n == 0)
        return result::none;
    if (stream == nullptr)
        return result::nullObject;
    if (n > 8)
        return result::invalidArgument;
    std::uint8_t bytes[8];
    std::uint64_t got = 0;
    if (ResultCode rc = stream->read(bytes, n, got); rc != 0)
        return rc;
    if (got != n)
        return result::readError;
    value = loadBigEndian(bytes, n);
    return result::none;
}

ResultCode readUint8(Io* stream, std::uint8_t& value) {
    std::uint64_t wide = 0;
    ResultCode rc = readUintN(stream, wide, 1);
    if (rc == 0)
        value = static_cast<std::uint8_t>(wide);
    return rc;
}

ResultCode readUint16(Io* stream, std::uint16_t& value) {
    std::uint64_t wide = 0;
    ResultCode rc = readUintN(stream, wide, 2);
    if (rc == 0)
        value = static_cast<std::uint16_t>(wide);
    return rc;
}

ResultCode readUint32(Io* stream, std::uint32_t& value) {
    std::uint64_t wide = 0;
    ResultCode rc = readUintN(stream, wide, 4);
    if (rc == 0)
        value = static_cast<std::uint32_t>(wide);
    return rc;
}

ResultCode readUint64(Io* stream, std::uint64_t& value) {
    return readUintN(stream, value, 8);
}

ResultCode writeUintN(Io* stream, std::uint64_t value, std::uint32_t n) {
    if (n == 0)
        return result::none;
    if (stream == nullptr)
        return result::nullObject;
    if (n > 8)
        return result::invalidArgument;
    std::uint8_t bytes[8];
    storeBigEndian(bytes, value, n);
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(bytes, n, put); rc != 0)
        return rc;
    return put == n ? result::none : result::writeError;
}

ResultCode writeUint8(Io* stream, std::uint8_t value) {
    return writeUintN(stream, value, 1);
}

ResultCode writeUint16(Io* stream, std::uint16_t value) {
    return writeUintN(stream, value, 2);
}

ResultCode writeUint32(Io* stream, std::uint32_t value) {
    return writeUintN(stream, value, 4);
}

ResultCode writeInt32(Io* stream, std::int32_t value) {
    return writeUintN(stream, static_cast<std::uint32_t>(value), 4);
}

ResultCode writeUint64(Io* stream, std::uint64_t value) {
    return writeUintN(stream, value, 8);
}

} // namespace mediafmt::io
