#include "mediafmt/io/CacheBuffer.h"

#include "mediafmt/io/ReadStorage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace mediafmt::io {

namespace {

constexpr auto maxOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Reads smaller than this go through the window; larger ones go straight
// from the source into the reader's memory.
constexpr std::uint64_t windowCapacity = 64 * 1024;

// The least storage a cache takes, so that the small fills of a parse (the
// look-ahead, small boxes) share one allocation.
constexpr std::uint64_t smallestStorage = 64 * 1024;

// count bytes of source from offset, the source left where it was; what it
// does not deliver reads as zeros.
ResultCode readSourceAt(Io& source, std::uint64_t offset, std::uint8_t* out, std::uint64_t count) {
    if (offset > maxOffset)
        return result::error;
    std::uint64_t saved = 0;
    if (ResultCode rc = source.tell(saved); rc != 0)
        return rc;
    if (ResultCode rc = source.seek(static_cast<std::int64_t>(offset), SeekOrigin::begin); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (ResultCode rc = source.read(out, count, got); rc != 0)
        return rc;
    if (got < count)
        std::memset(out + got, 0, static_cast<std::size_t>(count - got));
    if (saved > maxOffset)
        return result::error;
    return source.seek(static_cast<std::int64_t>(saved), SeekOrigin::begin);
}

} // namespace

void CacheBuffer::reserve(std::uint64_t needed, bool keep) {
    if (needed <= capacity_)
        return;
    const std::uint64_t capacity = std::max(needed, smallestStorage);
    std::unique_ptr<std::uint8_t[]> storage = allocateForRead(static_cast<std::size_t>(capacity));
    if (!keep)
        held_ = 0;
    else if (held_ != 0)
        std::memcpy(storage.get(), storage_.get(), static_cast<std::size_t>(held_));
    storage_ = std::move(storage);
    capacity_ = capacity;
}

void CacheBuffer::settle(std::uint64_t got, std::uint64_t length) {
    const std::uint64_t stale = std::min(length, held_);
    if (got < stale)
        std::memset(storage_.get() + got, 0, static_cast<std::size_t>(stale - got));
    held_ = std::max(held_, got);
}

ResultCode CacheBuffer::fill(Io* source, std::uint64_t offset, std::uint64_t length) {
    if (source == nullptr)
        return result::nullObject;
    baseOffset_ = offset;
    localPosition_ = 0;
    length_ = std::max(length_, length);
    if (offset > maxOffset)
        return result::error;

    std::uint64_t sourceSize = 0;
    if (ResultCode rc = source->size(sourceSize); rc != 0)
        return rc;
    std::uint64_t available = sourceSize > offset ? std::min(length, sourceSize - offset) : 0;

    if (onDemand_) {
        // The source may have changed since the window was read.
        windowLength_ = 0;
        if (ResultCode rc = source->seek(static_cast<std::int64_t>(offset), SeekOrigin::begin);
            rc != 0)
            return rc;
        // The start of the region is read now, into the window: a small
        // region is then read exactly as at once, with one read.
        if (available != 0) {
            const std::uint64_t first = std::min(available, windowCapacity);
            if (!window_)
                window_ = allocateForRead(static_cast<std::size_t>(windowCapacity));
            std::uint64_t got = 0;
            if (ResultCode rc = source->read(window_.get(), first, got); rc != 0)
                return rc;
            if (got < first)
                std::memset(window_.get() + got, 0, static_cast<std::size_t>(first - got));
            windowLength_ = first;
            windowSource_ = source;
            windowOffset_ = offset;
            if (first < available) {
                if (available > maxOffset - offset)
                    return result::error;
                if (ResultCode rc = source->seek(static_cast<std::int64_t>(offset + available),
                                                 SeekOrigin::begin);
                    rc != 0)
                    return rc;
            }
        }
        while (!pending_.empty() && pending_.back().length <= length)
            pending_.pop_back();
        pending_.push_back({source, offset, length, available});
        return result::none;
    }

    // The read fills the storage as it is; only what it leaves out is zeroed
    // after it.
    reserve(available, false);
    if (ResultCode rc = source->seek(static_cast<std::int64_t>(offset), SeekOrigin::begin); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (available != 0) {
        if (ResultCode rc = source->read(storage_.get(), available, got); rc != 0)
            return rc;
    }
    // Bounded, so that a source reporting more than it was asked for cannot
    // make the cache read beyond its storage.
    settle(std::min(got, available), length);
    return result::none;
}

ResultCode CacheBuffer::setLoadOnDemand(bool on) {
    if (!on) {
        if (ResultCode rc = loadPending(); rc != 0)
            return rc;
    }
    onDemand_ = on;
    return result::none;
}

ResultCode CacheBuffer::loadPending() {
    for (const Pending& region : pending_) {
        reserve(region.available, false);
        if (region.available != 0) {
            if (ResultCode rc = readSourceAt(*region.source, region.sourceOffset, storage_.get(),
                                             region.available);
                rc != 0)
                return rc;
        }
        settle(region.available, region.length);
    }
    pending_.clear();
    windowLength_ = 0;
    return result::none;
}

ResultCode CacheBuffer::fromSource(const Pending& region, std::uint64_t sourceOffset,
                                   std::uint8_t* out, std::uint64_t count) {
    const std::uint64_t windowEnd = windowOffset_ + windowLength_;
    if (windowSource_ == region.source && sourceOffset >= windowOffset_ &&
        sourceOffset <= windowEnd && count <= windowEnd - sourceOffset) {
        std::memcpy(out, window_.get() + (sourceOffset - windowOffset_),
                    static_cast<std::size_t>(count));
        return result::none;
    }
    if (count >= windowCapacity)
        return readSourceAt(*region.source, sourceOffset, out, count);

    // The window never reaches beyond the region, so no byte the region
    // does not cover is read from the source.
    const std::uint64_t regionEnd = region.sourceOffset + region.available;
    const std::uint64_t load = std::min(windowCapacity, regionEnd - sourceOffset);
    if (!window_)
        window_ = allocateForRead(static_cast<std::size_t>(windowCapacity));
    windowLength_ = 0;
    if (ResultCode rc = readSourceAt(*region.source, sourceOffset, window_.get(), load); rc != 0)
        return rc;
    windowLength_ = load;
    windowSource_ = region.source;
    windowOffset_ = sourceOffset;
    std::memcpy(out, window_.get(), static_cast<std::size_t>(count));
    return result::none;
}

ResultCode CacheBuffer::produce(std::uint64_t index, std::uint8_t* out, std::uint64_t count) {
    while (count != 0) {
        // The newest fill that reaches index provides it, up to its length.
        const Pending* region = nullptr;
        for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
            if (it->length > index) {
                region = &*it;
                break;
            }
        }
        const std::uint64_t pieceEnd = region != nullptr ? region->length : length_;
        const std::uint64_t n = std::min(count, pieceEnd - index);
        std::uint64_t held = 0;
        if (region != nullptr) {
            held = index < region->available ? std::min(n, region->available - index) : 0;
            if (held != 0) {
                if (ResultCode rc = fromSource(*region, region->sourceOffset + index, out, held);
                    rc != 0)
                    return rc;
            }
        } else {
            held = index < held_ ? std::min(n, held_ - index) : 0;
            if (held != 0)
                std::memcpy(out, storage_.get() + index, static_cast<std::size_t>(held));
        }
        if (n > held)
            std::memset(out + held, 0, static_cast<std::size_t>(n - held));
        out += n;
        index += n;
        count -= n;
    }
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
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (!pending_.empty()) {
        if (ResultCode rc = produce(localPosition_, out, got); rc != 0) {
            sourceFailure_ = sourceFailure_ != 0 ? sourceFailure_ : rc;
            return rc;
        }
    } else {
        const std::uint64_t held =
            localPosition_ < held_ ? std::min(got, held_ - localPosition_) : 0;
        if (held != 0)
            std::memcpy(out, storage_.get() + localPosition_, static_cast<std::size_t>(held));
        if (got > held)
            std::memset(out + held, 0, static_cast<std::size_t>(got - held));
    }
    localPosition_ += got;
    bytesRead = got;
    return result::none;
}

ResultCode CacheBuffer::write(const void* buffer, std::uint64_t count,
                              std::uint64_t& bytesWritten) {
    if (buffer == nullptr)
        return result::nullObject;
    if (ResultCode rc = loadPending(); rc != 0)
        return rc;
    if (count > maxOffset - localPosition_)
        throw std::bad_alloc();
    const std::uint64_t end = localPosition_ + count;
    reserve(end, true);
    length_ = std::max(length_, end);
    bytesWritten = count;
    if (storage_ == nullptr)
        return result::nullObject;
    // Materialise the zeros the write skips over.
    if (localPosition_ > held_)
        std::memset(storage_.get() + held_, 0, static_cast<std::size_t>(localPosition_ - held_));
    if (count != 0)
        std::memcpy(storage_.get() + localPosition_, buffer, static_cast<std::size_t>(count));
    held_ = std::max(held_, end);
    localPosition_ = end;
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
