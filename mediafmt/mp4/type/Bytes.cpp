#include "mediafmt/mp4/type/Bytes.h"

#include "mediafmt/io/TextOutput.h"

#include <cstring>

namespace mediafmt::mp4::type {

namespace {

void printHex(io::Io* stream, const std::uint8_t* bytes, std::uint64_t n) {
    for (std::uint64_t i = 0; i < n; ++i)
        (void)io::writeText(stream, "%02x", bytes[i]);
}

} // namespace

ResultCode String::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    // A zero-length write to a memory stream that holds nothing yet is refused.
    if (value.empty())
        return result::none;
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(value.data(), value.size(), put); rc != 0)
        return rc;
    return put == value.size() ? result::none : result::writeError;
}

ResultCode String::read(io::Io* stream, std::uint64_t end) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    if (offset > end)
        return result::endOfFile;
    value.assign(static_cast<std::size_t>(end - offset), '\0');
    if (value.empty())
        return result::none;
    std::uint64_t got = 0;
    return stream->read(value.data(), value.size(), got);
}

ResultCode String::print(io::Io* stream, std::uint32_t /*indent*/) const {
    if (stream == nullptr)
        return result::nullObject;
    // Empty text is not written: a memory stream holding nothing yet refuses it.
    if (value.c_str()[0] == '\0')
        return result::none;
    return io::writeText(stream, "%s", value.c_str());
}

ResultCode Block::write(io::Io* stream) const {
    if (stream == nullptr)
        return result::nullObject;
    if (onDisk_ != 0)
        return result::invalidOperation;
    // An empty vector may have no storage at all, which memory streams refuse.
    if (elements.empty())
        return result::none;
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(elements.data(), elements.size(), put); rc != 0)
        return rc;
    return put == elements.size() ? result::none : result::writeError;
}

ResultCode Block::read(io::Io* stream, std::uint64_t end) {
    onDisk_ = 0;
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    if (offset > end)
        return result::endOfFile;
    elements.assign(static_cast<std::size_t>(end - offset), 0);
    if (elements.empty())
        return result::none;
    std::uint64_t got = 0;
    if (ResultCode rc = stream->read(elements.data(), elements.size(), got); rc != 0)
        return rc;
    return got == elements.size() ? result::none : result::readError;
}

ResultCode Block::print(io::Io* stream, std::uint32_t /*indent*/) const {
    if (stream == nullptr)
        return result::nullObject;
    if (size() >= 100 || onDisk_ != 0) {
        (void)io::writeText(stream, "<%llu byte block>", static_cast<unsigned long long>(size()));
        return result::none;
    }
    (void)io::writeText(stream, "(%d) [", static_cast<int>(elements.size()));
    printHex(stream, elements.data(), elements.size());
    (void)io::writeText(stream, "]");
    return result::none;
}

void Block::leaveOnDisk(std::uint64_t position, std::uint64_t length) {
    elements.clear();
    elements.shrink_to_fit();
    offset = position;
    onDisk_ = length;
}

namespace detail {

ResultCode readFixedBlock(io::Io* stream, std::uint8_t* bytes, std::uint64_t n,
                          std::uint64_t& offset) {
    if (ResultCode rc = startRead(stream, offset); rc != 0)
        return rc;
    std::uint64_t got = 0;
    return stream->read(bytes, n, got);
}

ResultCode writeFixedBlock(io::Io* stream, const std::uint8_t* bytes, std::uint64_t n) {
    if (stream == nullptr)
        return result::nullObject;
    std::uint64_t put = 0;
    if (ResultCode rc = stream->write(bytes, n, put); rc != 0)
        return rc;
    return put == n ? result::none : result::writeError;
}

ResultCode printFixedBlock(io::Io* stream, const std::uint8_t* bytes, std::uint64_t n) {
    if (stream == nullptr)
        return result::nullObject;
    if (n >= 128) {
        (void)io::writeText(stream, "<%d byte block>", static_cast<int>(n));
        return result::none;
    }
    (void)io::writeText(stream, "(%d) ", static_cast<int>(n));
    printHex(stream, bytes, n);
    return result::none;
}

} // namespace detail

} // namespace mediafmt::mp4::type
