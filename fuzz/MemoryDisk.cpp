#include "fuzz/MemoryDisk.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fuzzcheck {

using namespace mediafmt;

ResultCode MemoryDisk::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (buffer == nullptr && count != 0)
        return result::nullObject;
    const std::uint64_t length = bytes_.size();
    const std::uint64_t got = position_ < length ? std::min(count, length - position_) : 0;
    if (got != 0)
        std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(got));
    position_ += got;
    bytesRead = got;
    return result::none;
}

ResultCode MemoryDisk::write(const void* buffer, std::uint64_t count, std::uint64_t& bytesWritten) {
    if (buffer == nullptr && count != 0)
        return result::nullObject;
    const std::uint64_t length = bytes_.size();
    if (position_ > length || count > length - position_) {
        ++refusedWrites_;
        return result::writeError;
    }
    if (count != 0)
        std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ += count;
    bytesWritten = count;
    return result::none;
}

// As an operating-system file: any position from 0 on, none before it.
ResultCode MemoryDisk::seek(std::int64_t offset, io::SeekOrigin origin) {
    std::uint64_t from = 0;
    switch (origin) {
    case io::SeekOrigin::begin:
        break;
    case io::SeekOrigin::current:
        from = position_;
        break;
    case io::SeekOrigin::end:
        from = bytes_.size();
        break;
    default:
        return result::invalidArgument;
    }
    constexpr auto maxPosition =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (offset < 0) {
        const std::uint64_t back = 0 - static_cast<std::uint64_t>(offset);
        if (back > from)
            return result::error;
        position_ = from - back;
    } else {
        const auto ahead = static_cast<std::uint64_t>(offset);
        if (from > maxPosition || ahead > maxPosition - from)
            return result::error;
        position_ = from + ahead;
    }
    return result::none;
}

ResultCode MemoryDisk::tell(std::uint64_t& position) {
    position = position_;
    return result::none;
}

ResultCode MemoryDisk::eof(bool& atEnd) {
    atEnd = position_ >= bytes_.size();
    return result::none;
}

ResultCode MemoryDisk::size(std::uint64_t& length) {
    length = bytes_.size();
    return result::none;
}

} // namespace fuzzcheck
