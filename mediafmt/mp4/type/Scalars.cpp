#include "mediafmt/mp4/type/Scalars.h"

#include "mediafmt/io/BigEndian.h"
#include "mediafmt/io/TextOutput.h"

#include <cinttypes>
#include <cstdio>

namespace mediafmt::mp4::type {

using io::writeText;

namespace {

// Text up to its first NUL. Empty text is not written: a memory stream that
// holds nothing yet refuses a zero-length write.
ResultCode printText(io::Io* stream, const char* text) {
    if (stream == nullptr)
        return result::nullObject;
    if (text[0] == '\0')
        return result::none;
    return writeText(stream, "%s", text);
}

} // namespace

ResultCode Fourcc::write(io::Io* stream) const {
    return io::writeUint32(stream, value);
}

ResultCode Fourcc::read(io::Io* stream, std::uint64_t /*end*/) {
    if (stream == nullptr)
        return result::nullObject;
    if (ResultCode rc = stream->tell(offset); rc != 0)
        return rc;
    return io::readUint32(stream, value);
}

std::string Fourcc::text() const {
    if (value == 0)
        return std::string();
    std::string code(4, '\0');
    for (std::size_t i = 0; i < 4; ++i)
        code[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    return code;
}

ResultCode Fourcc::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printText(stream, text().c_str());
}

template <typename T, std::uint32_t Width>
ResultCode UnsignedField<T, Width>::write(io::Io* stream) const {
    return io::writeUintN(stream, value, Width);
}

template <typename T, std::uint32_t Width>
ResultCode UnsignedField<T, Width>::read(io::Io* stream, std::uint64_t /*end*/) {
    if (stream == nullptr)
        return result::nullObject;
    if (ResultCode rc = stream->tell(offset); rc != 0)
        return rc;
    std::uint64_t wide = 0;
    if (ResultCode rc = io::readUintN(stream, wide, Width); rc != 0)
        return rc;
    value = static_cast<T>(wide);
    return result::none;
}

template class UnsignedField<std::uint8_t, 1>;
template class UnsignedField<std::uint16_t, 2>;
template class UnsignedField<std::uint32_t, 3>;
template class UnsignedField<std::uint32_t, 4>;
template class UnsignedField<std::uint64_t, 8>;

ResultCode Uint8::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return writeText(stream, "%d", static_cast<int>(value));
}

ResultCode Uint16::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return writeText(stream, "%d", static_cast<int>(value));
}

ResultCode Uint24::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return writeText(stream, "%u", static_cast<unsigned>(value));
}

ResultCode Uint32::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return writeText(stream, "%u", static_cast<unsigned>(value));
}

ResultCode Uint64::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return writeText(stream, "%llu", static_cast<unsigned long long>(value));
}

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's
// civil_from_days), so dates do not depend on the C library's time_t.
void civilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

ResultCode printTimestamp(io::Io* stream, std::uint64_t value) {
    return printText(stream, timestampText(value).c_str());
}

} // namespace

std::string timestampText(std::uint64_t secondsSince1904) {
    constexpr std::uint64_t epochOffset = 2082844800; // 1904-01-01 to 1970-01-01
    constexpr std::uint64_t latest = 4294967295;
    if (secondsSince1904 < epochOffset || secondsSince1904 - epochOffset > latest)
        return std::string();
    std::uint64_t unixSeconds = secondsSince1904 - epochOffset;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilFromDays(static_cast<std::int64_t>(unixSeconds / 86400), year, month, day);
    auto secondOfDay = static_cast<unsigned>(unixSeconds % 86400);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ",
                  static_cast<long long>(year), month, day, secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

ResultCode Timestamp32::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printTimestamp(stream, value);
}

ResultCode Timestamp64::print(io::Io* stream, std::uint32_t /*indent*/) const {
    return printTimestamp(stream, value);
}

} // namespace mediafmt::mp4::type
