#include "tool/repair/PatchedStream.h"

#include "tool/repair/PositionedIo.h"

#include <algorithm>
#include <cstring>

namespace boxmend::repair {

using namespace mediafmt;

PatchedStream::PatchedStream(io::Io& under, std::vector<Patch> patches)
    : under_(under), patches_(std::move(patches)) {}

void PatchedStream::patch(std::uint64_t at, std::uint8_t* bytes, std::uint64_t count) const {
    const std::uint64_t end = at + count;
    for (const Patch& over : patches_) {
        const std::uint64_t from = std::max(at, over.offset);
        const std::uint64_t to = std::min<std::uint64_t>(end, over.offset + over.bytes->size());
        if (from < to)
            std::memcpy(bytes + (from - at), over.bytes->data() + (from - over.offset),
                        static_cast<std::size_t>(to - from));
    }
}

ResultCode PatchedStream::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (ResultCode rc = seekTo(under_, position_); rc != 0)
        return rc;
    std::uint64_t got = 0;
    if (ResultCode rc = under_.read(buffer, count, got); rc != 0)
        return rc;
    patch(position_, static_cast<std::uint8_t*>(buffer), got);
    position_ += got;
    bytesRead = got;
    return result::none;
}

ResultCode PatchedStream::write(const void*, std::uint64_t, std::uint64_t& bytesWritten) {
    bytesWritten = 0;
    return result::invalidIo;
}

ResultCode PatchedStream::seek(std::int64_t offset, io::SeekOrigin origin) {
    std::uint64_t from = 0;
    if (origin == io::SeekOrigin::current)
        from = position_;
    else if (origin == io::SeekOrigin::end) {
        if (ResultCode rc = under_.size(from); rc != 0)
            return rc;
    }
    if (offset < 0 && from < static_cast<std::uint64_t>(-(offset + 1)) + 1)
        return result::seekBeforeBegin;
    position_ = from + static_cast<std::uint64_t>(offset);
    return result::none;
}

ResultCode PatchedStream::tell(std::uint64_t& position) {
    position = position_;
    return result::none;
}

ResultCode PatchedStream::eof(bool& atEnd) {
    std::uint64_t length = 0;
    if (ResultCode rc = under_.size(length); rc != 0)
        return rc;
    atEnd = position_ >= length;
    return result::none;
}

ResultCode PatchedStream::size(std::uint64_t& length) {
    return under_.size(length);
}

ResultCode PatchedStream::flush() {
    return result::none;
}

ResultCode PatchedStream::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    if (ResultCode rc = under_.readBack(offset, buffer, count); rc != 0)
        return rc;
    patch(offset, static_cast<std::uint8_t*>(buffer), count);
    return result::none;
}

} // namespace boxmend::repair
