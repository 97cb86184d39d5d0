#include "mediafmt/io/Buffer.h"

#include <algorithm>
#include <cstring>

namespace mediafmt::io {

namespace detail {

ResultCode readAt(const std::vector<std::uint8_t>& bytes, std::uint64_t& index, void* buffer,
                  std::uint64_t count, std::uint64_t& bytesRead) {
    if (buffer == nullptr || bytes.data() == nullptr)
        return result::nullObject;
    std::uint64_t available = index < bytes.size() ? bytes.size() - index : 0;
    std::uint64_t got = std::min(count, available);
    if (got != 0)
        std::memcpy(buffer, bytes.data() + index, static_cast<std::size_t>(got));
    index += got;
    bytesRead = got;
    return result::none;
}

ResultCode writeAt(std::vector<std::uint8_t>& bytes, std::uint64_t& index, const void* buffer,
                   std::uint64_t count, std::uint64_t& bytesWritten) {
    if (buffer == nullptr)
        return result::nullObject;
    if (count > bytes.max_size() - index)
        throw std::bad_alloc();
    if (index + count > bytes.size())
        bytes.resize(static_cast<std::size_t>(index + count));
    bytesWritten = count;
    if (bytes.data() == nullptr)
        return result::nullObject;
    if (count != 0)
        std::memcpy(bytes.data() + index, buffer, static_cast<std::size_t>(count));
    index += count;
    return result::none;
}

ResultCode moveBy(std::uint64_t& index, std::uint64_t from, std::int64_t delta,
                  std::uint64_t length) {
    if (delta < 0) {
        // Negated in unsigned arithmetic so that INT64_MIN is safe.
        std::uint64_t back = 0 - static_cast<std::uint64_t>(delta);
        if (back > from) {
            index = 0;
            return result::seekBeforeBegin;
        }
        from -= back;
    } else {
        std::uint64_t ahead = static_cast<std::uint64_t>(delta);
        if (from > length || ahead > length - from) {
            index = length;
            return result::seekPastEnd;
        }
        from += ahead;
    }
    if (from > length) {
        index = length;
        return result::seekPastEnd;
    }
    index = from;
    return result::none;
}

} // namespace detail

ResultCode Buffer::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    return detail::readAt(bytes_, position_, buffer, count, bytesRead);
}

ResultCode Buffer::write(const void* buffer, std::uint64_t count, std::uint64_t& bytesWritten) {
    return detail::writeAt(bytes_, position_, buffer, count, bytesWritten);
}

ResultCode Buffer::seek(std::int64_t offset, SeekOrigin origin) {
    switch (origin) {
    case SeekOrigin::begin:
        return detail::moveBy(position_, 0, offset, bytes_.size());
    case SeekOrigin::current:
        return detail::moveBy(position_, position_, offset, bytes_.size());
    case SeekOrigin::end:
        return detail::moveBy(position_, bytes_.size(), offset, bytes_.size());
    }
    return result::invalidArgument;
}

void Buffer::reserve(std::uint64_t capacity) {
    if (capacity <= bytes_.max_size())
        bytes_.reserve(static_cast<std::size_t>(capacity));
}

std::vector<std::uint8_t> Buffer::takeBytes() {
    std::vector<std::uint8_t> taken;
    taken.swap(bytes_);
    position_ = 0;
    return taken;
}

ResultCode Buffer::tell(std::uint64_t& position) {
    position = position_;
    return result::none;
}

ResultCode Buffer::eof(bool& atEnd) {
    atEnd = position_ >= bytes_.size();
    return result::none;
}

ResultCode Buffer::size(std::uint64_t& length) {
    length = bytes_.size();
    return result::none;
}

} // namespace mediafmt::io
