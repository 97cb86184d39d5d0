#include "tool/repair/ReadFingerprint.h"

#include <zlib.h>

#include <algorithm>

namespace boxmend::repair {

using namespace mediafmt;

namespace {

// zlib takes lengths as uInt; a block's pieces are far shorter.
std::uint32_t crcOf(std::uint32_t crc, const std::uint8_t* bytes, std::uint64_t count) {
    return static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
}

std::uint32_t adlerOf(std::uint32_t adler, const std::uint8_t* bytes, std::uint64_t count) {
    return static_cast<std::uint32_t>(adler32(adler, bytes, static_cast<uInt>(count)));
}

} // namespace

std::uint64_t blockChecksum(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t crc = crc32(0, Z_NULL, 0);
    std::uint64_t adler = adler32(0, Z_NULL, 0);
    // In pieces, since zlib counts in uInt.
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min<std::size_t>(count - done, 1u << 30);
        crc = crcOf(static_cast<std::uint32_t>(crc), bytes + done, n);
        adler = adlerOf(static_cast<std::uint32_t>(adler), bytes + done, n);
        done += n;
    }
    return crc << 32 | adler;
}

ResultCode ReadFingerprint::read(void* buffer, std::uint64_t count, std::uint64_t& bytesRead) {
    if (recording_ && !positionKnown_)
        positionKnown_ = stream_.tell(position_) == 0;
    const ResultCode rc = stream_.read(buffer, count, bytesRead);
    if (rc != 0 || bytesRead > count) {
        positionKnown_ = false;
        return rc;
    }
    if (recording_ && positionKnown_ && bytesRead != 0) {
        record(position_, static_cast<const std::uint8_t*>(buffer), bytesRead);
        position_ += bytesRead;
    }
    return rc;
}

ResultCode ReadFingerprint::write(const void* buffer, std::uint64_t count,
                                  std::uint64_t& bytesWritten) {
    recording_ = false;
    return stream_.write(buffer, count, bytesWritten);
}

ResultCode ReadFingerprint::seek(std::int64_t offset, io::SeekOrigin origin) {
    const ResultCode rc = stream_.seek(offset, origin);
    positionKnown_ = rc == 0 && origin == io::SeekOrigin::begin;
    position_ = static_cast<std::uint64_t>(offset);
    return rc;
}

ResultCode ReadFingerprint::tell(std::uint64_t& position) {
    const ResultCode rc = stream_.tell(position);
    positionKnown_ = rc == 0;
    position_ = position;
    return rc;
}

ResultCode ReadFingerprint::eof(bool& atEnd) {
    return stream_.eof(atEnd);
}

ResultCode ReadFingerprint::size(std::uint64_t& length) {
    // The default measures by seeking, which this stream need not follow.
    positionKnown_ = false;
    return stream_.size(length);
}

ResultCode ReadFingerprint::flush() {
    return stream_.flush();
}

ResultCode ReadFingerprint::readBack(std::uint64_t offset, void* buffer, std::uint64_t count) {
    positionKnown_ = false;
    return stream_.readBack(offset, buffer, count);
}

ReadFingerprint::Record& ReadFingerprint::recordOf(std::uint64_t block) {
    // The last extent that starts at or before the block.
    auto next = std::upper_bound(extents_.begin(), extents_.end(), block,
                                 [](std::uint64_t b, const Extent& e) { return b < e.first; });
    if (next != extents_.begin()) {
        Extent& extent = *(next - 1);
        const std::uint64_t index = block - extent.first;
        if (index < extent.records.size())
            return extent.records[static_cast<std::size_t>(index)];
        // The extent after it starts beyond block, so it can grow by one.
        if (index == extent.records.size())
            return extent.records.emplace_back();
    }
    return extents_.insert(next, Extent{block, {Record{}}})->records.front();
}

void ReadFingerprint::record(std::uint64_t at, const std::uint8_t* bytes, std::uint64_t count) {
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t block = (at + done) / blockSize;
        const std::uint64_t from = (at + done) % blockSize;
        const std::uint64_t to = std::min(blockSize, from + (count - done));
        const std::uint8_t* piece = bytes + done;
        done += to - from;

        Record& r = recordOf(block);
        if (r.begin == r.end) {
            r = {crcOf(0, piece, to - from), adlerOf(1, piece, to - from),
                 static_cast<std::uint16_t>(from), static_cast<std::uint16_t>(to)};
            continue;
        }
        // Bytes before the run, read together with its start: their
        // checksums go in front of the run's.
        if (from < r.begin && to >= r.begin) {
            const std::uint64_t n = r.begin - from;
            const auto runLength = static_cast<z_off_t>(r.end - r.begin);
            r.crc = static_cast<std::uint32_t>(crc32_combine(crcOf(0, piece, n), r.crc, runLength));
            r.adler = static_cast<std::uint32_t>(
                adler32_combine(adlerOf(1, piece, n), r.adler, runLength));
            r.begin = static_cast<std::uint16_t>(from);
        }
        if (from <= r.end && to > r.end) {
            r.crc = crcOf(r.crc, piece + (r.end - from), to - r.end);
            r.adler = adlerOf(r.adler, piece + (r.end - from), to - r.end);
            r.end = static_cast<std::uint16_t>(to);
        }
    }
}

bool ReadFingerprint::run(std::uint64_t block, Run& out) const {
    auto next = std::upper_bound(extents_.begin(), extents_.end(), block,
                                 [](std::uint64_t b, const Extent& e) { return b < e.first; });
    if (next == extents_.begin())
        return false;
    const Extent& extent = *(next - 1);
    if (block - extent.first >= extent.records.size())
        return false;
    const Record& r = extent.records[static_cast<std::size_t>(block - extent.first)];
    if (r.begin == r.end)
        return false;
    const std::uint64_t start = block * blockSize;
    out = {start + r.begin, start + r.end, std::uint64_t{r.crc} << 32 | r.adler};
    return true;
}

void ReadFingerprint::keepOnly(std::uint64_t offset, std::uint64_t length) {
    recording_ = false;
    const std::uint64_t first = offset / blockSize;
    // One past the last block kept; none when the range is empty.
    const std::uint64_t last =
        length == 0 ? first : (offset + std::min(length - 1, UINT64_MAX - offset)) / blockSize + 1;
    std::vector<Extent> kept;
    for (Extent& extent : extents_) {
        const std::uint64_t end = extent.first + extent.records.size();
        const std::uint64_t from = std::max(first, extent.first);
        const std::uint64_t to = std::min(last, end);
        if (from >= to)
            continue;
        const auto begin =
            extent.records.begin() + static_cast<std::ptrdiff_t>(from - extent.first);
        kept.push_back({from, {begin, begin + static_cast<std::ptrdiff_t>(to - from)}});
    }
    extents_ = std::move(kept);
}

} // namespace boxmend::repair
