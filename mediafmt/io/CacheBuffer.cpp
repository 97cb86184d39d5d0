#include "mediafmt/io/CacheBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace mediafmt::io {

ResultCode CacheBuffer::fill(Io* source, std::uint64_t offset, std::uint64_t length) {
    if (source == nullptr)
        return result::nullObject;
    baseOffset_ = offset;
    localPosition_ = 0;
    length_ = std::max(length_, length);
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return result::error;

    std::uint64_t sourceSize = 0;
    if (ResultCode rc = source->size(sourceSize); rc != 0)
        return rc;
    std::uint64_t available = sourceSize > offset ? std::min(length, sourceSize - offset) : 0;
    if (bytes_.size() < available)
        bytes_.resize(static_cast<std::size_t>(available));

    if (ResultCode rc = source->seek(static_cast<std::int64_t>(offset), SeekOrigin::begin); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (available != 0) {
        if (ResultCode rc = source->read(bytes_.data(), available, got); rc != 0)
            return rc;
    }
    // What the source did not deliver reads as zeros, never as bytes an earlier fill left.
    std::uint64_t end = std::min<std::uint64_t>(length, bytes_.size());
    if (got < end)
        std::memset(bytes_.data() + got, 0, static_cast<std::size_t>(end - got));
    return result::none;
}

ResultCode CacheBuffer::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (count == 0) {
        bytesRead = 0;
        return result::none;
    }
    if (buffer == nullptr || length_ == 0)
        return result::nullObject;
    std::uint64_t got = std::min(count, length_ - localPosition_);
    std::uint64_t held = localPosition_ < bytes_.size()
                             ? std::min<std::uint64_t>(got, bytes_.size() - localPosition_)
                             : 0;
    if (held != 0)
        std::memcpy(buffer, bytes_.data() + localPosition_, static_cast<std::size_t>(held));
    if (got > held)
        std::memset(static_cast<std::uint8_t*>(buffer) + held, 0,
                    static_cast<std::size_t>(got - held));
    localPosition_ += got;
    bytesRead = got;
    return result::none;
}

ResultCode CacheBuffer::write(const void* buffer, std::uint64_t count,
                              std::uint64_t& bytesWritten) {
    if (buffer == nullptr)
        return result::nullObject;
    // Materialise the zeros the write lands in or skips over.
    std::uint64_t end = localPosition_ + count;
    if (end > bytes_.size())
        bytes_.resize(static_cast<std::size_t>(end));
    length_ = std::max(length_, end);
    std::uint64_t index = localPosition_;
    if (ResultCode rc = detail::writeAt(bytes_, index, buffer, count, bytesWritten); rc != 0)
        return rc;
    localPosition_ = index;
    return result::none;
}

ResultCode CacheBuffer::seek(std::int64_t offset, SeekOrigin origin) {
    switch (origin) {
    case SeekOrigin::begin:
        // Offsets from the beginning are source positions.
        if (offset < 0 || static_cast<std::uint64_t>(offset) < baseOffset_) {
            localPosition_ = 0;
            return result::seekBeforeBegin;
        }
        if (static_cast<std::uint64_t>(offset) - baseOffset_ > length_) {
            localPosition_ = length_;
            return result::seekPastEnd;
        }
        localPosition_ = static_cast<std::uint64_t>(offset) - baseOffset_;
        return result::none;
    case SeekOrigin::current:
        return detail::moveBy(localPosition_, localPosition_, offset, length_);
    case SeekOrigin::end:
        return detail::moveBy(localPosition_, length_, offset, length_);
    }
    return result::invalidArgument;
}

ResultCode CacheBuffer::tell(std::uint64_t& position) {
    position = baseOffset_ + localPosition_;
    return result::none;
}

ResultCode CacheBuffer::eof(bool& atEnd) {
    atEnd = false;
    return result::none;
}

ResultCode CacheBuffer::size(std::uint64_t& length) {
    length = length_;
    return result::none;
}

} // namespace mediafmt::io
